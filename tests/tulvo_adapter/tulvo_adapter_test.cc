// The Tulvo adapters against the SDK stand-in: the network adapter's start-up
// with its waiting instances, the two ad adapters' load and show, and the SDK
// answering on a thread no platform queue knows while the mediation calls on
// the test thread (those cases are meant for the thread-sanitizer build).
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "core/QBAdapterConfig.h"
#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "platform/test_environment.h"
#include "platform/tulvo/tulvo_control.h"
#include "tulvo_adapter/QBTulvoAdapterRegistration.h"
#include "tulvo_adapter/QBTulvoCustomAdapter.h"
#include "tulvo_adapter/QBTulvoCustomInterstitial.h"
#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"

namespace {

using platform::Json;
using TulvoSDK::CallbackThread;
using Texts = std::vector<std::string>;

const Json kSettings{{"publisherId", "pub-7"}, {"token", "tok-9"}};
const char* const kNotLoaded = "showFailed:2:Ad is not loaded";
const char* const kMissing = "initFailed:1002:Missing publisher id and/or token";

// Records every call with its thread, thread-safely. One class serves as
// init, rewarded and interstitial delegate, so a call that must never come
// shows up.
class Recording : public QBRewardedVideoAdDelegate, public QBNetworkInitializationDelegate {
 public:
  struct Event { std::string text; std::thread::id thread; bool onMain; };
  void onInitDidSucceed() override { add("initSuccess"); }
  void onInitDidFailWithErrorCode(int code, const std::optional<std::string>& message) override {
    add("initFailed:" + std::to_string(code) + ":" + message.value_or("<none>"));
  }
  void adDidLoad() override { add("load"); }
  void adDidFailToLoadWithErrorType(int type, int code, const std::string& message) override {
    add("loadFailed:" + std::to_string(type) + ":" + std::to_string(code) + ":" + message);
  }
  void adDidClick() override { add("click"); }
  void adDidOpen() override { add("open"); }
  void adDidClose() override { add("close"); }
  void adDidFailToShowWithErrorCode(int code, const std::string& message) override {
    add("showFailed:" + std::to_string(code) + ":" + message);
  }
  void adDidShowSucceed() override { add("showSucceed"); }
  void adDidBecomeVisible() override { add("visible"); }
  void adDidStart() override { add("start"); }
  void adDidEnd() override { add("end"); }
  void adRewarded() override { add("reward"); }

  std::vector<Event> events() const {
    std::lock_guard lock(m_);
    return events_;
  }
  Texts texts() const {
    Texts out;
    for (const auto& e : events()) out.push_back(e.text);
    return out;
  }

 private:
  void add(std::string text) {
    std::lock_guard lock(m_);
    events_.push_back(Event{std::move(text), std::this_thread::get_id(), platform::isMainThread()});
  }
  mutable std::mutex m_;
  std::vector<Event> events_;
};
using RecordingRef = std::shared_ptr<Recording>;

class TulvoTest : public ::testing::Test {
 protected:
  TulvoTest() {
    reset();
    registerTulvoAdapterClasses();
  }
  ~TulvoTest() override { reset(); }
  void reset() {
    sdk.resetForTesting();
    QBAdapterRepository::sharedRepository().resetForTesting();
    platform::ClassRegistry::shared().resetForTesting();
  }

  static std::shared_ptr<QBAdapterConfig> config(const QBAdUnit& unit, const std::string& provider) {
    return QBAdapterConfig::create(provider, unit, Json{{"providerLoadName", "Tulvo"}, {unit.value(), kSettings}});
  }
  // The argument record a waterfall instance builds: a copy of the settings.
  static std::shared_ptr<QBAdData> adData(const Json& settings) {
    return QBAdData::initWithServerData("", settings, Json{{"adUnit", "rewardedVideo"}});
  }
  // The SDK answers everything on its foreign thread.
  std::thread::id answerOnForeignThread() {
    sdk.setDefaultInitAnswer({.thread = CallbackThread::ForeignThread});
    sdk.setDefaultLoadAnswer({.thread = CallbackThread::ForeignThread});
    sdk.setDefaultShowAnswer({.thread = CallbackThread::ForeignThread});
    return sdk.foreignThreadId();
  }

  platform::TestEnvironment env;
  TulvoSDK::Control& sdk = TulvoSDK::Control::shared();
  std::shared_ptr<QBTulvoCustomAdapter> adapter = std::make_shared<QBTulvoCustomAdapter>();
  RecordingRef first = std::make_shared<Recording>(), second = std::make_shared<Recording>();
  std::shared_ptr<QBTulvoCustomRewardedVideo> rv = std::make_shared<QBTulvoCustomRewardedVideo>();
  std::shared_ptr<QBTulvoCustomInterstitial> is = std::make_shared<QBTulvoCustomInterstitial>();
  RecordingRef loader = std::make_shared<Recording>(), shower = std::make_shared<Recording>(),
               isDelegate = std::make_shared<Recording>();
  std::shared_ptr<QBAdData> data = adData(Json::object());
  platform::ViewControllerRef screen = std::make_shared<platform::ViewController>();
};

// ------------------------------------------------------------ network adapter

TEST_F(TulvoTest, RegistryMakesTheThreeClassesByName) {
  sdk.setSDKVersion("5.0.2");
  auto& repository = QBAdapterRepository::sharedRepository();
  const auto rvUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), isUnit = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  auto network = repository.getNetworkAdapter(config(rvUnit, "Tulvo_1"), rvUnit);
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomAdapter>(network), nullptr);
  EXPECT_EQ(repository.getNetworkAdapter(config(isUnit, "Tulvo_2"), isUnit), network);
  EXPECT_EQ(repository.networkAdapters().at("Tulvo").adapterVersion, "5.0.2");
  auto rvAdapter = repository.createAdAdapter(config(rvUnit, "Tulvo_1"), rvUnit);
  auto isAdapter = repository.createAdAdapter(config(isUnit, "Tulvo_2"), isUnit);
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomRewardedVideo>(rvAdapter), nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomInterstitial>(isAdapter), nullptr);
  EXPECT_EQ(isAdapter->getNetworkAdapter(), network);
  EXPECT_EQ(TulvoQuillborneSDKInfo::getSdkVersion(), "5.0.2::5.0.2");
}

TEST_F(TulvoTest, AlreadyInitialisedSucceedsOnTheMainQueueAfterReturningWithoutReadingIds) {
  sdk.setSDKInitialized(true);
  adapter->init(adData(Json::object()), first);
  EXPECT_TRUE(first->texts().empty());  // not inline
  env.runUntilIdle();
  ASSERT_EQ(first->texts(), Texts{"initSuccess"});
  EXPECT_TRUE(first->events()[0].onMain);
  adapter->init(adData(Json::object()), {});  // an early start without a delegate posts nothing
  EXPECT_EQ(env.readyCount(), 0u);
  EXPECT_TRUE(sdk.callLog().empty());
}

TEST_F(TulvoTest, IdsMustBePresentButMayBeEmpty) {
  for (const auto& settings : {Json{{"publisherId", "pub-7"}}, Json{{"token", "tok-9"}}, Json()}) {
    auto delegate = std::make_shared<Recording>();
    adapter->init(settings.is_null() ? nullptr : adData(settings), delegate);
    ASSERT_EQ(delegate->texts(), Texts{kMissing}) << settings.dump();  // at once, on this thread
    EXPECT_EQ(delegate->events()[0].thread, std::this_thread::get_id());
  }
  EXPECT_TRUE(sdk.callLog().empty());
  adapter->init(adData(Json{{"publisherId", ""}, {"token", ""}}), second);
  EXPECT_EQ(sdk.callLog(), (Texts{"setMediation:quillborne", "initialize::"}));
  env.advance(50);
  EXPECT_EQ(second->texts(), Texts{"initSuccess"});
}

// Every call starts the SDK again, so a start the SDK never answers leaves no
// instance stuck; the first answer tells every waiting instance once, and an
// early start without a delegate adds nobody. An SDK error without a message
// stays without one.
TEST_F(TulvoTest, EveryCallRestartsTheSdkAndTheFirstAnswerTellsEveryWaiterOnce) {
  sdk.scriptInit({.delayMs = 1e12});  // never answers within the test
  sdk.scriptInit({.success = false, .errorMessage = std::nullopt});
  adapter->init(adData(kSettings), first);
  adapter->init(adData(kSettings), {});
  adapter->init(adData(kSettings), second);
  adapter->init(adData(kSettings), first);  // the same instance asking again is told once
  const Texts start{"setMediation:quillborne", "initialize:pub-7:tok-9"};
  Texts expected;
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), start.begin(), start.end());
  EXPECT_EQ(sdk.callLog(), expected);
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 2u);
  env.advance(100);  // the second start fails, the later ones succeed
  EXPECT_EQ(first->texts(), Texts{"initFailed:1000:<none>"});
  EXPECT_EQ(second->texts(), Texts{"initFailed:1000:<none>"});
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);

  sdk.setSDKInitialized(false);  // a waiting instance gone before the answer is skipped
  adapter->init(adData(kSettings), second);
  second.reset();
  env.advance(50);
  EXPECT_EQ(sdk.initializeCalls().size(), 5u);
}

// The SDK calling back before its entry call returns must find no lock held.
TEST_F(TulvoTest, InlineAnswersDoNotDeadlock) {
  sdk.scriptInit({.thread = CallbackThread::Inline});
  adapter->init(adData(kSettings), first);
  EXPECT_EQ(first->texts(), Texts{"initSuccess"});
  sdk.setDefaultLoadAnswer({.thread = CallbackThread::Inline});
  sdk.setDefaultShowAnswer({.thread = CallbackThread::Inline});
  rv->loadAdWithAdData(data, loader);
  rv->showAdWithViewController(screen, data, loader);
  EXPECT_EQ(loader->texts(), (Texts{"load", "open", "reward", "close"}));
}

TEST_F(TulvoTest, InstancesJoiningWhileTheSdkAnswersOnItsThreadAreEachToldOnce) {
  const auto foreign = answerOnForeignThread();
  sdk.scriptInit({.success = false, .errorMessage = std::string("try again"), .thread = CallbackThread::ForeignThread});
  std::vector<RecordingRef> delegates;
  for (int i = 0; i < 24; ++i) {
    if (i == 4) env.advance(50);  // hands the first answers to the foreign thread, which runs them now
    delegates.push_back(std::make_shared<Recording>());
    adapter->init(adData(kSettings), delegates.back());
  }
  sdk.waitForeignIdle();
  env.advance(50);
  sdk.waitForeignIdle();
  env.runUntilIdle();  // an instance that asks once the SDK is up hears it on the main queue
  for (size_t i = 0; i < delegates.size(); ++i) {
    auto events = delegates[i]->events();
    ASSERT_EQ(events.size(), 1u) << "delegate " << i;
    EXPECT_TRUE(events[0].thread == foreign || events[0].onMain) << "delegate " << i;
    if (i < 4) {
      EXPECT_EQ(events[0].text, "initFailed:1000:try again");  // the SDK's message passes through
    }
  }
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);
}

// ---------------------------------------------------------------- ad adapters

TEST_F(TulvoTest, LoadAndShowRunTheWholeWay) {
  rv->loadAdWithAdData(data, loader);
  EXPECT_FALSE(rv->isAdAvailableWithAdData(data));
  env.advance(50);
  EXPECT_TRUE(rv->isAdAvailableWithAdData(data));
  rv->showAdWithViewController(screen, data, shower);
  env.advance(50);
  EXPECT_EQ(loader->texts(), Texts{"load"});
  // The impression makes no call; click, show-succeed, visible, start and end
  // never come.
  EXPECT_EQ(shower->texts(), (Texts{"open", "reward", "close"}));
  EXPECT_EQ(sdk.showCalls().at(0).viewController, screen);
  // The ad stays stored after the show; availability follows the SDK.
  EXPECT_NE(rv->ad(), nullptr);
  EXPECT_FALSE(rv->isAdAvailableWithAdData(data));

  is->loadAdWithAdData(data, isDelegate);
  env.advance(50);
  is->showAdWithViewController(screen, data, isDelegate);
  env.advance(50);
  EXPECT_EQ(isDelegate->texts(), (Texts{"load", "open", "close"}));
}

// The stand-in plays the outside SDK in long runs (the demo, the
// benchmarks): its records keep the newest entries, not every road's.
TEST_F(TulvoTest, TheStandInKeepsItsNewestRecordsOnly) {
  for (int i = 0; i < 1'200; ++i) {
    rv->loadAdWithAdData(data, loader);
    env.advance(50);
  }
  EXPECT_EQ(sdk.loadCount(TulvoSDK::AdKind::Rewarded), 1'200);
  EXPECT_EQ(sdk.callLog().size(), 1'000u);
  EXPECT_EQ(sdk.callLog().back(), "load:rewarded");
  const auto ads = sdk.rewardedAds();
  ASSERT_EQ(ads.size(), 1'000u);
  EXPECT_EQ(ads.back(), rv->ad());
}

TEST_F(TulvoTest, ShowWithoutALoadedAdFailsOnTheShowsDelegateWithoutTheSdk) {
  is->showAdWithViewController(screen, data, isDelegate);
  EXPECT_EQ(isDelegate->texts(), Texts{kNotLoaded});
  sdk.scriptLoad({.fill = false});  // a failed load stores no ad either
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  rv->showAdWithViewController(screen, data, shower);
  // An ad no longer loaded fails the show, and the load's delegate stays: a
  // late SDK callback still goes to it.
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  rv->ad()->setLoadedForTesting(false);
  rv->showAdWithViewController(screen, data, shower);
  EXPECT_EQ(shower->texts(), (Texts{kNotLoaded, kNotLoaded}));
  EXPECT_TRUE(sdk.showCalls().empty());
  rv->onRewardedAdClosedWithAd(rv->ad());
  EXPECT_EQ(loader->texts(), (Texts{"loadFailed:2:204:No fill", "load", "close"}));
}

// A failed load keeps the earlier ad; SDK errors pass their code and message.
TEST_F(TulvoTest, SdkFailuresPassCodeAndMessageAndKeepTheEarlierAd) {
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  auto earlier = rv->ad();
  sdk.scriptLoad({.fill = false, .errorCode = 1203, .errorMessage = std::string("no inventory")});
  rv->loadAdWithAdData(data, loader);
  env.advance(50);
  EXPECT_EQ(loader->texts(), (Texts{"load", "loadFailed:2:1203:no inventory"}));
  EXPECT_EQ(rv->ad(), earlier);
  EXPECT_TRUE(rv->isAdAvailableWithAdData(data));

  is->loadAdWithAdData(data, isDelegate);
  env.advance(50);
  sdk.scriptShow({.success = false, .errorCode = 17, .errorMessage = std::string("presenting already")});
  is->showAdWithViewController(screen, data, isDelegate);
  env.advance(50);
  EXPECT_EQ(isDelegate->texts(), (Texts{"load", "showFailed:17:presenting already"}));
}

TEST_F(TulvoTest, CallbacksWithNobodyToTellAreHarmless) {
  TulvoSDK::TulvoError error{3, std::string("late")};
  rv->onRewardedAdFailedToLoadWithError(error);
  rv->onRewardReceivedWithAd(nullptr);
  is->onInterstitialAdFailedToShowWithError(error);
  // The SDK holds its delegate weakly: an adapter gone before the answer is
  // not called.
  rv->loadAdWithAdData(data, loader);
  rv.reset();
  env.advance(50);
  EXPECT_TRUE(loader->texts().empty());
}

TEST_F(TulvoTest, AdCallbacksOnAForeignThreadRaceLoadShowAndAvailability) {
  const auto foreign = answerOnForeignThread();
  constexpr int kRounds = 10;
  for (int round = 0; round < kRounds; ++round) {
    rv->loadAdWithAdData(data, loader);
    is->loadAdWithAdData(data, isDelegate);
    env.advance(50);  // the fills now arrive on the foreign thread while this one asks
    for (int i = 0; i < 50; ++i) {
      rv->isAdAvailableWithAdData(data);
      is->isAdAvailableWithAdData(data);
    }
    sdk.waitForeignIdle();
    rv->showAdWithViewController(screen, data, loader);
    is->showAdWithViewController(screen, data, isDelegate);
    env.advance(50);
    rv->loadAdWithAdData(data, loader);  // races the show's callbacks
    is->loadAdWithAdData(data, isDelegate);
    sdk.waitForeignIdle();
    env.advance(50);
    sdk.waitForeignIdle();
  }
  int loads = 0, closes = 0, rewards = 0;
  for (const auto& e : loader->events()) {
    EXPECT_EQ(e.thread, foreign);
    loads += e.text == "load";
    closes += e.text == "close";
    rewards += e.text == "reward";
  }
  EXPECT_EQ(loads, 2 * kRounds);
  EXPECT_EQ(closes, kRounds);
  EXPECT_EQ(rewards, kRounds);
  EXPECT_EQ(isDelegate->texts().size(), static_cast<size_t>(4 * kRounds));  // load, open, close, load
}

}  // namespace
