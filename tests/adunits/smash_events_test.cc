// The instance's event data: keys, order, optional keys and the auction keys
// by event kind.
#include "adunits_test_support.h"

#include <regex>

#include "core/QBPlacement.h"

namespace adunits_test {
namespace {

using namespace QBEventKind;

std::vector<std::string> keysOf(const Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  return keys;
}

using SmashEventsTest = AdUnitsTest;

TEST_F(SmashEventsTest, FullDataComesInKeyOrderWithTheAuctionKeysOnlyForTheirKinds) {
  auto cfg = instance("Fake_1", "Fake", true, rv, Json::object(),
                      Json{{"subProviderId", "sub-9"}, {"adSourceName", "Src"}, {"customNetwork", "Fake"}});
  auto smash = makeSmash(cfg, adAdapter(cfg), smashData(cfg, "A7", Json{{"g", 1}}, 3, "fb"));
  smash->setDynamicDemandSourceIdByServerData(R"({"adm":"x","params":{"dynamicDemandSource":"dds-1"}})");
  // An ordered object: equality checks the key order too.
  EXPECT_EQ(smash->getEventsAdditionalDataDictionary(LOAD_AD_SUCCESS), (Json{{"providerAdapterVersion", "1.2.3"}, {"providerSDKVersion", "9.9.0"}, {"spId", "sub-9"},
                        {"provider", "Src"}, {"instanceType", 2}, {"programmatic", 1}, {"dynamicDemandSource", "dds-1"},
                        {"sessionDepth", 2}, {"genericParams", {{"g", 1}}}, {"auctionId", "A7"}, {"auctionTrials", 3},
                        {"auctionFallback", "fb"}, {"customNetwork", "Fake"}}));
  // Sent events carry the data under their own, the auction keys only for
  // their kinds (a click, not the session cap); a click tells the manager.
  smash->setCurrentPlacement(std::make_shared<const QBPlacement>(4, "Home"));
  static_cast<QBAdapterAdDelegate&>(*smash).adDidClick();
  smash->sendSessionCappedEvent();
  EXPECT_EQ(manager->reports(), std::vector<std::string>{"click"});
  auto events = sentEvents();
  ASSERT_EQ(kindsOf(events), (std::vector<int>{AD_CLICKED, SESSION_CAPPED}));
  EXPECT_EQ(events[0]["placement"], "Home");
  EXPECT_EQ(events[0]["auctionFallback"], "fb");
  EXPECT_EQ(events[1]["dynamicDemandSource"], "dds-1");
  EXPECT_FALSE(events[1].contains("auctionTrials"));
}

TEST_F(SmashEventsTest, EmptyValuesStayOutAndAThrowingVersionGetterSkipsWhatItDidNotSet) {
  auto cfg = instance("Fake_1", "Fake");
  auto smash = makeSmash(cfg, adAdapter(cfg), smashData(cfg, "", Json::object(), 0, "", ""));
  EXPECT_EQ(smash->getEventsAdditionalDataDictionary(LOAD_AD),
            (Json{{"providerAdapterVersion", "1.2.3"}, {"providerSDKVersion", "9.9.0"}, {"spId", ""}, {"provider", ""},
                  {"instanceType", 1}, {"programmatic", 1}, {"sessionDepth", 2}, {"auctionTrials", 0}}));
  network->throwOnVersion = true;
  EXPECT_EQ(keysOf(smash->getEventsAdditionalDataDictionary(AD_ENDED)),
            (std::vector<std::string>{"providerAdapterVersion", "spId", "provider", "instanceType", "programmatic",
                                      "sessionDepth"}));
  EXPECT_EQ(log.countContaining("Could not get adapter version for event data " + smash->getInstanceSignature() +
                                ", exception = std::logic_error no version"),
            1u);
  // The signature in messages tells smashes of one instance apart.
  EXPECT_TRUE(std::regex_match(smash->getInstanceSignature(), std::regex("Fake_1 [0-9]+l")));
  EXPECT_NE(smash->getInstanceSignature(), makeSmash(cfg, adAdapter(cfg))->getInstanceSignature());
}

}  // namespace
}  // namespace adunits_test
