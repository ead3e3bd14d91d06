// SDK answers on a thread no platform queue knows, racing the mediation's own
// calls on the test thread. Run these in the thread-sanitizer build.
#include "tulvo_adapter/QBTulvoCustomAdapter.h"
#include "tulvo_adapter/QBTulvoCustomInterstitial.h"
#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"
#include "tulvo_test_support.h"

using platform::Json;
using TulvoSDK::CallbackThread;
using namespace tulvo_test;

namespace {

const Json kSettings{{"publisherId", "pub-7"}, {"token", "tok-9"}};

class TulvoThreadsTest : public TulvoTest {
 protected:
  void SetUp() override {
    foreign = sdk.foreignThreadId();
    sdk.setDefaultInitAnswer({.thread = CallbackThread::ForeignThread});
    sdk.setDefaultLoadAnswer({.thread = CallbackThread::ForeignThread});
    sdk.setDefaultShowAnswer({.thread = CallbackThread::ForeignThread});
  }
  std::thread::id foreign;
};

TEST_F(TulvoThreadsTest, InstancesJoiningWhileTheSdkAnswersAreEachToldOnce) {
  // The first attempt fails on the foreign thread while more instances join
  // on this one; the attempt they start then succeeds.
  sdk.scriptInit({.success = false, .errorMessage = std::string("try again"), .thread = CallbackThread::ForeignThread});
  auto adapter = std::make_shared<QBTulvoCustomAdapter>();
  std::vector<std::shared_ptr<InitDelegate>> delegates;
  for (int i = 0; i < 4; ++i) {
    delegates.push_back(std::make_shared<InitDelegate>());
    adapter->init(adData(kSettings), delegates.back());
  }
  env.advance(50);  // hands the answer to the foreign thread, which runs it now
  for (int i = 0; i < 40; ++i) {
    delegates.push_back(std::make_shared<InitDelegate>());
    adapter->init(adData(kSettings), delegates.back());
  }
  sdk.waitForeignIdle();
  env.advance(50);
  sdk.waitForeignIdle();
  env.runUntilIdle();

  for (size_t i = 0; i < delegates.size(); ++i) {
    auto texts = delegates[i]->texts();
    ASSERT_EQ(texts.size(), 1u) << "delegate " << i;
    EXPECT_TRUE(texts[0] == "initSuccess" || texts[0] == "initFailed:1000:try again") << texts[0];
    EXPECT_EQ(delegates[i]->events()[0].thread, foreign);
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(delegates[i]->texts()[0], "initFailed:1000:try again");
  // A second attempt only when someone joined after the first had answered.
  EXPECT_LE(sdk.initializeCalls().size(), 2u);
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);
}

TEST_F(TulvoThreadsTest, AdCallbacksOnAForeignThreadRaceLoadShowAndAvailability) {
  auto rv = std::make_shared<QBTulvoCustomRewardedVideo>();
  auto is = std::make_shared<QBTulvoCustomInterstitial>();
  auto rvDelegate = std::make_shared<RewardedDelegate>();
  auto isDelegate = std::make_shared<InterstitialDelegate>();
  auto data = adData(Json::object());
  auto screen = std::make_shared<platform::ViewController>();

  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    rv->loadAdWithAdData(data, rvDelegate);
    is->loadAdWithAdData(data, isDelegate);
    env.advance(50);  // the fills now arrive on the foreign thread...
    // ...while the mediation keeps asking on this one.
    for (int i = 0; i < 50; ++i) {
      rv->isAdAvailableWithAdData(data);
      is->isAdAvailableWithAdData(data);
    }
    sdk.waitForeignIdle();
    rv->showAdWithViewController(screen, data, rvDelegate);
    is->showAdWithViewController(screen, data, isDelegate);
    env.advance(50);
    rv->loadAdWithAdData(data, rvDelegate);  // races the show's callbacks
    is->loadAdWithAdData(data, isDelegate);
    sdk.waitForeignIdle();
    env.advance(50);
    sdk.waitForeignIdle();
  }

  int loads = 0, closes = 0, rewards = 0;
  for (const auto& e : rvDelegate->events()) {
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

TEST_F(TulvoThreadsTest, InlineAnswersFromInsideLoadAndShowDoNotDeadlock) {
  sdk.setDefaultLoadAnswer({.thread = CallbackThread::Inline});
  sdk.setDefaultShowAnswer({.thread = CallbackThread::Inline});
  auto rv = std::make_shared<QBTulvoCustomRewardedVideo>();
  auto delegate = std::make_shared<RewardedDelegate>();
  auto data = adData(Json::object());
  rv->loadAdWithAdData(data, delegate);
  rv->showAdWithViewController(std::make_shared<platform::ViewController>(), data, delegate);
  EXPECT_EQ(delegate->texts(), (std::vector<std::string>{"load", "open", "reward", "close"}));
}

}  // namespace
