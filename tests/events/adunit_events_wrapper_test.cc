#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "events/QBAdUnitEventsWrapper.h"
#include "events_test_support.h"
#include "platform/json.h"

namespace {

using platform::Json;
using qbtest::EventsIsolation;
namespace Tables = QBAdUnitEventsTables;

class RecordingSource : public QBAdUnitEventsProtocol {
 public:
  explicit RecordingSource(Json common) : common_(std::move(common)) {}
  Json getEventsAdditionalDataDictionary(int eventKind) override {
    kinds.push_back(eventKind);
    return common_;
  }
  std::vector<int> kinds;

 private:
  Json common_;
};

class AdUnitEventsWrapperTest : public ::testing::Test {
 protected:
  std::shared_ptr<QBAdUnitEventsWrapper> wrapper(const QBAdUnit& adUnit, int level) {
    return QBAdUnitEventsWrapper::initWithAdunit(adUnit, level, source);
  }
  std::vector<Json> sent(const char* engine) {
    env.advance(QBEventsEngine::kBackupDelayMs);
    return qbtest::eventsBackedUp(engine);
  }

  platform::TestEnvironment env;
  EventsIsolation isolation;
  const QBAdUnit rv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const QBAdUnit is = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  std::shared_ptr<RecordingSource> source = std::make_shared<RecordingSource>(
      Json{{"provider", "Mediation"}, {"programmatic", 1}, {"duration", 999}, {"sessionDepth", 2}});
};

TEST_F(AdUnitEventsWrapperTest, MapsKindsToTheIdsOfTheAdUnitAndLevelWithTheOwnDataOnTop) {
  wrapper(rv, Tables::kLevelMediation)->load().loadAdWithPublisherLoad(true);
  wrapper(rv, Tables::kLevelProvider)->load().loadAdWithPublisherLoad(false);
  wrapper(rv, Tables::kLevelMediation)->troubleshoot().internalErrorWithReason("x");
  wrapper(rv, Tables::kLevelProvider)->troubleshoot().internalErrorWithReason("y");
  wrapper(rv, Tables::kLevelMediation)->load().failedWithReason("no network", 1500, 520);
  wrapper(rv, Tables::kLevelMediation)->load().availabilityChanged(false, 42, true);
  wrapper(is, Tables::kLevelMediation)->auction().request();
  wrapper(is, Tables::kLevelProvider)->adInteraction().adClickedWithPlacementName("Home");
  wrapper(is, Tables::kLevelMediation)->troubleshoot().auctionSuccessfulRecoveryWithCode(7, "back");

  auto rvEvents = sent("events");
  ASSERT_EQ(qbtest::eventIds(rvEvents), (std::vector<int64_t>{1000, 1001, 81072, 81572, 1220, 1112}));
  EXPECT_EQ(rvEvents[0]["publisherLoad"], true);
  EXPECT_FALSE(rvEvents[1].contains("publisherLoad"));
  const Json& failed = rvEvents[4];
  EXPECT_EQ(failed["sessionDepth"], 2);
  EXPECT_EQ(failed["duration"], 1500);  // the source said 999
  EXPECT_EQ(failed["errorCode"], 520);
  EXPECT_EQ(rvEvents[5]["errorCode"], 1057);
  EXPECT_EQ(rvEvents[5]["reason"], "loaded ads are expired");
  ASSERT_EQ(source->kinds.size(), 9u);  // asked once per event, with the event's kind
  EXPECT_EQ(source->kinds[4], QBEventKind::LOAD_AD_FAILED_WITH_REASON);
  EXPECT_EQ(source->kinds[5], QBEventKind::AD_AVAILABILITY_CHANGED_FALSE);
  auto isEvents = sent("InterstitialEvents");
  EXPECT_EQ(qbtest::eventIds(isEvents), (std::vector<int64_t>{2000, 2258, 88002}));
  EXPECT_EQ(isEvents[1]["placement"], "Home");
  EXPECT_EQ(isEvents[2]["errorCode"], 7);
}

TEST_F(AdUnitEventsWrapperTest, KindsWithoutAnIdSendNothingAndWithoutASourceOnlyTheOwnDataGoes) {
  wrapper(is, Tables::kLevelMediation)->load().availabilityChanged(true, 1, false);  // no interstitial id
  wrapper(is, Tables::kLevelMediation)->troubleshoot().loadFailedWithCode(1, "r");
  wrapper(rv, Tables::kLevelMediation)->troubleshoot().auctionSuccessfulRecoveryWithCode(1, "r");
  wrapper(rv, Tables::kLevelProvider)->auction().request();  // the ad unit's own kind
  wrapper(QBAdUnit::QB_AD_UNIT_BANNER(), Tables::kLevelMediation)->load().loadAdWithPublisherLoad(true);
  QBAdUnitEventsWrapper(rv, 7, source).load().loadAdWithPublisherLoad(true);  // no such level

  auto events = wrapper(rv, Tables::kLevelProvider);
  events->releaseMemory();
  events->adInteraction().adRewardedWithPlacementName("Home", "coins", 10, "1760000000000", "abc", 0,
                                                      Json{{"custom_level", "3"}}, "");
  auto orphan = QBAdUnitEventsWrapper::initWithAdunit(rv, Tables::kLevelMediation,
                                                      std::make_shared<RecordingSource>(Json::object()));
  orphan->adInteraction().sessionCapped();  // the source died with the temporary

  auto sentEvents = sent("events");
  ASSERT_EQ(qbtest::eventIds(sentEvents), (std::vector<int64_t>{1160, 1114}));
  EXPECT_FALSE(sentEvents[0].contains("provider"));
  EXPECT_EQ(sentEvents[0]["custom_level"], "3");
  EXPECT_TRUE(sent("InterstitialEvents").empty());
  EXPECT_TRUE(source->kinds.empty());
}

// Every id of a table lies in its ad unit's ranges, and no id is used twice
// within an ad unit.
TEST(AdUnitEventsTablesTest, IdsAreUniqueAndInTheAdUnitsRanges) {
  struct Case {
    QBAdUnit adUnit;
    int low, high, adUnitLevelBase;
  };
  for (const Case& c : {Case{QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), 1000, 1999, 81000},
                        Case{QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), 2000, 2999, 82000}}) {
    std::set<int> seen;
    int count = 0;
    for (int level : {Tables::kLevelMediation, Tables::kLevelProvider}) {
      for (int kind = 0; kind < QBEventKind::kKindCount; ++kind) {
        auto id = Tables::eventId(c.adUnit, level, kind);
        if (!id) continue;
        ++count;
        EXPECT_TRUE(seen.insert(*id).second) << c.adUnit.value() << " id " << *id << " twice";
        const bool inRange = (*id >= c.low && *id <= c.high) ||
                             (*id >= c.adUnitLevelBase && *id < c.adUnitLevelBase + 1000) ||
                             (*id >= 88000 && *id < 89000);
        EXPECT_TRUE(inRange) << c.adUnit.value() << " level " << level << " kind " << kind << " -> " << *id;
      }
    }
    EXPECT_GT(count, 80);
  }
}

}  // namespace
