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

class NotificationsTest : public ::testing::Test {
 protected:
  NotificationsTest() {
    NotificationCenter::resetDefaultForTesting();
    Application::shared().resetForTesting();
  }
  ~NotificationsTest() override {
    NotificationCenter::resetDefaultForTesting();
    Application::shared().resetForTesting();
  }

  // Records "<tag>" for each call.
  NotificationHandler recorder(std::string tag) {
    return [this, tag](const Notification&) { log.push_back(tag); };
  }

  TestEnvironment env;
  NotificationCenter& center = NotificationCenter::defaultCenter();
  std::vector<std::string> log;
};

TEST_F(NotificationsTest, ObserverWhoseOwnerDiedIsNeverCalledAndIsPruned) {
  auto owner = std::make_shared<int>(1);
  auto queuedOwner = std::make_shared<int>(2);
  center.addObserver(owner, "N", nullptr, recorder("direct"));
  center.addObserver(queuedOwner, "N", mainQueue(), recorder("queued"));

  center.post("N");
  env.runUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"direct", "queued"}));

  // Owner dies while a delivery to it waits on its queue.
  center.post("N");
  queuedOwner.reset();
  owner.reset();
  env.runUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"direct", "queued", "direct"}));

  center.post("N");
  env.runUntilIdle();
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(center.observerCountForTesting(), 0u);
}

TEST_F(NotificationsTest, DeliversOnTheRequestedQueueWithUserInfo) {
  auto owner = std::make_shared<int>(0);
  auto serial = createSerialQueue("com.test.observer");
  std::vector<std::string> labels;
  Json seen;
  center.addObserver(owner, "N", serial, [&](const Notification& n) {
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
  EXPECT_EQ(labels, std::vector<std::string>{"inline"});  // queued ones never run inside post
  env.runUntilIdle();
  EXPECT_EQ(labels, (std::vector<std::string>{"inline", "com.test.observer"}));
  EXPECT_EQ(seen, (Json{{"reason", 3}}));

  center.post("M");
  env.runUntilIdle();
  EXPECT_EQ(labels, (std::vector<std::string>{"inline", "com.test.observer", "main"}));
}

TEST_F(NotificationsTest, RemovalDuringDeliverySkipsObserversNotYetCalled) {
  auto owner = std::make_shared<int>(0);
  ObserverToken b = 0;
  ObserverToken self = 0;
  center.addObserver(owner, "N", nullptr, [&](const Notification&) {
    log.push_back("A");
    center.removeObserver(b);
  });
  b = center.addObserver(owner, "N", nullptr, recorder("B"));
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    log.push_back("self");
    center.removeObserver(self);
  });
  center.addObserver(owner, "N", nullptr, recorder("C"));

  center.post("N");
  center.post("N");
  EXPECT_EQ(log, (std::vector<std::string>{"A", "self", "C", "A", "C"}));
}

TEST_F(NotificationsTest, RemovedBeforeItsQueuedDeliveryRunsIsSkipped) {
  auto owner = std::make_shared<int>(0);
  auto token = center.addObserver(owner, "N", mainQueue(), recorder("token"));
  center.addObserver(owner, "M", mainQueue(), recorder("by owner"));
  center.post("N");
  center.post("M");
  center.removeObserver(token);
  center.removeObserver(owner);
  env.runUntilIdle();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(center.observerCountForTesting(), 0u);
}

TEST_F(NotificationsTest, RemoveByOwnerAndNameLeavesTheOwnersOtherObservations) {
  auto owner = std::make_shared<int>(0);
  auto other = std::make_shared<int>(0);
  center.addObserver(owner, "A", nullptr, recorder("owner A"));
  center.addObserver(owner, "B", nullptr, recorder("owner B"));
  center.addObserver(other, "A", nullptr, recorder("other A"));
  center.addObserver(other, "", nullptr, [&](const Notification& n) { log.push_back("*" + n.name()); });
  center.removeObserver(owner, "A");
  center.post("A");
  center.post("B");
  EXPECT_EQ(log, (std::vector<std::string>{"other A", "*A", "owner B", "*B"}));  // "" observes every name

  // Removal by owner still matches after the owner died.
  std::weak_ptr<const void> weakOther = other;
  other.reset();
  center.removeObserver(weakOther);
  EXPECT_EQ(center.observerCountForTesting(), 1u);
}

TEST_F(NotificationsTest, HandlersMayPostAndAddObserversWithoutDeadlock) {
  auto owner = std::make_shared<int>(0);
  center.addObserver(owner, "A", nullptr, [&](const Notification&) {
    log.push_back("A");
    center.post("B");
    center.addObserver(owner, "A", nullptr, recorder("late A"));
  });
  center.addObserver(owner, "B", nullptr, recorder("B"));
  center.post("A");
  EXPECT_EQ(log, (std::vector<std::string>{"A", "B"}));  // late observer not in this post
  log.clear();
  center.removeObserver(owner, "B");
  center.post("A");
  EXPECT_EQ(log, (std::vector<std::string>{"A", "late A"}));
}

TEST_F(NotificationsTest, ConcurrentPostsAddsAndRemovesLoseNoDelivery) {
  auto owner = std::make_shared<int>(0);
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

// ----------------------------------------------------------------- Application

class ApplicationTest : public NotificationsTest {
 protected:
  ApplicationTest() {
    for (const char* name :
         {kUIApplicationWillResignActiveNotification, kUIApplicationDidEnterBackgroundNotification,
          kUIApplicationWillEnterForegroundNotification, kUIApplicationDidBecomeActiveNotification,
          kUIApplicationWillTerminateNotification}) {
      center.addObserver(owner, name, nullptr, [this](const Notification& n) {
        log.push_back(n.name() + " " +
                      applicationStateName(Application::shared().applicationState()));
      });
    }
  }
  std::shared_ptr<int> owner = std::make_shared<int>(0);
  Application& app = Application::shared();
};

TEST_F(ApplicationTest, LifeCycleStepsPostTheNoticesInThePlatformsOrderOncePerChange) {
  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  EXPECT_TRUE(app.enterBackground());
  EXPECT_EQ(app.applicationState(), ApplicationState::Background);
  EXPECT_FALSE(app.enterBackground());
  EXPECT_TRUE(app.enterForeground());
  EXPECT_FALSE(app.enterForeground());
  EXPECT_EQ(app.applicationState(), ApplicationState::Active);
  EXPECT_TRUE(app.resignActive());
  EXPECT_FALSE(app.resignActive());
  EXPECT_TRUE(app.enterBackground());  // from inactive: no second WillResignActive
  EXPECT_TRUE(app.enterForeground());
  EXPECT_FALSE(app.becomeActive());
  app.terminate();
  EXPECT_EQ(log, (std::vector<std::string>{
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
