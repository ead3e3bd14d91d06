#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "events/QBDelegateThrottler.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "platform/test_environment.h"
#include "quillborne/QBImpressionData.h"
#include "quillborne/TidewheelRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoManualDelegate.h"

namespace {

using Log = std::vector<std::string>;

// Every delegate double appends "<who>:<callback>[:<detail>]" to one shared
// log, and "!" when a call arrives off the main thread.
struct Recorder {
  explicit Recorder(std::shared_ptr<Log> log, std::string who) : log_(std::move(log)), who_(std::move(who)) {}
  void note(const std::string& what) const { log_->push_back(who_ + ":" + what + (platform::isMainThread() ? "" : "!")); }
  std::shared_ptr<Log> log_;
  std::string who_;
};

std::string instanceOf(const QBAdInfo& info) { return info.instanceName().value_or("-"); }

struct ClassicRv : QBRewardedVideoManualDelegate, Recorder {
  using Recorder::Recorder;
  void rewardedVideoHasChangedAvailability(bool available) override { note(available ? "available" : "unavailable"); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& p) override { note("reward:" + p.placementName()); }
  void rewardedVideoDidFailToShowWithError(const QBError& e) override { note("showFailed:" + std::to_string(e.code())); }
  void rewardedVideoDidOpen() override { note("open"); }
  void rewardedVideoDidClose() override { note("close"); }
  void rewardedVideoDidStart() override { note("start"); }
  void rewardedVideoDidEnd() override { note("end"); }
  void didClickRewardedVideo(const QBPlacementInfo& p) override { note("click:" + p.placementName()); }
  void rewardedVideoDidLoad() override { note("load"); }
  void rewardedVideoDidFailToLoadWithError(const QBError& e) override { note("loadFailed:" + std::to_string(e.code())); }
};

struct TidewheelRvBase : virtual TidewheelRewardedVideoBaseDelegate, Recorder {
  using Recorder::Recorder;
  void didOpenWithAdInfo(const QBAdInfo& i) override { note("open:" + instanceOf(i)); }
  void didFailToShowWithError(const QBError& e, const QBAdInfo& i) override {
    note("showFailed:" + std::to_string(e.code()) + ":" + instanceOf(i));
  }
  void didClick(const QBPlacementInfo& p, const QBAdInfo& i) override { note("click:" + p.placementName() + ":" + instanceOf(i)); }
  void didCloseWithAdInfo(const QBAdInfo& i) override { note("close:" + instanceOf(i)); }
  void didReceiveRewardForPlacement(const QBPlacementInfo& p, const QBAdInfo& i) override {
    note("reward:" + p.placementName() + ":" + instanceOf(i));
  }
};

struct TidewheelRvBoth : TidewheelRvBase, TidewheelRewardedVideoDelegate, TidewheelRewardedVideoManualDelegate {
  using TidewheelRvBase::TidewheelRvBase;
  void hasAvailableAdWithAdInfo(const QBAdInfo& i) override { note("available:" + instanceOf(i)); }
  void hasNoAvailableAd() override { note("unavailable"); }
  void didLoadWithAdInfo(const QBAdInfo& i) override { note("load:" + instanceOf(i)); }
  void didFailToLoadWithError(const QBError& e) override { note("loadFailed:" + std::to_string(e.code())); }
};

struct TidewheelIs : TidewheelInterstitialDelegate, Recorder {
  using Recorder::Recorder;
  void didLoadWithAdInfo(const QBAdInfo& i) override { note("load:" + instanceOf(i)); }
  void didFailToLoadWithError(const QBError& e) override { note("loadFailed:" + std::to_string(e.code())); }
  void didOpenWithAdInfo(const QBAdInfo& i) override { note("open:" + instanceOf(i)); }
  void didShowWithAdInfo(const QBAdInfo& i) override { note("show:" + instanceOf(i)); }
  void didFailToShowWithError(const QBError& e, const QBAdInfo&) override { note("showFailed:" + std::to_string(e.code())); }
  void didClickWithAdInfo(const QBAdInfo& i) override { note("click:" + instanceOf(i)); }
  void didCloseWithAdInfo(const QBAdInfo& i) override { note("close:" + instanceOf(i)); }
};

std::shared_ptr<const QBAdInfo> adInfoOf(const std::string& instanceName) {
  return QBAdInfo::initWithImpressionData(
      QBImpressionData::initWithJsonText("{\"instanceName\":\"" + instanceName + "\"}"));
}

class DelegateWrappersTest : public ::testing::Test {
 protected:
  DelegateWrappersTest() { resetAll(); }
  ~DelegateWrappersTest() override { resetAll(); }
  static void resetAll() {
    QBRewardedVideoDelegateWrapper::resetForTesting();
    QBInterstitialDelegateWrapper::resetForTesting();
    QBDelegateThrottler::resetForTesting();
  }

  platform::TestEnvironment env;
  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::shared_ptr<QBRewardedVideoDelegateWrapper> rv = QBRewardedVideoDelegateWrapper::sharedInstance();
};

TEST_F(DelegateWrappersTest, RewardedVideoCallsReachBothDelegatesOnTheMainQueueInCallOrder) {
  auto classic = std::make_shared<ClassicRv>(log, "c");
  auto tidewheel = std::make_shared<TidewheelRvBoth>(log, "t");
  rv->setDelegate(classic);
  rv->setTidewheelDelegate(tidewheel);
  const QBPlacementInfo home{"Home", "coins", 5};
  platform::globalQueue()->async([&] {  // from a worker queue, as the managers call
    rv->rewardedVideoDidLoadWithAdInfo(adInfoOf("a"));
    rv->rewardedVideoHasChangedAvailability(true, adInfoOf("a"));
    rv->rewardedVideoDidOpenWithAdInfo(nullptr);
    rv->rewardedVideoDidStart();
    rv->didReceiveRewardForPlacement(home, adInfoOf("a"));
  });
  env.runUntilIdle();

  EXPECT_EQ(*log, (Log{"c:load", "t:load:a", "c:available", "t:available:a", "c:open", "t:open:-", "c:start",
                       "c:reward:Home", "t:reward:Home:a"}));
}

TEST_F(DelegateWrappersTest, CallsReturnBeforeDeliveryAndSkipDelegatesThatAreGoneOrDoNotAdopt) {
  auto classic = std::make_shared<ClassicRv>(log, "c");
  auto baseOnly = std::make_shared<TidewheelRvBase>(log, "t");  // neither availability nor manual loads
  rv->setDelegate(classic);
  rv->setTidewheelDelegate(baseOnly);
  rv->rewardedVideoHasChangedAvailability(false, nullptr);
  rv->rewardedVideoDidLoadWithAdInfo(nullptr);
  EXPECT_TRUE(log->empty());
  classic.reset();  // released before delivery
  env.runUntilIdle();
  EXPECT_TRUE(log->empty());
}

// A callback's log line carries its details when the console takes level 1,
// and no line is written when it does not.
TEST_F(DelegateWrappersTest, CallbackLinesCarryTheirDetailsWhenTheConsoleTakesThem) {
  auto& logger = QBLoggerManager::sharedInstance();
  std::vector<std::string> lines;
  logger.setConsoleWriterForTesting([&lines](const std::string& line) { lines.push_back(line); });
  logger.setConsoleLevel(1);
  rv->rewardedVideoDidLoadWithAdInfo(adInfoOf("shown"));
  rv->rewardedVideoHasChangedAvailability(true, adInfoOf("avail"));
  QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidLoadWithAdInfo(adInfoOf("inter"));
  logger.setConsoleLevel(2);
  rv->rewardedVideoDidLoadWithAdInfo(adInfoOf("hidden"));
  logger.setConsoleWriterForTesting(nullptr);
  logger.resetForTesting();
  env.runUntilIdle();

  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("rewardedVideoDidLoadWithAdInfo - "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("shown"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("rewardedVideoHasChangedAvailability - true "), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("avail"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("inter"), std::string::npos) << lines[2];
}

TEST_F(DelegateWrappersTest, ATestSuiteDelegateTakesEveryCallbackWhileSet) {
  auto classic = std::make_shared<ClassicRv>(log, "c");
  auto tidewheel = std::make_shared<TidewheelRvBoth>(log, "t");
  rv->setDelegate(classic);
  rv->setTidewheelDelegate(tidewheel);
  rv->setTestSuiteTidewheelDelegate(std::make_shared<TidewheelRvBoth>(log, "suite"));
  rv->rewardedVideoDidLoadWithAdInfo(nullptr);
  rv->rewardedVideoHasChangedAvailability(false, nullptr);
  rv->rewardedVideoDidStart();  // the classic delegate's alone: nobody hears it
  rv->rewardedVideoDidOpenWithAdInfo(adInfoOf("b"));
  env.runUntilIdle();
  EXPECT_EQ(*log, (Log{"suite:load:-", "suite:unavailable", "suite:open:b"}));

  // A suite delegate that does not adopt the availability interface hears none.
  log->clear();
  rv->setTestSuiteTidewheelDelegate(std::make_shared<TidewheelRvBase>(log, "base"));
  rv->rewardedVideoHasChangedAvailability(true, nullptr);
  rv->rewardedVideoDidCloseWithAdInfo(nullptr);
  rv->setTestSuiteTidewheelDelegate(nullptr);
  rv->rewardedVideoDidStart();
  env.runUntilIdle();
  EXPECT_EQ(*log, (Log{"base:close:-", "c:start"}));

}

// ---------------------------------------------------------------- throttler

class DelegateThrottlerTest : public DelegateWrappersTest {
 protected:
  DelegateThrottlerTest() {
    rv->setDelegate(classic);
    QBInterstitialDelegateWrapper::sharedInstance()->setTidewheelDelegate(interstitial);
  }
  std::shared_ptr<QBDelegateThrottler> throttler = QBDelegateThrottler::sharedInstance();
  std::shared_ptr<ClassicRv> classic = std::make_shared<ClassicRv>(log, "rv");
  std::shared_ptr<TidewheelIs> interstitial = std::make_shared<TidewheelIs>(log, "is");
  const QBAdUnit rvUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const QBAdUnit isUnit = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
};

TEST_F(DelegateThrottlerTest, SpacesFailuresAndDropsThoseThatComeWhileOneWaits) {
  throttler->setDelayLoadFailureNotificationInSeconds(10, rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(1), rvUnit);
  env.runUntilIdle();
  EXPECT_EQ(*log, (Log{"rv:loadFailed:1"}));
  EXPECT_FALSE(throttler->hasPendingInvocationForAdUnit(rvUnit));

  env.advance(4'000);
  throttler->didFailToLoadWithError(QBError::createError(2), rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(3), rvUnit);  // dropped
  EXPECT_TRUE(throttler->hasPendingInvocationForAdUnit(rvUnit));
  env.advance(5'999);
  EXPECT_EQ(log->size(), 1u);
  env.advance(1);
  EXPECT_EQ(*log, (Log{"rv:loadFailed:1", "rv:loadFailed:2"}));
  EXPECT_FALSE(throttler->hasPendingInvocationForAdUnit(rvUnit));

  // The spacing counts from the delayed delivery.
  env.advance(9'999);
  throttler->didFailToLoadWithError(QBError::createError(4), rvUnit);
  EXPECT_TRUE(throttler->hasPendingInvocationForAdUnit(rvUnit));
  env.advance(1);
  env.advance(10'000);
  throttler->didFailToLoadWithError(QBError::createError(5), rvUnit);
  env.runUntilIdle();
  EXPECT_EQ(*log, (Log{"rv:loadFailed:1", "rv:loadFailed:2", "rv:loadFailed:4", "rv:loadFailed:5"}));
}

TEST_F(DelegateThrottlerTest, AdUnitsAreIndependentAndNoSpacingDeliversEveryFailure) {
  throttler->setDelayLoadFailureNotificationInSeconds(30, rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(1), rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(2), rvUnit);
  for (int code : {10, 11, 12}) throttler->didFailToLoadWithError(QBError::createError(code), isUnit);
  env.runUntilIdle();
  EXPECT_EQ(*log, (Log{"rv:loadFailed:1", "is:loadFailed:10", "is:loadFailed:11", "is:loadFailed:12"}));
  EXPECT_TRUE(throttler->hasPendingInvocationForAdUnit(rvUnit));
  EXPECT_FALSE(throttler->hasPendingInvocationForAdUnit(isUnit));

  QBDelegateThrottler::resetForTesting();  // cancels the waiting one
  env.advance(60'000);
  EXPECT_EQ(log->size(), 4u);
}

// A spacing past the int64 range of milliseconds holds the second failure,
// rather than wrapping to a negative spacing that lets every failure through.
TEST_F(DelegateThrottlerTest, SpacingTooLargeForMillisecondsHoldsTheNextFailure) {
  throttler->setDelayLoadFailureNotificationInSeconds(std::numeric_limits<int64_t>::max(), rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(1), rvUnit);
  throttler->didFailToLoadWithError(QBError::createError(2), rvUnit);
  env.advance(86'400'000);
  EXPECT_EQ(*log, (Log{"rv:loadFailed:1"}));
  EXPECT_TRUE(throttler->hasPendingInvocationForAdUnit(rvUnit));
}

}  // namespace
