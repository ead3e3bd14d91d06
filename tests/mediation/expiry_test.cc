// Expiry of loaded ads on the platform clock: fires once at its deadline,
// can be cancelled or restarted, and waits while the application is in the
// background.
#include <gtest/gtest.h>

#include <limits>

#include "mediation/QBExpiredAdsManager.h"
#include "platform/dispatch.h"
#include "platform/notifications.h"
#include "platform/test_environment.h"

namespace {

constexpr int64_t kMinute = 60'000;

class Delegate : public QBAdExpirationDelegate {
 public:
  void onAdExpired() override {
    ++count;
    onMain = onMain && platform::isMainThread();
  }
  int count = 0;
  bool onMain = true;
};

class ExpiryTest : public ::testing::Test {
 protected:
  ~ExpiryTest() override { platform::Application::shared().resetForTesting(); }

  platform::TestEnvironment env;
  std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

TEST_F(ExpiryTest, FiresOnceAtTheDeadlineLessTheDelta) {
  auto expiry = QBExpiredAdsManager::initWithDelegate(delegate, 2);
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(30);
  env.advance(90'000 - 1);
  EXPECT_EQ(delegate->count, 0);
  EXPECT_TRUE(expiry->isScheduled());
  env.advance(1);
  EXPECT_EQ(delegate->count, 1);
  EXPECT_TRUE(delegate->onMain);
  env.advance(10 * kMinute);
  EXPECT_EQ(delegate->count, 1);
  EXPECT_FALSE(expiry->isScheduled());
}

TEST_F(ExpiryTest, CancelAndRestartReplaceTheCountdown) {
  auto expiry = QBExpiredAdsManager::initWithDelegate(delegate, 1);
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);
  env.advance(kMinute / 2);
  expiry->cancelExpirationScheduler();
  env.advance(2 * kMinute);
  EXPECT_EQ(delegate->count, 0);

  expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);
  env.advance(kMinute / 2);
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);  // restart
  env.advance(kMinute / 2);
  EXPECT_EQ(delegate->count, 0);
  env.advance(kMinute / 2);
  EXPECT_EQ(delegate->count, 1);

  // A delta past the duration expires with no delay.
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(120);
  env.advance(0);
  EXPECT_EQ(delegate->count, 2);
}

TEST_F(ExpiryTest, WaitsInTheBackgroundAndFiresOnReturn) {
  auto expiry = QBExpiredAdsManager::initWithDelegate(delegate, 1);
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);
  env.advance(10'000);
  platform::Application::shared().enterBackground();
  env.advance(5 * kMinute);
  EXPECT_EQ(delegate->count, 0);
  platform::Application::shared().enterForeground();
  env.runUntilIdle();
  EXPECT_EQ(delegate->count, 1);
}

TEST_F(ExpiryTest, NothingFiresWhenDisabledFarOffOrWithNobodyToTell) {
  for (int64_t minutes : {0, -1}) {  // below one minute: nothing is scheduled
    auto expiry = QBExpiredAdsManager::initWithDelegate(delegate, minutes);
    expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);
    EXPECT_FALSE(expiry->isScheduled());
  }
  // A duration too long for any clock waits instead of wrapping into "now".
  auto farOff = QBExpiredAdsManager::initWithDelegate(delegate, std::numeric_limits<int64_t>::max());
  farOff->startExpirationTimerForAdsWithDeltaInSeconds(0);
  env.advance(int64_t{100} * 365 * 24 * 60 * kMinute);
  EXPECT_EQ(delegate->count, 0);
  farOff.reset();

  auto dropped = QBExpiredAdsManager::initWithDelegate(delegate, 1);
  dropped->startExpirationTimerForAdsWithDeltaInSeconds(0);
  dropped.reset();
  env.advance(10 * kMinute);
  EXPECT_EQ(delegate->count, 0);

  auto expiry = QBExpiredAdsManager::initWithDelegate(delegate, 1);
  expiry->startExpirationTimerForAdsWithDeltaInSeconds(0);
  delegate.reset();
  env.advance(2 * kMinute);  // no crash, nobody to tell
}

}  // namespace
