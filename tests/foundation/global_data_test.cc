// The global data store: the writer's merge rules, the
// refresh of the changing device keys and the three views.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "foundation/QBAuctionProvider.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBInitProvider.h"
#include "foundation/QBTokenProvider.h"
#include "platform/device.h"
#include "platform/json.h"
#include "platform/test_environment.h"

using platform::Json;
namespace keys = QBGlobalDataKeys;

namespace {

class GlobalDataTest : public ::testing::Test {
 protected:
  GlobalDataTest() {
    facts_.batteryLevel = 0.42;
    facts_.outputVolume = 0.25;
    facts_.vendorId = "VENDOR-1";
    facts_.radioAccessTechnology = "CTRadioAccessTechnologyLTE";
    facts_.timeZoneOffsetSeconds = -(3 * 3600 + 30 * 60);
    platform::setDeviceFactsForTesting(facts_);
    platform::ReachabilitySource::shared().resetForTesting();
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    store().resetForTesting();
  }
  ~GlobalDataTest() override {
    store().resetForTesting();
    platform::ReachabilitySource::shared().resetForTesting();
    platform::resetDeviceFactsForTesting();
  }

  static QBGlobalDataManager& store() { return QBGlobalDataManager::sharedInstance(); }

  platform::TestEnvironment env_;
  platform::DeviceFacts facts_;
  QBGlobalDataWriter writer_;
};

TEST_F(GlobalDataTest, SetDataStoresReplacesRemovesAndMerges) {
  writer_.setData("APPKEY1", keys::kAppKey);
  writer_.setData(Json{{"a", 1}}, "nested");
  EXPECT_EQ(store().valueForKey(keys::kAppKey), Json("APPKEY1"));

  writer_.setData(Json{{"b", 2}}, "nested");
  EXPECT_EQ(store().valueForKey("nested"), (Json{{"b", 2}}));

  writer_.setData(Json(nullptr), keys::kAppKey);
  EXPECT_FALSE(store().valueForKey(keys::kAppKey).has_value());

  // Without a key a dictionary merges at the top level only.
  writer_.setData(Json{{"keep", "x"}, {"nested", {{"a", 1}, {"b", 2}}}});
  writer_.setData(Json{{"nested", {{"c", 3}}}, {"new", true}});
  EXPECT_EQ(store().valueForKey("keep"), Json("x"));
  EXPECT_EQ(store().valueForKey("nested"), (Json{{"c", 3}}));  // replaced, not merged
  EXPECT_EQ(store().valueForKey("new"), Json(true));

  Json before = store().allData();
  writer_.setData(Json::array({1, 2}));
  writer_.setData(Json("text"));
  EXPECT_EQ(store().allData().size(), before.size());
}

TEST_F(GlobalDataTest, ExtendMergesIntoADictionaryOrStoresTheDictionary) {
  // Absent key: stored.
  writer_.extendData(Json{{"a", 1}}, keys::kControllerTokenParams);
  EXPECT_EQ(store().valueForKey(keys::kControllerTokenParams), (Json{{"a", 1}}));

  // Dictionary: merged entry by entry; same key replaced; others kept.
  writer_.extendData(Json{{"a", 5}, {"b", {{"deep", 1}}}}, keys::kControllerTokenParams);
  writer_.extendData(Json{{"b", {{"other", 2}}}}, keys::kControllerTokenParams);
  EXPECT_EQ(store().valueForKey(keys::kControllerTokenParams), (Json{{"a", 5}, {"b", {{"other", 2}}}}));

  // Empty or non-dictionary extensions change nothing; a key holding
  // something else is replaced by the dictionary.
  writer_.setData("plain", "scalar");
  writer_.extendData(Json::object(), "scalar");
  writer_.extendData(Json::array({1}), "scalar");
  EXPECT_EQ(store().valueForKey("scalar"), Json("plain"));
  writer_.extendData(Json{{"x", 1}}, "scalar");
  EXPECT_EQ(store().valueForKey("scalar"), (Json{{"x", 1}}));
}

TEST_F(GlobalDataTest, AllDataRefreshesTheChangingDeviceKeys) {
  Json first = store().allData();
  EXPECT_EQ(first[keys::kBattery], 42);
  EXPECT_EQ(first[keys::kConnectionType], "wifi");
  EXPECT_EQ(first[keys::kTimeZoneOffset], -210);
  EXPECT_EQ(first[keys::kVendorId], "VENDOR-1");

  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
  facts_.batteryLevel = 0.9;
  facts_.vendorId.reset();
  platform::setDeviceFactsForTesting(facts_);
  env_.advance(1500);

  Json second = store().allData();
  EXPECT_EQ(second[keys::kConnectionType], "3G");
  EXPECT_EQ(second[keys::kCellularNetworkType], "CTRadioAccessTechnologyLTE");
  EXPECT_EQ(second[keys::kBattery], 90);
  EXPECT_FALSE(second.contains(keys::kVendorId));  // a fact that went away leaves the store
  EXPECT_EQ(second[keys::kLocalTime].get<int64_t>() - first[keys::kLocalTime].get<int64_t>(), 1500);
  EXPECT_EQ(second[keys::kUptime].get<int64_t>() - first[keys::kUptime].get<int64_t>(), 1500);
}

void expectOnlyListedKeys(const Json& view, const std::vector<std::string>& list) {
  for (const auto& item : view.items()) {
    EXPECT_NE(std::find(list.begin(), list.end(), item.key()), list.end()) << item.key();
  }
}

TEST_F(GlobalDataTest, ViewsGiveTheCurrentValuesOfTheirKeysOnly) {
  writer_.setData(Json{{keys::kCoppa, true}, {"is_child_directed", "false"}}, keys::kTokenGenericParams);
  writer_.setData("SESSION-1", keys::kSessionId);
  writer_.extendData(Json{{"rewardedVideo", {{keys::kSessionDepth, 2}}}}, keys::kAdUnitData);
  writer_.setData("not in any view", "zz_unlisted");

  Json token = QBTokenProvider::sharedInstance().getToken();
  ASSERT_TRUE(token.is_object());
  EXPECT_EQ(token[keys::kTokenGenericParams][keys::kCoppa], true);
  EXPECT_EQ(token[keys::kSessionId], "SESSION-1");
  EXPECT_FALSE(token.contains(keys::kAdUnitData));
  EXPECT_FALSE(token.contains("zz_unlisted"));
  EXPECT_FALSE(token.contains(keys::kAppKey));  // listed but never written
  expectOnlyListedKeys(token, QBTokenProvider::keys());
  // Values are current, not a snapshot taken when the view was made.
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
  EXPECT_EQ(QBTokenProvider::sharedInstance().getToken()[keys::kConnectionType], "3G");

  Json auction = QBAuctionProvider::sharedInstance().getAuctionData();
  EXPECT_EQ(auction[keys::kAdUnitData]["rewardedVideo"][keys::kSessionDepth], 2);
  EXPECT_EQ(auction[keys::kTokenGenericParams], token[keys::kTokenGenericParams]);

  Json init = QBInitProvider::sharedInstance().getInitData();
  EXPECT_EQ(init[keys::kSessionId], "SESSION-1");
  EXPECT_FALSE(init.contains(keys::kAppKey));  // listed but never written
  expectOnlyListedKeys(init, QBInitProvider::keys());
}

TEST_F(GlobalDataTest, AViewHoldsItsNamesInTheOrderAskedEachOnce) {
  writer_.setData("SESSION-1", keys::kSessionId);
  writer_.setData(7, "zz_seven");
  const Json view = store().dataForKeys(
      {"zz_seven", "never_written", keys::kSessionId, "zz_seven", keys::kBattery, keys::kSessionId});
  ASSERT_TRUE(view.is_object());
  std::vector<std::string> names;
  for (auto it = view.begin(); it != view.end(); ++it) names.push_back(it.key());
  EXPECT_EQ(names, (std::vector<std::string>{"zz_seven", keys::kSessionId, keys::kBattery}));
  EXPECT_EQ(view["zz_seven"], 7);
  EXPECT_EQ(view[keys::kBattery], 42);  // a changing fact, read when the view is made
  EXPECT_EQ(platform::dumpJson(view), R"({"zz_seven":7,")" + std::string(keys::kSessionId) + R"(":"SESSION-1",")" +
                                          std::string(keys::kBattery) + R"(":42})");
}

TEST_F(GlobalDataTest, ConcurrentWritersAndReadersKeepEveryWrite) {
  const std::vector<std::string> units = {"rewardedVideo", "interstitial", "banner", "offerwall"};
  std::vector<std::thread> threads;
  for (const auto& unit : units) {
    threads.emplace_back([unit] {
      QBGlobalDataWriter writer;
      for (int i = 1; i <= 50; ++i) writer.extendData(Json{{unit, {{keys::kSessionDepth, i}}}}, keys::kAdUnitData);
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < 50; ++i) (void)QBTokenProvider::sharedInstance().getToken();
  });
  for (auto& t : threads) t.join();

  Json data = *store().valueForKey(keys::kAdUnitData);
  for (const auto& unit : units) EXPECT_EQ(data[unit][keys::kSessionDepth], 50) << unit;
}

}  // namespace
