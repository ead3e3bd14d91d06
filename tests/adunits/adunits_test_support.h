#pragma once
// The fixture of every ad-unit test: an isolated process (its own data root,
// every process-wide object the ad units touch put back, the log captured),
// fake networks whose adapters the test scripts or answers later, a
// recording manager for lone instances, the application's delegates as one
// log, the sandbox auction endpoint, and readers of the events sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "adunits/QBBaseAdUnitSmash.h"
#include "adunits/QBRewardedVideoAdManager.h"
#include "core/QBAdapterConfig.h"
#include "events/QBAdUnitEventsTables.h"
#include "events/QBEventKinds.h"
#include "events/QBEventsEngine.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "platform/notifications.h"
#include "platform/runtime.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/QBImpressionDataDelegate.h"
#include "support/ad_listener.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_events.h"
#include "support/process_reset.h"
#include "support/temp_dir.h"

namespace adunits_test {

using platform::Json;
using State = QBManagerState;
using Strings = std::vector<std::string>;
namespace K = QBEventKind;
using qbtest::AuctionAnswer;
using qbtest::SandboxAuction;

// How a fake adapter answers a call: keep the delegate for the test, answer
// inline, throw, or answer a failure inline and then throw.
enum class Answer { Hold, Succeed, Fail, Throw, FailAndThrow };

template <class Delegate, class Ok, class Fail>
void answerWith(Answer how, const std::weak_ptr<Delegate>& delegate, Ok ok, Fail fail) {
  if (auto target = delegate.lock()) {
    if (how == Answer::Succeed) ok(*target);
    if (how == Answer::Fail || how == Answer::FailAndThrow) fail(*target);
  }
  if (how == Answer::Throw || how == Answer::FailAndThrow) throw std::runtime_error("adapter exploded");
}

// Every ad-adapter load and show by provider name, how each is answered, and
// the delegates handed over, for the test to answer (from any thread).
class AdBook {
  template <class F>
  auto locked(F f) {
    std::lock_guard lock(m_);
    return f();
  }

 public:
  // How loads of `provider` (of every other provider when empty) are answered.
  void setAnswer(const std::string& provider, Answer answer) { locked([&] { answers_[provider] = answer; }); }
  void setShowAnswer(Answer answer) { locked([&] { showAnswer_ = answer; }); }
  void setUnavailable(const std::string& provider) { locked([&] { unavailable_.push_back(provider); }); }
  Answer recordLoad(const std::string& provider, std::weak_ptr<QBAdapterAdDelegate> delegate) {
    return locked([&] {
      loads_.push_back(provider);
      held_[provider] = std::move(delegate);
      return answers_.count(provider) ? answers_[provider] : answers_[""];
    });
  }
  Answer recordShow(const std::string& provider, std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) {
    return locked([&] {
      ++shows_;
      shown_[provider] = std::move(delegate);
      return showAnswer_;
    });
  }
  bool available(const std::string& provider) { return locked([&] { return count(unavailable_, provider) == 0; }); }
  std::vector<std::string> loads() { return locked([&] { return loads_; }); }
  size_t loadCount(const std::string& provider) { return locked([&] { return count(loads_, provider); }); }
  int shows() { return locked([&] { return shows_; }); }
  // The delegates of the newest load and show of `provider`, or null.
  std::shared_ptr<QBAdapterAdDelegate> loadDelegate(const std::string& provider) {
    return locked([&] { return held_[provider].lock(); });
  }
  template <class D = QBAdapterAdInteractionDelegate>
  std::shared_ptr<D> showDelegate(const std::string& provider) {
    return locked([&] { return std::dynamic_pointer_cast<D>(shown_[provider].lock()); });
  }
  // Answers the newest load of `provider`; false when there is none.
  bool succeed(const std::string& provider) {
    auto delegate = loadDelegate(provider);
    if (delegate) delegate->adDidLoad();
    return delegate != nullptr;
  }
  bool fail(const std::string& provider) {
    auto delegate = loadDelegate(provider);
    if (delegate) delegate->adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill");
    return delegate != nullptr;
  }

 private:
  static size_t count(const std::vector<std::string>& list, const std::string& name) {
    return static_cast<size_t>(std::count(list.begin(), list.end(), name));
  }
  std::mutex m_;
  std::map<std::string, Answer> answers_;  // "" holds the default, Hold unless set
  Answer showAnswer_ = Answer::Hold;
  std::vector<std::string> loads_, unavailable_;
  int shows_ = 0;
  std::map<std::string, std::weak_ptr<QBAdapterAdDelegate>> held_;
  std::map<std::string, std::weak_ptr<QBAdapterAdInteractionDelegate>> shown_;
};

// An ad adapter of either ad unit: answers through the book when it has one
// (the managers' instances), else as `answer` says, keeping its last load.
template <class Base>
class FakeAd : public Base {
 public:
  explicit FakeAd(std::shared_ptr<AdBook> book = nullptr) : book_(std::move(book)) {}
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> d) override {
    ++loadCalls;
    if (!book_) {
      lastAdData = adData;
      lastDelegate = d;
    }
    answerWith(book_ ? book_->recordLoad(adData->adapterConfig()->providerName(), d) : answer, d,
               [](auto& t) { t.adDidLoad(); },
               [](auto& t) { t.adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill"); });
  }
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> d) override {
    if (!book_) return;
    answerWith(book_->recordShow(adData->adapterConfig()->providerName(), d), d, [](auto&) {},
               [](auto& t) { t.adDidFailToShowWithErrorCode(2, "Ad is not loaded"); });
  }
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    return !book_ || book_->available(adData->adapterConfig()->providerName());
  }
  void releaseMemory() override {
    ++releaseCalls;
    if (throwOnRelease) throw std::runtime_error("release exploded");
  }
  std::shared_ptr<QBAdapterAdDelegate> delegate() const { return lastDelegate.lock(); }

  Answer answer = Answer::Hold;
  bool throwOnRelease = false;
  std::atomic<int> releaseCalls{0};
  std::atomic<int> loadCalls{0};
  std::shared_ptr<QBAdData> lastAdData;
  std::weak_ptr<QBAdapterAdDelegate> lastDelegate;

 private:
  std::shared_ptr<AdBook> book_;
};
using FakeAdAdapter = FakeAd<QBBaseRewardedVideo>;

// The network adapter of one network; keeps the delegate of its last start.
class FakeNetwork : public QBBaseNetworkAdapter {
 public:
  void init(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBNetworkInitializationDelegate> d) override {
    ++initCalls;
    if (d.expired()) ++initsWithoutDelegate;
    {
      std::lock_guard lock(m_);
      lastAdData = adData;
      lastDelegate = d;
    }
    answerWith(initAnswer.load(), d, [](auto& t) { t.onInitDidSucceed(); },
               [](auto& t) { t.onInitDidFailWithErrorCode(1000, std::string("init refused")); });
  }
  std::string networkSDKVersion() override {
    if (throwOnVersion) throw std::logic_error("no version");
    return "9.9.0";
  }
  std::string adapterVersion() override { return "1.2.3"; }
  int getLoadWhileShowSupportedStateWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>&) override {
    return loadWhileShowSupport;
  }
  std::shared_ptr<QBNetworkInitializationDelegate> delegate() {
    std::lock_guard lock(m_);
    return lastDelegate.lock();
  }

  std::atomic<Answer> initAnswer{Answer::Succeed};
  std::atomic<int> initCalls{0};
  std::atomic<int> initsWithoutDelegate{0};
  std::atomic<int> loadWhileShowSupport{0};
  bool throwOnVersion = false;
  std::shared_ptr<QBAdData> lastAdData;

 private:
  std::mutex m_;
  std::weak_ptr<QBNetworkInitializationDelegate> lastDelegate;
};

// A network adapter that gives bidder tokens ("tok-<provider>"), none for the
// providers in `missing`, and throws for those in `throwing`.
class FakeBiddingNetwork : public FakeNetwork, public QBBiddingDataProtocol {
 public:
  std::optional<Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    const std::string provider = adData->adapterConfig()->providerName();
    if (std::count(throwing.begin(), throwing.end(), provider)) throw std::invalid_argument("token exploded");
    if (std::count(missing.begin(), missing.end(), provider)) return std::nullopt;
    return Json{{"token", "tok-" + provider}};
  }
  std::vector<std::string> missing, throwing;  // set before the manager is made
};

// Stands in for the manager of lone instances: records each report as
// "success:<ms>", "failed:<code>:<message>:<ms>" or "click", overall and per
// instance, with the thread of the last one.
class RecordingManager : public QBAdUnitManagerDelegate {
 public:
  using Smash = std::shared_ptr<QBBaseAdUnitSmash>;
  void onAdLoadSuccess(const Smash& smash, int64_t ms) override { record(smash, "success:" + std::to_string(ms)); }
  void onAdLoadFailed(const Smash& smash, const QBError& error, int64_t ms) override {
    record(smash, "failed:" + std::to_string(error.code()) + ":" + error.message() + ":" + std::to_string(ms));
  }
  void onAdClicked(const Smash& smash) override { record(smash, "click"); }

  std::vector<std::string> reports() const {
    std::lock_guard lock(m_);
    return all_;
  }
  size_t count() const { return reports().size(); }
  std::vector<std::string> reportsOf(const Smash& smash) const {
    std::lock_guard lock(m_);
    auto it = bySmash_.find(smash.get());
    return it == bySmash_.end() ? std::vector<std::string>() : it->second;
  }
  std::thread::id lastThread() const {
    std::lock_guard lock(m_);
    return lastThread_;
  }

 private:
  void record(const Smash& smash, std::string line) {
    std::lock_guard lock(m_);
    lastThread_ = std::this_thread::get_id();
    bySmash_[smash.get()].push_back(line);
    all_.push_back(std::move(line));
  }
  mutable std::mutex m_;
  std::vector<std::string> all_;
  std::map<const QBBaseAdUnitSmash*, std::vector<std::string>> bySmash_;
  std::thread::id lastThread_;
};

// A smash whose state a test may set, standing in for the show side.
class TestSmash : public QBBaseAdUnitSmash {
 public:
  static std::shared_ptr<TestSmash> make(std::shared_ptr<const QBAdSmashData> data,
                                         std::shared_ptr<QBBaseAdAdapter> adapter,
                                         std::weak_ptr<QBAdUnitManagerDelegate> manager) {
    auto config = data->adapterConfig();
    std::shared_ptr<TestSmash> smash(new TestSmash(std::move(data), std::move(adapter), config, std::move(manager)));
    smash->start();
    return smash;
  }
  void forceState(QBSmashState state) { setState(state); }

 private:
  using QBBaseAdUnitSmash::QBBaseAdUnitSmash;
};

// Records the placement and auction of each impression; `during` runs inside
// the call.
class ImpressionRecorder : public QBImpressionDataDelegate {
 public:
  void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> data) override {
    placements.push_back(data->placement().value_or("?"));
    auctionIds.push_back(data->auctionId().value_or("?"));
    if (during) during();
  }
  std::vector<std::string> placements, auctionIds;
  std::function<void()> during;
};

// The process-wide objects, and the adapter classes the test registered.
inline void resetAdUnitsProcessWide() {
  qbtest::resetProcessWide();
  platform::ClassRegistry::shared().resetForTesting();
}

class AdUnitsTest : public ::testing::Test {
 protected:
  AdUnitsTest() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    resetAdUnitsProcessWide();
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { log.add(line); });
    QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(rvListener);
    QBInterstitialDelegateWrapper::sharedInstance()->setDelegate(isListener);
    network = addNetwork("Fake");
    network->initAnswer = Answer::Hold;  // lone instances: the test answers the start
  }
  ~AdUnitsTest() override {
    managers.clear();
    env.runUntilIdle();
    auction_.reset();
    server_.reset();
    resetAdUnitsProcessWide();
  }

  // Registers network `name`: its adapter (returned) and ad adapters of both
  // ad units answering through `book`.
  template <class Network = FakeNetwork>
  std::shared_ptr<Network> addNetwork(const std::string& name) {
    auto added = std::make_shared<Network>();
    auto& registry = platform::ClassRegistry::shared();
    registry.registerClass<QBBaseNetworkAdapter>("QB" + name + "CustomAdapter", [added] { return added; });
    registry.registerClass<QBBaseAdAdapter>("QB" + name + "CustomRewardedVideo",
                                            [b = book] { return std::make_shared<FakeAd<QBBaseRewardedVideo>>(b); });
    registry.registerClass<QBBaseAdAdapter>("QB" + name + "CustomInterstitial",
                                            [b = book] { return std::make_shared<FakeAd<QBBaseInterstitial>>(b); });
    return added;
  }

  // -- Lone instances, reporting to `manager`.
  static std::shared_ptr<const QBAdSmashData> smashData(const std::shared_ptr<QBAdapterConfig>& cfg,
                                                        std::string auctionId = "A1", Json genericParams = {},
                                                        int64_t trial = 0, std::string fallback = "",
                                                        std::string userId = "user-7") {
    return QBAdSmashData::initWithAdUnit(cfg->adUnit(), std::move(userId), cfg, 2, 2, std::move(genericParams),
                                         std::move(auctionId), trial, std::move(fallback));
  }
  static std::shared_ptr<FakeAdAdapter> adAdapter(const std::shared_ptr<QBAdapterConfig>& cfg) {
    auto adapter = std::make_shared<FakeAdAdapter>();
    adapter->initWithAdUnit(cfg->adUnit(), cfg);
    return adapter;
  }
  std::shared_ptr<QBBaseAdUnitSmash> makeSmash(const std::shared_ptr<QBAdapterConfig>& cfg,
                                               const std::shared_ptr<QBBaseAdAdapter>& adapter,
                                               std::shared_ptr<const QBAdSmashData> data = nullptr) {
    return QBBaseAdUnitSmash::initWithData(data ? std::move(data) : smashData(cfg), adapter, cfg, manager);
  }

  // -- Managers.
  // Instance `provider` of `network`; `settings` go into its instance
  // settings (a 30 s time-out unless they say), `entry` into its provider entry.
  static std::shared_ptr<QBAdapterConfig> instance(const std::string& provider, const std::string& network,
                                                   bool bidder = false,
                                                   const QBAdUnit& adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(),
                                                   Json settings = Json::object(), Json entry = Json::object()) {
    if (!settings.contains("loadTimeOutSec")) settings["loadTimeOutSec"] = 30;
    entry.update(Json{{"providerLoadName", network},
                      {"instanceType", bidder ? "2" : "1"},
                      {"instanceId", "id-" + provider},
                      {adUnit.value(), settings}});
    return QBAdapterConfig::create(provider, adUnit, entry);
  }
  // Ad-unit settings; `extra` replaces defaults.
  static Json product(Json extra = Json::object()) {
    Json section{{"maxNumOfAdaptersToLoadOnStart", 2},
                 {"delayLoadFailureNotificationInSeconds", 0},
                 {"placements", Json::array({Json{{"placementId", 0}, {"placementName", "Default"}}})}};
    section.update(extra);
    return section;
  }
  static Json noAuction() { return Json{{"maxTrials", 0}}; }
  // Auction settings on the sandbox endpoint (started on first use).
  Json sandboxAuction(Json extra = Json::object()) {
    Json section{{"auctioneerURL", auction().url()}, {"maxTrials", 1}, {"encryptionVersion", 0}};
    section.update(extra);
    return section;
  }
  qbtest::SandboxAuction& auction() {
    if (!server_) {
      server_ = std::make_unique<qbtest::SandboxServer>();
      EXPECT_TRUE(server_->start());
      auction_ = std::make_unique<qbtest::SandboxAuction>(*server_);
    }
    return *auction_;
  }
  // Queues the answer "<id>" with `instances` (best first).
  void answer(const std::string& id, const std::vector<std::string>& instances) {
    auction().enqueueAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload(id, instances)));
  }
  std::shared_ptr<QBRewardedVideoAdManager> makeRv(std::vector<std::shared_ptr<QBAdapterConfig>> configs, bool manual,
                                                   Json auctionJson = noAuction(), Json productJson = product()) {
    auto made = QBRewardedVideoAdManager::initWithProvidersPool(
        std::move(configs), QBProductSettings::fromJson(rv, productJson), QBAuctionSettings::fromJson(auctionJson),
        false, manual, impressionListeners, std::nullopt, false);
    managers.push_back(made);
    return made;
  }
  std::shared_ptr<QBInterstitialAdManager> makeIs(std::vector<std::shared_ptr<QBAdapterConfig>> configs,
                                                  Json auctionJson = noAuction(), Json productJson = product()) {
    auto made = QBInterstitialAdManager::initWithProvidersPool(
        std::move(configs), QBProductSettings::fromJson(is, productJson), QBAuctionSettings::fromJson(auctionJson),
        false, impressionListeners, std::nullopt, false);
    managers.push_back(made);
    return made;
  }
  // Pumps until `m` leaves `state` (auction answers come over real I/O).
  bool waitWhile(const std::shared_ptr<QBBaseAdUnitManager>& m, State state) {
    return env.runUntil([&] { return m->state() != state; });
  }
  // What the application heard (delivered on the main queue).
  std::vector<std::string> rvHeard() {
    env.runUntilIdle();
    return rvListener->lines();
  }
  std::vector<std::string> isHeard() {
    env.runUntilIdle();
    auto lines = isListener->lines();
    for (auto& line : lines) line.erase(0, line.rfind("is ", 0) == 0 ? 3 : 0);
    return lines;
  }

  // -- Events.
  // The events the engine of `adUnit` recorded, oldest first (the terminate
  // notice makes it write its backup without moving the clock).
  std::vector<Json> events(const QBAdUnit& adUnit) {
    env.runUntilIdle();
    platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
    env.runUntilIdle();
    return qbtest::eventsBackedUp(adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL() ? "InterstitialEvents" : "events");
  }
  // The kind of an event of `adUnit` at `level` (offline ids too); -1 for others.
  static int kindOf(const Json& event, const QBAdUnit& adUnit, int level = QBAdUnitEventsTables::kLevelMediation) {
    const int64_t id = event.value("eventId", int64_t{-1}) % QBEventsEngine::kOfflineEventIdOffset;
    for (int kind = 0; kind < K::kKindCount; ++kind) {
      if (QBAdUnitEventsTables::eventId(adUnit, level, kind) == id) return kind;
    }
    return -1;
  }
  // Mediation-level kinds; the events of one kind; the last of them (or null).
  std::vector<int> kinds(const QBAdUnit& adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    std::vector<int> out;
    for (const auto& event : events(adUnit)) out.push_back(kindOf(event, adUnit));
    return out;
  }
  std::vector<Json> ofKind(int kind, const QBAdUnit& adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    std::vector<Json> out;
    for (const auto& event : events(adUnit)) {
      if (kindOf(event, adUnit) == kind) out.push_back(event);
    }
    return out;
  }
  Json last(int kind, const QBAdUnit& adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    auto all = ofKind(kind, adUnit);
    return all.empty() ? Json() : all.back();
  }
  // Instance-level rewarded-video events: all of them, their kinds, the first of a kind.
  std::vector<Json> sentEvents() { return events(rv); }
  static std::vector<int> kindsOf(const std::vector<Json>& sent) {
    std::vector<int> out;
    for (const auto& event : sent) out.push_back(kindOf(event, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), kProvider));
    return out;
  }
  static Json firstOfKind(const std::vector<Json>& sent, int kind) {
    for (const auto& event : sent) {
      if (kindOf(event, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), kProvider) == kind) return event;
    }
    return Json();
  }
  static constexpr int kProvider = QBAdUnitEventsTables::kLevelProvider;

  platform::TestEnvironment env;
  qbtest::TempDir dir;
  qbtest::Lines log;
  const QBAdUnit rv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const QBAdUnit is = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  std::shared_ptr<AdBook> book = std::make_shared<AdBook>();
  std::shared_ptr<FakeNetwork> network;  // of network "Fake"
  std::shared_ptr<RecordingManager> manager = std::make_shared<RecordingManager>();
  std::shared_ptr<qbtest::AdListener> rvListener = std::make_shared<qbtest::AdListener>();
  std::shared_ptr<qbtest::AdListener> isListener = std::make_shared<qbtest::AdListener>();
  std::shared_ptr<QBImpressionDataDelegates> impressionListeners = std::make_shared<QBImpressionDataDelegates>();
  std::unique_ptr<qbtest::SandboxServer> server_;
  std::unique_ptr<qbtest::SandboxAuction> auction_;
  std::vector<std::shared_ptr<QBBaseAdUnitManager>> managers;
};

}  // namespace adunits_test
