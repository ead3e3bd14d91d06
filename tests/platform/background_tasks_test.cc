// The application's background tasks on the test clock: time left, the
// budget that starts with the background, the expiry's order and what ends
// or stops it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/test_environment.h"
#include "platform/ui/application.h"

namespace backgroundtaskstest {

using platform::Application;

class BackgroundTasksTest : public ::testing::Test {
 protected:
  BackgroundTasksTest() { app.resetForTesting(); }
  ~BackgroundTasksTest() override {
    app.resetForTesting();
    env.runUntilIdle();
  }

  // A task whose expiry is recorded under `name`, with whether it ran on the
  // main thread.
  Application::BackgroundTaskIdentifier begin(const std::string& name) {
    return app.beginBackgroundTask([this, name] { expired.push_back(name + (platform::isMainThread() ? "" : " off main")); });
  }

  platform::TestEnvironment env;
  Application& app = Application::shared();
  std::vector<std::string> expired;
};

TEST_F(BackgroundTasksTest, TimeIsUnboundedUntilTheBackgroundStartsTheBudget) {
  EXPECT_EQ(app.backgroundTimeRemaining(), Application::kBackgroundTimeUnbounded);
  app.resignActive();
  EXPECT_EQ(app.backgroundTimeRemaining(), Application::kBackgroundTimeUnbounded);
  app.becomeActive();
  app.setBackgroundTimeBudget(20);
  app.enterBackground();
  EXPECT_EQ(app.backgroundTimeRemaining(), 20.0);
  env.advance(7'500);
  EXPECT_EQ(app.backgroundTimeRemaining(), 12.5);
  app.enterForeground();
  EXPECT_EQ(app.backgroundTimeRemaining(), Application::kBackgroundTimeUnbounded);
  // A new stay in the background gets the whole budget again.
  app.enterBackground();
  EXPECT_EQ(app.backgroundTimeRemaining(), 20.0);
}

TEST_F(BackgroundTasksTest, ExpiryRunsEveryLiveTasksHandlerOnceInOrderOnMain) {
  const auto first = begin("first");
  const auto ended = begin("ended");
  const auto third = begin("third");
  EXPECT_NE(first, Application::kBackgroundTaskInvalid);
  EXPECT_NE(first, third);
  app.endBackgroundTask(ended);
  app.endBackgroundTask(ended);  // twice: nothing
  EXPECT_EQ(app.backgroundTaskCount(), 2u);

  app.setBackgroundTimeBudget(10);
  app.enterBackground();
  env.advance(9'999);
  EXPECT_TRUE(expired.empty());
  env.advance(1);
  EXPECT_EQ(expired, (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(app.backgroundTimeRemaining(), 0);
  EXPECT_EQ(app.backgroundTaskCount(), 2u);  // live until ended

  // Begun with no time left: its handler is posted at once, never run inside.
  const auto late = begin("late");
  EXPECT_EQ(expired.size(), 2u);
  env.runUntilIdle();
  EXPECT_EQ(expired, (std::vector<std::string>{"first", "third", "late"}));
  // Ended before its posted handler runs: the handler does not run.
  const auto gone = begin("gone");
  app.endBackgroundTask(gone);
  env.advance(60'000);
  EXPECT_EQ(expired.size(), 3u);
  for (auto task : {first, third, late}) app.endBackgroundTask(task);
  EXPECT_EQ(app.backgroundTaskCount(), 0u);
}

TEST_F(BackgroundTasksTest, TheForegroundStopsTheBudgetAndAResetDropsTheTasks) {
  begin("kept");
  app.setBackgroundTimeBudget(5);
  app.enterBackground();
  env.advance(4'000);
  app.enterForeground();
  env.advance(60'000);
  EXPECT_TRUE(expired.empty());

  // A zero budget expires as soon as the main queue runs.
  app.setBackgroundTimeBudget(-1);
  app.enterBackground();
  EXPECT_EQ(app.backgroundTimeRemaining(), 0);
  EXPECT_TRUE(expired.empty());
  env.runUntilIdle();
  EXPECT_EQ(expired, (std::vector<std::string>{"kept"}));

  app.resetForTesting();
  EXPECT_EQ(app.backgroundTaskCount(), 0u);
  EXPECT_EQ(app.applicationState(), platform::ApplicationState::Active);
  EXPECT_EQ(app.backgroundTimeRemaining(), Application::kBackgroundTimeUnbounded);
  // The state set directly starts the (default, 30 s) budget too.
  app.setApplicationStateForTesting(platform::ApplicationState::Background);
  EXPECT_EQ(app.backgroundTimeRemaining(), 30.0);
}

}  // namespace backgroundtaskstest
