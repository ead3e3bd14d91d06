#pragma once
// Shared pieces of the manager tests: fake networks whose ad adapters the
// test answers, recording application delegates, the sandbox auction
// endpoint, and readers of the mediation-level events sent.
#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "adunits/QBBaseAdUnitSmash.h"
#include "adunits/QBRewardedVideoAdManager.h"
#include "adunits_process_state.h"
#include "platform/notifications.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/QBImpressionDataDelegate.h"
#include "quillborne/QBInterstitialDelegate.h"
#include "quillborne/QBRewardedVideoDelegate.h"
#include "support/sandbox_auction.h"

namespace mgr_test {

using platform::Json;
using State = QBManagerState;
using Strings = std::vector<std::string>;
namespace K = QBEventKind;
using qbtest::AuctionAnswer;
using qbtest::SandboxAuction;

using qbtest::Answer;
using qbtest::answerWith;

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

// An ad adapter of either ad unit answering through the book.
template <class Base>
class FakeAd : public Base {
 public:
  explicit FakeAd(std::shared_ptr<AdBook> book) : book_(std::move(book)) {}
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> d) override {
    answerWith(book_->recordLoad(adData->adapterConfig()->providerName(), d), d, [](auto& t) { t.adDidLoad(); },
               [](auto& t) { t.adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill"); });
  }
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> d) override {
    answerWith(book_->recordShow(adData->adapterConfig()->providerName(), d), d, [](auto&) {},
               [](auto& t) { t.adDidFailToShowWithErrorCode(2, "Ad is not loaded"); });
  }
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    return book_->available(adData->adapterConfig()->providerName());
  }

 private:
  std::shared_ptr<AdBook> book_;
};

// The network adapter of one network.
class FakeNetwork : public QBBaseNetworkAdapter {
 public:
  void init(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBNetworkInitializationDelegate> delegate) override {
    ++initCalls;
    if (delegate.expired()) ++initsWithoutDelegate;
    answerWith(initAnswer.load(), delegate, [](auto& t) { t.onInitDidSucceed(); },
               [](auto& t) { t.onInitDidFailWithErrorCode(1000, std::string("init refused")); });
  }
  std::string networkSDKVersion() override { return "9.1"; }
  std::string adapterVersion() override { return "4.2"; }
  int getLoadWhileShowSupportedStateWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>&) override {
    return loadWhileShowSupport;
  }

  std::atomic<Answer> initAnswer{Answer::Succeed};
  std::atomic<int> initCalls{0};
  std::atomic<int> initsWithoutDelegate{0};
  std::atomic<int> loadWhileShowSupport{0};
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

// The rewarded-video and interstitial application delegates as one log.
class Listener : public QBRewardedVideoManualDelegate, public QBInterstitialDelegate {
 public:
  void rewardedVideoHasChangedAvailability(bool available) override {
    lines.add(available ? "available:true" : "available:false");
  }
  void rewardedVideoDidLoad() override { lines.add("loaded"); }
  void interstitialDidLoad() override { lines.add("loaded"); }
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { failed("loadFailed", e); }
  void interstitialDidFailToLoadWithError(const QBError& e) override { failed("loadFailed", e); }
  void rewardedVideoDidFailToShowWithError(const QBError& e) override { failed("showFailed", e); }
  void interstitialDidFailToShowWithError(const QBError& e) override { failed("showFailed", e); }
  void rewardedVideoDidOpen() override { lines.add("opened"); }
  void interstitialDidOpen() override { lines.add("opened"); }
  void interstitialDidShow() override { lines.add("shown"); }
  void rewardedVideoDidClose() override { lines.add("closed"); }
  void interstitialDidClose() override { lines.add("closed"); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& info) override {
    lines.add("reward:" + info.placementName() + ":" + std::to_string(info.rewardAmount()));
  }
  void rewardedVideoDidStart() override {}
  void rewardedVideoDidEnd() override {}
  void didClickRewardedVideo(const QBPlacementInfo& info) override { lines.add("click:" + info.placementName()); }
  void didClickInterstitial() override {}
  qbtest::Lines lines;

 private:
  void failed(const char* what, const QBError& e) {
    lines.add(std::string(what) + ":" + std::to_string(e.code()) + ":" + e.message());
  }
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

class ManagerTest : public qbtest::AdUnitsProcessTest {
 protected:
  ManagerTest() {
    QBRewardedVideoDelegateWrapper::sharedInstance()->setDelegate(rvListener);
    QBInterstitialDelegateWrapper::sharedInstance()->setDelegate(isListener);
  }
  ~ManagerTest() override {
    managers.clear();
    env.runUntilIdle();
    auction_.reset();
    server_.reset();
  }

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
    return backedUpEvents(adUnit);
  }
  // The mediation-level kind of an event; -1 for other events.
  static int kindOf(const Json& event, const QBAdUnit& adUnit) {
    return eventKind(event, adUnit, QBAdUnitEventsTables::kLevelMediation);
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
  // What the application heard (delivered on the main queue).
  std::vector<std::string> rvHeard() {
    env.runUntilIdle();
    return rvListener->lines.lines();
  }
  std::vector<std::string> isHeard() {
    env.runUntilIdle();
    return isListener->lines.lines();
  }

  std::shared_ptr<AdBook> book = std::make_shared<AdBook>();
  std::shared_ptr<Listener> rvListener = std::make_shared<Listener>();
  std::shared_ptr<Listener> isListener = std::make_shared<Listener>();
  std::shared_ptr<QBImpressionDataDelegates> impressionListeners = std::make_shared<QBImpressionDataDelegates>();
  std::unique_ptr<qbtest::SandboxServer> server_;
  std::unique_ptr<qbtest::SandboxAuction> auction_;
  std::vector<std::shared_ptr<QBBaseAdUnitManager>> managers;
};

}  // namespace mgr_test
