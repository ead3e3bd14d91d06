// The test suite launched from a worker thread with real threads (no
// TestEnvironment): the main queue runs the suite's presentation while the
// launch is still on its way.
#include <future>
#include <thread>

#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;

class TestSuiteRealModeTest : public ::testing::Test, protected SandboxFixture {
 protected:
  TestSuiteRealModeTest() {
    Json configuration = config_->configuration();
    // The events stay with the engine, which writes them out at termination.
    configuration["configurations"]["application"]["events"]["events"]["maxNumberOfEvents"] = 1000;
    config_->setConfiguration(configuration);
  }
  ~TestSuiteRealModeTest() override { QuillborneSdk::sharedInstance()->setTestSuiteStartedHookForTesting(nullptr); }

  // Runs what is on the main queue now (and what that posts before it).
  static bool drainMain() {
    std::atomic<bool> drained{false};
    platform::mainQueue()->async([&drained] { drained = true; });
    return platform::runMainUntil([&drained] { return drained.load(); }, 10'000);
  }
  // The ids (with "errorCode") of the suite's events, in the engine's order.
  static std::vector<std::string> suiteEvents() {
    platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
    std::vector<std::string> out;
    for (const auto& event : eventsBackedUp("events")) {
      const int64_t id = event.value("eventId", int64_t{0});
      if (id < 70 || id > 74) continue;
      out.push_back(std::to_string(id) + (event.contains("errorCode") ? ":" + event["errorCode"].dump() : ""));
    }
    return out;
  }
};

// Mend: the presentation, refused here (the view controller is in no window),
// undoes the launch on the main queue. The hook lets the main queue run it as
// soon as it is posted, before the launching thread goes on: the flag must end
// cleared and the events read 70, 71, 72.
TEST_F(TestSuiteRealModeTest, ALaunchFromAWorkerAndItsUndoDoNotInterleave) {
  auto started = std::make_shared<WakingInitRecorder>();
  Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo"}, started);
  ASSERT_TRUE(platform::runMainUntil([&] { return started->callCount() == 1; }, 10'000));
  auto sdk = QuillborneSdk::sharedInstance();

  sdk->setTestSuiteStartedHookForTesting([] {
    // Queued behind the presentation: when it runs, the presentation has.
    auto presentationRan = std::make_shared<std::promise<void>>();
    auto ran = presentationRan->get_future();
    platform::mainQueue()->async([presentationRan] { presentationRan->set_value(); });
    ran.wait_for(std::chrono::seconds(10));
  });
  auto elsewhere = std::make_shared<platform::ViewController>();  // in no window
  std::atomic<bool> returned{false};
  std::optional<QBError> refusal;
  std::thread launcher([&] {
    refusal = sdk->launchTestSuite(elsewhere);
    returned = true;
    platform::mainQueue()->async([] {});
  });
  const bool done = platform::runMainUntil([&] { return returned.load(); }, 20'000);
  launcher.join();
  ASSERT_TRUE(done);
  ASSERT_TRUE(drainMain());

  EXPECT_FALSE(refusal);
  EXPECT_FALSE(sdk->testSuiteLaunched());
  EXPECT_FALSE(elsewhere->presentedViewController());
  EXPECT_EQ(suiteEvents(), (std::vector<std::string>{"70", "71", "72:1723"}));
}

}  // namespace
}  // namespace qbtest
