// Start-up with real worker threads (no TestEnvironment), while other threads
// use the facade: the case the thread-sanitizer build watches.
#include <atomic>
#include <thread>

#include "sdk_test_support.h"

namespace qbtest {
namespace {

class RealModeTest : public ::testing::Test, protected SandboxFixture {};

TEST_F(RealModeTest, StartUpCompletesOnAWorkerWhileOtherThreadsUseTheFacade) {
  auto made = FakeManagerFactory::registerAll();
  auto delegate = std::make_shared<WakingInitRecorder>();
  std::atomic<bool> stop{false};
  std::vector<std::thread> users;
  for (int i = 0; i < 3; ++i) {
    users.emplace_back([&stop, i] {
      while (!stop.load()) {
        Quillborne::hasRewardedVideo();
        Quillborne::loadInterstitial();
        Quillborne::setMetaDataWithKey("key" + std::to_string(i), "value");
        Quillborne::setUserId("user" + std::to_string(i));
        std::this_thread::yield();
      }
    });
  }
  Quillborne::initWithAppKey(kAppKey, delegate);
  const bool done = platform::runMainUntil(
      [&] { return QuillborneSdk::sharedInstance()->sdkState() == QBSdkState::SDK_INITIATED && delegate->callCount() == 1; },
      10'000);
  stop.store(true);
  for (auto& user : users) user.join();
  ASSERT_TRUE(done);

  EXPECT_FALSE(delegate->onMainThread);
  EXPECT_EQ(delegate->queueLabel, platform::globalQueue(platform::QueuePriority::Default)->label());
  EXPECT_EQ(made->size(), 2u);
  EXPECT_EQ(config_->requestCount(), 1u);
  // Run what the users' calls posted to the main queue (the loop runs blocks in
  // order, so everything before this last one).
  std::atomic<bool> drained{false};
  platform::mainQueue()->async([&drained] { drained = true; });
  EXPECT_TRUE(platform::runMainUntil([&drained] { return drained.load(); }, 10'000));
}

// The view controller and its window belong to the main thread: a show asked
// on another thread reaches the manager there, after the window was looked at.
TEST_F(RealModeTest, AShowAskedOnAnotherThreadIsDecidedOnTheMainThread) {
  auto made = FakeManagerFactory::registerAll();
  auto delegate = std::make_shared<WakingInitRecorder>();
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo"}, delegate);
  ASSERT_TRUE(platform::runMainUntil([&] { return delegate->callCount() == 1; }, 10'000));
  auto rv = std::dynamic_pointer_cast<FakeManager>(
      QuillborneSdk::sharedInstance()->managerForAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
  ASSERT_NE(rv, nullptr);
  auto vc = std::make_shared<platform::ViewController>();
  auto window = std::make_shared<platform::Window>(platform::Screen::main().bounds());
  window->setRootViewController(vc);

  std::thread([vc] { Quillborne::showRewardedVideoWithViewController(vc, "DefaultRewardedVideo"); }).join();
  ASSERT_TRUE(platform::runMainUntil([&] { return rv->shows.load() == 1; }, 10'000));
  EXPECT_TRUE(rv->shownOnMainThread.load());
  EXPECT_EQ(rv->shownFrom, vc);
}

}  // namespace
}  // namespace qbtest
