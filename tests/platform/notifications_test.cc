#include "platform/notifications.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/test_environment.h"

using namespace platform;

namespace {

using Log = std::vector<std::string>;

class NotificationsTest : public ::testing::Test {
 protected:
  NotificationsTest() { reset(); }
  ~NotificationsTest() override { reset(); }
  static void reset() {
    NotificationCenter::resetDefaultForTesting();
    Application::shared().resetForTesting();
  }

  NotificationHandler recorder(std::string tag) {
    return [this, tag](const Notification&) { log.push_back(tag); };
  }

  TestEnvironment env;
  NotificationCenter& center = NotificationCenter::defaultCenter();
  std::shared_ptr<int> owner = std::make_shared<int>(0);
  Log log;
};

TEST_F(NotificationsTest, DeadOrRemovedObserversAreNeverCalledEvenWithADeliveryQueued) {
  auto directOwner = std::make_shared<int>(1);
  auto queuedOwner = std::make_shared<int>(2);
  center.addObserver(directOwner, "N", nullptr, recorder("direct"));
  center.addObserver(queuedOwner, "N", mainQueue(), recorder("queued"));
  center.post("N");
  env.runUntilIdle();
  EXPECT_EQ(log, (Log{"direct", "queued"}));

  // Owner dies while a delivery to it waits on its queue.
  center.post("N");
  queuedOwner.reset();
  directOwner.reset();
  env.runUntilIdle();
  EXPECT_EQ(log, (Log{"direct", "queued", "direct"}));
  center.post("N");
  env.runUntilIdle();
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(center.observerCountForTesting(), 0u) << "dead owners are pruned";

  // Removed (by token or by owner) while a delivery waits.
  auto token = center.addObserver(owner, "N", mainQueue(), recorder("token"));
  center.addObserver(owner, "M", mainQueue(), recorder("by owner"));
  center.post("N");
  center.post("M");
  center.removeObserver(token);
  center.removeObserver(owner);
  env.runUntilIdle();
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(center.observerCountForTesting(), 0u);
}

TEST_F(NotificationsTest, DeliversOnTheRequestedQueueWithUserInfo) {
  Log labels;
  Json seen;
  center.addObserver(owner, "N", createSerialQueue("com.test.observer"), [&](const Notification& n) {
    labels.push_back(currentQueueLabel());
    seen = n.userInfo();
  });
  center.addObserver(owner, "M", mainQueue(), [&](const Notification& n) {
    labels.push_back(isMainThread() ? "main" : "not main");
    EXPECT_FALSE(n.hasUserInfo());
    EXPECT_TRUE(n.userInfo().is_null());
  });
  center.addObserver(owner, "N", nullptr, [&](const Notification&) { labels.push_back("inline"); });

  center.post("N", Json{{"reason", 3}});
  EXPECT_EQ(labels, Log{"inline"});  // queued ones never run inside post
  env.runUntilIdle();
  EXPECT_EQ(labels, (Log{"inline", "com.test.observer"}));
  EXPECT_EQ(seen, (Json{{"reason", 3}}));
  center.post("M");
  env.runUntilIdle();
  EXPECT_EQ(labels, (Log{"inline", "com.test.observer", "main"}));
}

TEST_F(NotificationsTest, HandlersMayRemoveAddAndPostDuringDelivery) {
  ObserverToken b = 0, self = 0;
  center.addObserver(owner, "N", nullptr, [&](const Notification&) {
    log.push_back("A");
    center.removeObserver(b);  // not yet called in this post: skipped
  });
  b = center.addObserver(owner, "N", nullptr, recorder("B"));
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    log.push_back("self");
    center.removeObserver(self);
  });
  center.addObserver(owner, "N", nullptr, recorder("C"));
  center.post("N");
  center.post("N");
  EXPECT_EQ(log, (Log{"A", "self", "C", "A", "C"}));

  log.clear();
  center.addObserver(owner, "P", nullptr, [&](const Notification&) {
    log.push_back("P");
    center.post("Q");
    center.addObserver(owner, "P", nullptr, recorder("late P"));
  });
  center.addObserver(owner, "Q", nullptr, recorder("Q"));
  center.post("P");
  EXPECT_EQ(log, (Log{"P", "Q"}));  // late observer not in this post
  log.clear();
  center.removeObserver(owner, "Q");
  center.post("P");
  EXPECT_EQ(log, (Log{"P", "late P"}));
}

TEST_F(NotificationsTest, RemoveByOwnerAndNameLeavesTheOwnersOtherObservations) {
  auto other = std::make_shared<int>(0);
  center.addObserver(owner, "A", nullptr, recorder("owner A"));
  center.addObserver(owner, "B", nullptr, recorder("owner B"));
  center.addObserver(other, "A", nullptr, recorder("other A"));
  center.addObserver(other, "", nullptr, [&](const Notification& n) { log.push_back("*" + n.name()); });
  center.removeObserver(owner, "A");
  center.post("A");
  center.post("B");
  EXPECT_EQ(log, (Log{"other A", "*A", "owner B", "*B"}));  // "" observes every name

  // Removal by owner still matches after the owner died.
  std::weak_ptr<const void> weakOther = other;
  other.reset();
  center.removeObserver(weakOther);
  EXPECT_EQ(center.observerCountForTesting(), 1u);
}

TEST_F(NotificationsTest, ConcurrentPostsAddsAndRemovesLoseNoDelivery) {
  std::atomic<int> calls{0};
  center.addObserver(owner, "N", nullptr, [&](const Notification&) { ++calls; });
  constexpr int kThreads = 4, kPosts = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPosts; ++i) center.post("N");
    });
  }
  for (int i = 0; i < kPosts; ++i) {
    auto temp = std::make_shared<int>(i);
    auto token = center.addObserver(temp, "N", nullptr, [](const Notification&) {});
    if (i % 2) center.removeObserver(token);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(calls.load(), kThreads * kPosts);
}

TEST_F(NotificationsTest, LifeCycleStepsPostTheNoticesInThePlatformsOrderOncePerChange) {
  for (const char* name :
       {kUIApplicationWillResignActiveNotification, kUIApplicationDidEnterBackgroundNotification,
        kUIApplicationWillEnterForegroundNotification, kUIApplicationDidBecomeActiveNotification,
        kUIApplicationWillTerminateNotification}) {
    center.addObserver(owner, name, nullptr, [this](const Notification& n) {
      log.push_back(n.name() + " " + applicationStateName(Application::shared().applicationState()));
    });
  }
  // The log records the state each notice sees, so it proves the states too.
  Application& app = Application::shared();
  EXPECT_TRUE(app.enterBackground());
  EXPECT_FALSE(app.enterBackground());
  EXPECT_TRUE(app.enterForeground());
  EXPECT_FALSE(app.enterForeground());
  EXPECT_TRUE(app.resignActive());
  EXPECT_FALSE(app.resignActive());
  EXPECT_TRUE(app.enterBackground());  // from inactive: no second WillResignActive
  EXPECT_TRUE(app.enterForeground());
  EXPECT_FALSE(app.becomeActive());
  app.terminate();
  EXPECT_EQ(log, (Log{
                     "UIApplicationWillResignActiveNotification UIApplicationStateActive",
                     "UIApplicationDidEnterBackgroundNotification UIApplicationStateBackground",
                     "UIApplicationWillEnterForegroundNotification UIApplicationStateBackground",
                     "UIApplicationDidBecomeActiveNotification UIApplicationStateActive",
                     "UIApplicationWillResignActiveNotification UIApplicationStateActive",
                     "UIApplicationDidEnterBackgroundNotification UIApplicationStateBackground",
                     "UIApplicationWillEnterForegroundNotification UIApplicationStateBackground",
                     "UIApplicationDidBecomeActiveNotification UIApplicationStateActive",
                     "UIApplicationWillTerminateNotification UIApplicationStateActive",
                 }));
}

}  // namespace
