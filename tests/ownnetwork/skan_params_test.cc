// The application's SKAdNetwork identifiers travel to the own network's page
// as "skd", in the shared initialisation's and every instance's parameters
// and in the offerwall's, only when the application declares any.
#include <gtest/gtest.h>

#include "ownnetwork/adapters/QBPlovermarkAdsAdapter.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "platform/storage.h"

namespace qbtest {
namespace {

using platform::Json;

class SkanParamsTest : public OwnNetworkTest {
 protected:
  ~SkanParamsTest() override { platform::setAppInfo(Json::object()); }
};

TEST_F(SkanParamsTest, TheSkanDictionaryGoesOutOnlyWithEntries) {
  struct Case {
    const char* name;
    Json items;  // the information dictionary's "SKAdNetworkItems"; null: none
    Json skd;    // what "skd" holds; null: absent
  };
  const std::vector<Case> cases = {
      {"no items", Json(), Json()},
      {"no usable item", Json::array({"text", Json{{"SKAdNetworkIdentifier", 5}}, Json{{"other", "x"}}}), Json()},
      {"two identifiers, sorted and once each",
       Json::array({Json{{"SKAdNetworkIdentifier", "b2.skadnetwork"}}, Json{{"SKAdNetworkIdentifier", "a1.skadnetwork"}},
                    Json{{"SKAdNetworkIdentifier", "b2.skadnetwork"}}, "junk"}),
       Json{{"skadnetids", Json::array({"a1.skadnetwork", "b2.skadnetwork"})}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json info = {{"CFBundleIdentifier", "com.example.skan"}};
    if (!c.items.is_null()) info["SKAdNetworkItems"] = c.items;
    platform::setAppInfo(info);

    const Json init = QBQuillborneAdapter::createParams();
    const auto offerwall = QBPlovermarkAdsAdapter::createParams(std::nullopt, "OW");
    ASSERT_TRUE(offerwall);
    if (c.skd.is_null()) {
      EXPECT_FALSE(init.contains("skd"));
      EXPECT_FALSE(offerwall->contains("skd"));
      continue;
    }
    EXPECT_EQ(init["skd"], c.skd);
    EXPECT_EQ((*offerwall)["skd"], c.skd);
    // In the offerwall's parameters it follows the product type.
    std::vector<std::string> keys;
    for (const auto& [key, value] : offerwall->items()) keys.push_back(key);
    const auto productType = std::find(keys.begin(), keys.end(), "productType");
    const auto skd = std::find(keys.begin(), keys.end(), "skd");
    EXPECT_LT(productType, skd);
  }
}

}  // namespace
}  // namespace qbtest
