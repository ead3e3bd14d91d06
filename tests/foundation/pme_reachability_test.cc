#include "foundation/PMEReachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "platform/device.h"
#include "platform/dispatch.h"
#include "platform/test_environment.h"

namespace {

using platform::ReachabilitySource;

struct Heard {
  int status;
  std::string queue;
  std::shared_ptr<PMEReachability> object;
};

// Records what it hears into a log that can outlive the listener.
class RecordingListener : public PMENotifierProtocol {
 public:
  void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) override {
    log->push_back({reachability->currentReachabilityStatus(), platform::currentQueueLabel(), reachability});
    if (onHeard) onHeard();
  }
  std::shared_ptr<std::vector<Heard>> log = std::make_shared<std::vector<Heard>>();
  std::function<void()> onHeard;
};

// Unregisters itself from its destructor, as a listener without an owner would.
class SelfRemovingListener : public RecordingListener {
 public:
  ~SelfRemovingListener() override { PMEReachabilityManager::sharedManager()->removeDelegate(this); }
};

class PMEReachabilityTest : public ::testing::Test {
 protected:
  PMEReachabilityTest() {
    PMEReachabilityManager::resetForTesting();
    source().setStatus(platform::kReachabilityViaWiFi);  // no monitor yet: nobody hears it
    manager = PMEReachabilityManager::sharedManager();
  }
  ~PMEReachabilityTest() override {
    manager.reset();
    PMEReachabilityManager::resetForTesting();
    platform::resetDeviceFactsForTesting();
  }
  static ReachabilitySource& source() { return ReachabilitySource::shared(); }

  platform::TestEnvironment env;
  std::shared_ptr<PMEReachabilityManager> manager;
};

TEST_F(PMEReachabilityTest, EachChangeReachesEveryLiveListenerOnceOnTheMonitorQueue) {
  auto a = std::make_shared<RecordingListener>();
  auto b = std::make_shared<RecordingListener>();
  manager->addDelegate(a);
  manager->addDelegate(b);
  manager->addDelegate(a);  // a second registration changes nothing

  EXPECT_TRUE(source().setStatus(platform::kReachabilityViaWWAN));
  EXPECT_FALSE(source().setStatus(platform::kReachabilityViaWWAN));  // not a change
  EXPECT_TRUE(a->log->empty()) << "delivered inline instead of on the queue";
  env.runUntilIdle();
  source().setStatus(platform::kReachabilityNotReachable);
  env.runUntilIdle();

  for (const auto& listener : {a, b}) {
    ASSERT_EQ(listener->log->size(), 2u);
    EXPECT_EQ((*listener->log)[0].status, 1);
    EXPECT_EQ((*listener->log)[1].status, 0);
    for (const auto& heard : *listener->log) {
      EXPECT_EQ(heard.queue, kPMEReachabilityQueueLabel);
      EXPECT_EQ(heard.object, manager->getReachabilityObject());
    }
  }
}

TEST_F(PMEReachabilityTest, DeadAndRemovedListenersAreNotRetainedAndHearNothing) {
  auto alive = std::make_shared<RecordingListener>();
  auto dead = std::make_shared<RecordingListener>();
  auto deadLog = dead->log;
  auto late = std::make_shared<RecordingListener>();
  auto removed = std::make_shared<RecordingListener>();
  auto selfRemoving = std::make_shared<SelfRemovingListener>();
  auto selfRemovingLog = selfRemoving->log;
  auto victim = std::make_shared<RecordingListener>();
  for (const std::shared_ptr<PMENotifierProtocol>& l :
       std::vector<std::shared_ptr<PMENotifierProtocol>>{alive, dead, late, removed, selfRemoving, victim}) {
    manager->addDelegate(l);
  }
  // The first listener unregisters a later listener of the same delivery.
  alive->onHeard = [&] { manager->removeDelegate(victim); };
  std::weak_ptr<RecordingListener> watch = dead;
  dead.reset();
  EXPECT_TRUE(watch.expired()) << "the monitor kept the listener alive";
  manager->removeDelegate(removed);
  selfRemoving.reset();

  source().setStatus(platform::kReachabilityViaWWAN);
  late.reset();  // dies after the change was queued, before delivery
  env.runUntilIdle();

  EXPECT_EQ(alive->log->size(), 1u);
  EXPECT_TRUE(deadLog->empty());
  EXPECT_TRUE(removed->log->empty());
  EXPECT_TRUE(selfRemovingLog->empty());
  EXPECT_TRUE(victim->log->empty());
  EXPECT_EQ(manager->delegateCountForTesting(), 1u);
}

TEST_F(PMEReachabilityTest, StatusTextsAndChecksFollowTheSource) {
  struct Case {
    int status;
    std::optional<std::string> rat;
    const char* deviceType;
    const char* cellularType;
    bool reachable;
  };
  const Case cases[] = {
      {2, "CTRadioAccessTechnologyLTE", "wifi", "wifi", true},
      {1, "CTRadioAccessTechnologyLTE", "3G", "CTRadioAccessTechnologyLTE", true},
      {1, std::nullopt, "3G", "notReachable", true},
      {1, "", "3G", "notReachable", true},
      {0, "CTRadioAccessTechnologyLTE", "notReachable", "notReachable", false},
  };
  auto reachability = manager->getReachabilityObject();
  for (const auto& c : cases) {
    platform::DeviceFacts facts;
    facts.radioAccessTechnology = c.rat;
    platform::setDeviceFactsForTesting(facts);
    source().setStatus(c.status);
    SCOPED_TRACE(c.status);
    EXPECT_EQ(reachability->currentReachabilityStatus(), c.status);
    EXPECT_EQ(reachability->getDeviceReachabilityType(), c.deviceType);
    EXPECT_EQ(reachability->getCellularNetworkType(), c.cellularType);
    EXPECT_EQ(reachability->hasConnectivity(), c.reachable);
    EXPECT_EQ(PMEReachabilityManager::checkReachability(), c.reachable);
  }
  env.runUntilIdle();
}

// Real worker threads (no TestEnvironment): changes and registrations from
// several threads at once; deliveries stay serial and on the monitor's queue.
TEST(PMEReachabilityRealModeTest, ConcurrentChangesAndRegistrationsStaySerial) {
  struct Counting : PMENotifierProtocol {
    void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) override {
      if (inFlight.fetch_add(1) != 0) overlaps.fetch_add(1);
      if (platform::currentQueueLabel() != kPMEReachabilityQueueLabel) wrongQueue.store(true);
      std::lock_guard lock(m);
      lastStatus = reachability->currentReachabilityStatus();
      cv.notify_all();
      inFlight.fetch_sub(1);
    }
    std::atomic<int> inFlight{0}, overlaps{0};
    std::atomic<bool> wrongQueue{false};
    std::mutex m;
    std::condition_variable cv;
    int lastStatus = -1;
  };

  QBLoggerManager::sharedInstance().setConsoleWriterForTesting([](const std::string&) {});
  PMEReachabilityManager::resetForTesting();
  auto manager = PMEReachabilityManager::sharedManager();
  auto stable = std::make_shared<Counting>();
  manager->addDelegate(stable);

  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 300; ++i) ReachabilitySource::shared().setStatus((i + t) % 3);
    });
    threads.emplace_back([manager] {
      for (int i = 0; i < 300; ++i) {
        auto transient = std::make_shared<Counting>();
        manager->addDelegate(transient);
        if (i % 2) manager->removeDelegate(transient);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  // One more change that is surely a change, then wait for it to arrive.
  const int target = ReachabilitySource::shared().currentStatus() == platform::kReachabilityViaWiFi
                         ? platform::kReachabilityNotReachable
                         : platform::kReachabilityViaWiFi;
  ReachabilitySource::shared().setStatus(target);
  {
    std::unique_lock lock(stable->m);
    EXPECT_TRUE(stable->cv.wait_for(lock, std::chrono::seconds(10), [&] { return stable->lastStatus == target; }));
  }
  EXPECT_EQ(stable->overlaps.load(), 0);
  EXPECT_FALSE(stable->wrongQueue.load());
  EXPECT_EQ(manager->delegateCountForTesting(), 1u);
  manager.reset();
  PMEReachabilityManager::resetForTesting();
  QBLoggerManager::sharedInstance().resetForTesting();
}

}  // namespace
