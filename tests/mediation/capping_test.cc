// Placement delivery, capping and pacing on the platform clock, with the
// counters surviving a restart of the user-defaults store.
#include <gtest/gtest.h>

#include "mediation/QBPlacementCappingManager.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/temp_dir.h"

namespace {

constexpr int64_t kHour = 3'600'000;

class PlacementCappingTest : public ::testing::Test {
 protected:
  PlacementCappingTest() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
  }
  ~PlacementCappingTest() override {
    platform::setDataRoot(savedRoot);
    platform::UserDefaults::resetStandardForTesting();
  }

  int status(const QBPlacement& p, const QBAdUnit& unit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    return manager.placementCappingStatus(p, unit);
  }
  void show(const QBPlacement& p, const QBAdUnit& unit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    manager.incrementShowCounter(p, unit);
  }

  platform::TestEnvironment env;
  const std::string savedRoot = platform::dataRoot();
  qbtest::TempDir dir;
  QBPlacementCappingManager& manager = QBPlacementCappingManager::sharedManager();
};

TEST_F(PlacementCappingTest, CappingHoldsForAFixedWindowFromTheFirstShow) {
  QBPlacement home(1, "Home");
  home.setCapping(true, 2, QBPlacement::kCappingPerHour);
  EXPECT_EQ(status(home), QBPlacementCappingManager::kNotCapped);
  show(home);
  env.advance(kHour / 2);
  show(home);
  EXPECT_EQ(status(home), QBPlacementCappingManager::kCapped);
  EXPECT_TRUE(manager.isPlacementCapped(home, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
  env.advance(kHour / 2 - 1);  // one ms before the window closes
  EXPECT_EQ(status(home), QBPlacementCappingManager::kCapped);
  env.advance(1);
  EXPECT_EQ(status(home), QBPlacementCappingManager::kNotCapped);
  show(home);  // opens a new window with one show
  EXPECT_EQ(status(home), QBPlacementCappingManager::kNotCapped);

  // Other ad units and placements keep their own counters.
  EXPECT_EQ(status(home, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), QBPlacementCappingManager::kNotCapped);
  QBPlacement other(2, "Other");
  other.setCapping(true, 1, QBPlacement::kCappingPerDay);
  EXPECT_EQ(status(other), QBPlacementCappingManager::kNotCapped);
}

TEST_F(PlacementCappingTest, PacingAndDeliveryAnswerInOrder) {
  QBPlacement p(3, "Paced");
  p.setPacing(true, 30);
  show(p);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kPaced);
  env.advance(29'999);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kPaced);
  env.advance(1);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kNotCapped);

  show(p);
  p.setCapping(true, 1, QBPlacement::kCappingPerDay);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kCapped);  // capped beats paced
  p.setDeliveryEnabled(false);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kDeliveryDisabled);
}

TEST_F(PlacementCappingTest, ClockSetBackNeverLocksThePlacement) {
  QBPlacement p(4, "Back");
  p.setCapping(true, 1, QBPlacement::kCappingPerDay);
  p.setPacing(true, 600);
  show(p);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kCapped);
  env.setWallMs(platform::nowWallMs() - kHour);
  EXPECT_EQ(status(p), QBPlacementCappingManager::kNotCapped);
}

TEST_F(PlacementCappingTest, CountersSurviveARestartUnderDocumentedKeys) {
  QBPlacement p(5, "Main Menu");
  p.setCapping(true, 2, QBPlacement::kCappingPerDay);
  const int64_t firstShow = platform::nowWallMs();
  show(p, QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  env.advance(1000);
  show(p, QBAdUnit::QB_AD_UNIT_INTERSTITIAL());

  platform::UserDefaults::resetStandardForTesting();  // as after a restart
  auto& defaults = platform::UserDefaults::standard();
  EXPECT_EQ(defaults.integer("IS_showCounter_Main Menu"), 2);
  EXPECT_EQ(defaults.integer("IS_cappingWindowStart_Main Menu"), firstShow);
  EXPECT_EQ(defaults.integer("IS_lastShowTime_Main Menu"), firstShow + 1000);
  EXPECT_EQ(status(p, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), QBPlacementCappingManager::kCapped);

  manager.resetForTesting();
  EXPECT_EQ(status(p, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), QBPlacementCappingManager::kNotCapped);
}

}  // namespace
