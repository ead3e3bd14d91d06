#include <gtest/gtest.h>

#include "core/QBPlacementsRepository.h"

namespace {

using platform::Json;

std::shared_ptr<const QBPlacement> make(int64_t id, const std::string& name, bool isDefault = false) {
  return std::make_shared<const QBPlacement>(id, name, isDefault);
}

TEST(PlacementsRepositoryTest, DefaultIsFlaggedThenIdZeroThenFirstAndUnknownNamesGetIt) {
  auto flagged = QBPlacementsRepository::initWithArray(
      {make(0, "Zero"), make(3, "FlaggedA", true), make(4, "FlaggedB", true)});
  EXPECT_EQ(flagged->defaultPlacement()->name(), "FlaggedA");
  auto first = QBPlacementsRepository::initWithArray({nullptr, make(2, "Two"), make(-1, "NoId")});
  EXPECT_EQ(first->defaultPlacement()->name(), "Two");
  EXPECT_EQ(first->placements().size(), 2u);
  EXPECT_EQ(QBPlacementsRepository::initWithArray({})->placementForName("anything"), nullptr);

  auto repo = QBPlacementsRepository::initWithArray({make(1, "Main"), make(0, "Home"), make(2, "Bonus")});
  EXPECT_EQ(repo->placementForName("Bonus")->placementId(), 2);
  EXPECT_EQ(repo->placementForName("bonus")->name(), "Home");  // case matters; id 0 is the default
}

TEST(PlacementTest, FromJsonReadsRulesAndRefusesNamelessEntries) {
  auto p = QBPlacement::fromJson(Json{{"placementId", 4},
                                      {"placementName", "Bonus"},
                                      {"rewardName", "gems"},
                                      {"rewardAmount", 2},
                                      {"capping", {{"enabled", true}, {"maxImpressions", 3}, {"unit", "h"}}},
                                      {"pacing", {{"enabled", true}, {"seconds", 30}}},
                                      {"deliveryEnabled", false}});
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->placementInfo(), QBPlacementInfo("Bonus", "gems", 2));
  EXPECT_EQ(p->cappingType(), "h");
  EXPECT_EQ(p->cappingValue(), 3);
  EXPECT_EQ(p->pacingValue(), 30);
  EXPECT_FALSE(p->isDeliveryEnabled());

  auto loose = QBPlacement::fromJson(Json{{"placementName", "Loose"},
                                          {"rewardAmount", -5},
                                          {"capping", {{"enabled", true}, {"maxImpressions", 0}, {"unit", "m"}}},
                                          {"pacing", {{"enabled", true}}}});
  ASSERT_NE(loose, nullptr);
  EXPECT_EQ(loose->rewardAmount(), 0);
  EXPECT_FALSE(loose->isCappingEnabled());  // no count, no capping
  EXPECT_EQ(loose->cappingType(), "d");
  EXPECT_FALSE(loose->isPacingEnabled());
  EXPECT_TRUE(loose->isDeliveryEnabled());

  for (const Json& bad : {Json{{"placementName", ""}}, Json{{"placementName", 3}}, Json("Main")}) {
    EXPECT_EQ(QBPlacement::fromJson(bad), nullptr) << bad;
  }
}

}  // namespace
