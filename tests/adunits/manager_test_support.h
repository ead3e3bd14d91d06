#pragma once
// Shared pieces of the manager tests: an isolated process, fake networks whose
// ad adapters the test answers, recording application delegates, the sandbox
// auction endpoint, and readers of the mediation-level events sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "adunits_process_state.h"
#include "adunits/QBRewardedVideoAdManager.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBAdUnitEventsTables.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventsEngine.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/notifications.h"
#include "platform/runtime.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/tulvo/tulvo_control.h"
#include "quillborne/QBInterstitialDelegate.h"
#include "quillborne/QBRewardedVideoDelegate.h"
#include "support/sandbox_auction.h"
#include "support/temp_dir.h"

namespace mgr_test {

using platform::Json;
using State = QBManagerState;
using qbtest::AuctionAnswer;
using qbtest::SandboxAuction;

// A thread-safe list of texts.
class Lines {
 public:
  void add(std::string line) {
    std::lock_guard lock(m_);
    lines_.push_back(std::move(line));
  }
  std::vector<std::string> all() const {
    std::lock_guard lock(m_);
    return lines_;
  }
  void clear() {
    std::lock_guard lock(m_);
    lines_.clear();
  }
  size_t countContaining(const std::string& part) const {
    std::lock_guard lock(m_);
    return static_cast<size_t>(std::count_if(
        lines_.begin(), lines_.end(), [&](const std::string& line) { return line.find(part) != std::string::npos; }));
  }

 private:
  mutable std::mutex m_;
  std::vector<std::string> lines_;
};

enum class Answer { Hold, Succeed, Fail, Throw };

// Every ad-adapter load by provider name, how it is answered, and the
// delegates of held loads for the test to answer (from any thread).
class LoadBook {
 public:
  void setAnswer(const std::string& provider, Answer answer) {
    std::lock_guard lock(m_);
    answers_[provider] = answer;
  }
  Answer record(const std::string& provider, std::weak_ptr<QBAdapterAdDelegate> delegate) {
    std::lock_guard lock(m_);
    loads_.push_back(provider);
    held_[provider] = std::move(delegate);
    return answers_.count(provider) ? answers_[provider] : Answer::Hold;
  }
  std::vector<std::string> loads() const {
    std::lock_guard lock(m_);
    return loads_;
  }
  size_t loadCount(const std::string& provider) const {
    std::lock_guard lock(m_);
    return static_cast<size_t>(std::count(loads_.begin(), loads_.end(), provider));
  }
  // Answers the newest load of `provider`; false when there is none.
  bool succeed(const std::string& provider) {
    return with(provider, [](auto& d) { d.adDidLoad(); });
  }
  bool fail(const std::string& provider) {
    return with(provider, [](auto& d) { d.adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill"); });
  }

 private:
  template <class F>
  bool with(const std::string& provider, F f) {
    std::shared_ptr<QBAdapterAdDelegate> delegate;
    {
      std::lock_guard lock(m_);
      if (held_.count(provider)) delegate = held_[provider].lock();
    }
    if (delegate) f(*delegate);
    return delegate != nullptr;
  }
  mutable std::mutex m_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> loads_;
  std::map<std::string, std::weak_ptr<QBAdapterAdDelegate>> held_;
};

template <class Base>
class FakeAd : public Base {
 public:
  explicit FakeAd(std::shared_ptr<LoadBook> book) : book_(std::move(book)) {}
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> delegate) override {
    const auto answer = book_->record(adData->adapterConfig()->providerName(), delegate);
    if (answer == Answer::Throw) throw std::runtime_error("load exploded");
    auto d = delegate.lock();
    if (d && answer == Answer::Succeed) d->adDidLoad();
    if (d && answer == Answer::Fail) d->adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill");
  }
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>&,
                                std::weak_ptr<QBAdapterAdInteractionDelegate>) override {}
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) override { return true; }

 private:
  std::shared_ptr<LoadBook> book_;
};

// The network adapter of one network.
class FakeNetwork : public QBBaseNetworkAdapter {
 public:
  void init(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBNetworkInitializationDelegate> delegate) override {
    ++initCalls;
    if (delegate.expired()) ++initsWithoutDelegate;
    if (initAnswer == Answer::Throw) throw std::runtime_error("init exploded");
    auto d = delegate.lock();
    if (d && initAnswer == Answer::Succeed) d->onInitDidSucceed();
    if (d && initAnswer == Answer::Fail) d->onInitDidFailWithErrorCode(1000, std::string("init refused"));
  }
  std::string networkSDKVersion() override { return "9.1"; }
  std::string adapterVersion() override { return "4.2"; }

  std::atomic<Answer> initAnswer{Answer::Succeed};
  std::atomic<int> initCalls{0};
  std::atomic<int> initsWithoutDelegate{0};
};

// A network adapter that gives bidder tokens ("tok-<provider>"), none for the
// providers in `missing`, and throws for those in `throwing`.
class FakeBiddingNetwork : public FakeNetwork, public QBBiddingDataProtocol {
 public:
  std::optional<Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    const std::string provider = adData->adapterConfig()->providerName();
    if (contains(throwing, provider)) throw std::invalid_argument("token exploded");
    if (contains(missing, provider)) return std::nullopt;
    return Json{{"token", "tok-" + provider}};
  }
  std::vector<std::string> missing, throwing;  // set before the manager is made

 private:
  static bool contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
  }
};

// The rewarded-video and interstitial application delegates as one line log.
class Listener : public QBRewardedVideoManualDelegate, public QBInterstitialDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool available) override {
    lines.add(available ? "available:true" : "available:false");
  }
  void rewardedVideoDidLoad() override { lines.add("loaded"); }
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { failed(e); }
  void interstitialDidLoad() override { lines.add("loaded"); }
  void interstitialDidFailToLoadWithError(const QBError& e) override { failed(e); }
  void didReceiveRewardForPlacement(const QBPlacementInfo&) override {}
  void rewardedVideoDidFailToShowWithError(const QBError&) override {}
  void rewardedVideoDidOpen() override {}
  void rewardedVideoDidClose() override {}
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo&) override {}
  void interstitialDidOpen() override {}
  void interstitialDidClose() override {}
  void interstitialDidShow() override {}
  void interstitialDidFailToShowWithError(const QBError&) override {}
  void didClickInterstitial() override {}
  Lines lines;

 private:
  void failed(const QBError& e) { lines.add("loadFailed:" + std::to_string(e.code()) + ":" + e.message()); }
};

class ManagerTest : public ::testing::Test {
 protected:
  ManagerTest() {
    platform::setDataRoot(dir_.path());
    platform::UserDefaults::resetStandardForTesting();
    resetProcessWide();
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { log.add(line); });
    QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(rvListener);
    QBInterstitialDelegateWrapper::sharedInstance()->setDelegate(isListener);
  }
  ~ManagerTest() override {
    managers.clear();
    env.runUntilIdle();
    auction_.reset();
    server_.reset();
    resetProcessWide();
    QBLoggerManager::sharedInstance().resetForTesting();
  }

  static void resetProcessWide() { qbtest::resetAdUnitsProcessWide(); }

  // Registers network `name`: its adapter (returned) and ad adapters of both
  // ad units answering through `book`.
  template <class Network = FakeNetwork>
  std::shared_ptr<Network> addNetwork(const std::string& name) {
    auto network = std::make_shared<Network>();
    auto& registry = platform::ClassRegistry::shared();
    registry.registerClass<QBBaseNetworkAdapter>("QB" + name + "CustomAdapter", [network] { return network; });
    registry.registerClass<QBBaseAdAdapter>("QB" + name + "CustomRewardedVideo",
                                            [b = book] { return std::make_shared<FakeAd<QBBaseRewardedVideo>>(b); });
    registry.registerClass<QBBaseAdAdapter>("QB" + name + "CustomInterstitial",
                                            [b = book] { return std::make_shared<FakeAd<QBBaseInterstitial>>(b); });
    return network;
  }

  // Instance `provider` of `network`; `settings` go into its instance
  // settings, `entry` into its provider entry.
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
    startSandbox();
    Json section{{"auctioneerURL", auction().url()}, {"maxTrials", 1}, {"encryptionVersion", 0}};
    section.update(extra);
    return section;
  }
  void startSandbox() {
    if (server_) return;
    server_ = std::make_unique<qbtest::SandboxServer>();
    ASSERT_TRUE(server_->start());
    auction_ = std::make_unique<qbtest::SandboxAuction>(*server_);
  }
  qbtest::SandboxAuction& auction() {
    startSandbox();
    return *auction_;
  }
  // Queues the answer "<id>" with `instances` (best first).
  void answer(const std::string& id, const std::vector<std::string>& instances) {
    auction().enqueueAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload(id, instances)));
  }

  std::shared_ptr<QBRewardedVideoAdManager> makeRv(std::vector<std::shared_ptr<QBAdapterConfig>> configs, bool manual,
                                                   Json auctionJson = noAuction(), Json productJson = product()) {
    auto manager = QBRewardedVideoAdManager::initWithProvidersPool(
        std::move(configs), QBProductSettings::fromJson(rv, productJson), QBAuctionSettings::fromJson(auctionJson),
        false, manual, impressionListeners, std::nullopt, false);
    managers.push_back(manager);
    return manager;
  }
  std::shared_ptr<QBInterstitialAdManager> makeIs(std::vector<std::shared_ptr<QBAdapterConfig>> configs,
                                                  Json auctionJson = noAuction(), Json productJson = product()) {
    auto manager = QBInterstitialAdManager::initWithProvidersPool(
        std::move(configs), QBProductSettings::fromJson(is, productJson), QBAuctionSettings::fromJson(auctionJson),
        false, impressionListeners, std::nullopt, false);
    managers.push_back(manager);
    return manager;
  }
  // Pumps until `manager` leaves `state` (auction answers come over real I/O).
  bool waitWhile(const std::shared_ptr<QBBaseAdUnitManager>& manager, State state) {
    return env.runUntil([&] { return manager->state() != state; });
  }

  // The events the engine of `adUnit` recorded, oldest first (the terminate
  // notice makes it write its backup without moving the clock).
  std::vector<Json> events(const QBAdUnit& adUnit) {
    env.runUntilIdle();
    platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
    env.runUntilIdle();
    auto storage = QBKeyValueStorageProvider::storageWithIdentifier(adUnit == is ? "InterstitialEvents" : "events");
    auto value = storage->getValue(QBEventsEngine::kBackupKey);
    return value && value->is_array() ? value->get<std::vector<Json>>() : std::vector<Json>();
  }
  // The mediation-level kind of an event; -1 for other events.
  static int kindOf(const Json& event, const QBAdUnit& adUnit) {
    int64_t id = event.value("eventId", int64_t{-1}) % QBEventsEngine::kOfflineEventIdOffset;
    for (int kind = 0; kind < QBEventKind::kKindCount; ++kind) {
      if (QBAdUnitEventsTables::eventId(adUnit, QBAdUnitEventsTables::kLevelMediation, kind) == id) return kind;
    }
    return -1;
  }
  std::vector<int> kinds(const QBAdUnit& adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    std::vector<int> out;
    for (const auto& event : events(adUnit)) out.push_back(kindOf(event, adUnit));
    return out;
  }
  // The events of one kind; the last one (or null) with last().
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
  static size_t count(const std::vector<int>& list, int value) {
    return static_cast<size_t>(std::count(list.begin(), list.end(), value));
  }
  // What the application heard (delivered on the main queue).
  std::vector<std::string> rvHeard() {
    env.runUntilIdle();
    return rvListener->lines.all();
  }
  std::vector<std::string> isHeard() {
    env.runUntilIdle();
    return isListener->lines.all();
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir_;
  Lines log;
  const QBAdUnit rv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const QBAdUnit is = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  std::shared_ptr<LoadBook> book = std::make_shared<LoadBook>();
  std::shared_ptr<Listener> rvListener = std::make_shared<Listener>();
  std::shared_ptr<Listener> isListener = std::make_shared<Listener>();
  std::shared_ptr<QBImpressionDataDelegates> impressionListeners = std::make_shared<QBImpressionDataDelegates>();
  std::unique_ptr<qbtest::SandboxServer> server_;
  std::unique_ptr<qbtest::SandboxAuction> auction_;
  std::vector<std::shared_ptr<QBBaseAdUnitManager>> managers;
};

}  // namespace mgr_test
