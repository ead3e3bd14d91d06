// Real-mode runs (worker threads, no manual clock) of the paths that several
// threads share; meant for the thread-sanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "events/QBAdUnitEventsWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "events_test_support.h"
#include "platform/dispatch.h"
#include "platform/notifications.h"

namespace {

using platform::Json;

struct CountingDelegate : TidewheelRewardedVideoBaseDelegate {
  void didOpenWithAdInfo(const QBAdInfo&) override { count(); }
  void didFailToShowWithError(const QBError&, const QBAdInfo&) override { count(); }
  void didClick(const QBPlacementInfo&, const QBAdInfo&) override { count(); }
  void didCloseWithAdInfo(const QBAdInfo&) override { count(); }
  void didReceiveRewardForPlacement(const QBPlacementInfo&, const QBAdInfo&) override { count(); }
  void count() {
    if (!platform::isMainThread()) offMain.fetch_add(1);
    calls.fetch_add(1);
  }
  std::atomic<int> calls{0};
  std::atomic<int> offMain{0};
};

TEST(EventsRealModeTest, ConcurrentLoggingFromManyThreadsKeepsEveryEvent) {
  qbtest::EventsIsolation isolation;
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  auto events = QBAdUnitEventsWrapper::initWithAdunit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), 0, {});
  constexpr int kThreads = 4;
  constexpr int kPerThread = 150;
  qbtest::runThreads(kThreads, [&](int t) {
      for (int i = 0; i < kPerThread; ++i) {
        if (i % 2 == 0) {
          engine->logEvent(QBEventData(t * 1000 + i, Json::object()));
        } else {
          events->load().sucessWithDuration(i, false);
        }
        if (t == 0 && i == kPerThread / 2) {
          engine->configure(QBEventsSettings::fromJson("events", Json{{"maxNumberOfEvents", 100000}}));
        }
      }
  });
  auto drained = std::make_shared<std::atomic<bool>>(false);
  engine->runOnQueueForTesting([drained] { platform::mainQueue()->async([drained] { drained->store(true); }); });
  ASSERT_TRUE(platform::runMainUntil([&] { return drained->load(); }, 20'000));
  EXPECT_EQ(engine->storedEventCountForTesting(), static_cast<size_t>(kThreads * kPerThread));
}

// The process may end as soon as the terminate notice returns: by then the
// backup holds every event logged before it, from whichever thread.
TEST(EventsRealModeTest, TheTerminateNoticeReturnsWithEveryEventBackedUp) {
  qbtest::EventsIsolation isolation;
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 100;
  qbtest::runThreads(kThreads, [&](int t) {
    for (int i = 0; i < kPerThread; ++i) engine->logEvent(QBEventData(t * 1000 + i, Json::object()));
  });
  platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
  EXPECT_EQ(qbtest::eventsBackedUp("events").size(), static_cast<size_t>(kThreads * kPerThread));
}

TEST(EventsRealModeTest, WrapperAndThrottlerCalledFromManyThreadsDeliverOnTheMainThread) {
  QBRewardedVideoDelegateWrapper::resetForTesting();
  QBDelegateThrottler::resetForTesting();
  auto wrapper = QBRewardedVideoDelegateWrapper::sharedInstance();
  auto delegate = std::make_shared<CountingDelegate>();
  wrapper->setTidewheelDelegate(delegate);
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  qbtest::runThreads(kThreads, [&](int t) {
      for (int i = 0; i < kPerThread; ++i) {
        wrapper->rewardedVideoDidOpenWithAdInfo(nullptr);
        if (t == 1 && i % 50 == 0) wrapper->setTidewheelDelegate(delegate);
        QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(QBError::createError(1),
                                                                      QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
      }
  });
  EXPECT_TRUE(platform::runMainUntil([&] { return delegate->calls.load() == kThreads * kPerThread; }, 20'000));
  EXPECT_EQ(delegate->offMain.load(), 0);
  QBRewardedVideoDelegateWrapper::resetForTesting();
}

}  // namespace
