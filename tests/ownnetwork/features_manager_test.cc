#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/ownnetwork_test_support.h"

namespace {

using platform::Json;

class FeaturesManagerTest : public qbtest::OwnNetworkTest {
 protected:
  QBNFeaturesManager& features = QBNFeaturesManager::sharedManager();

  void setNetworkConfig(Json network) { features.updateSupplyConfigurations(Json{{"networkConfig", std::move(network)}}); }
  void setOsVersion(const std::string& version) {
    setDevice([&](platform::DeviceFacts& f) { f.osVersion = version; });
  }
};

TEST_F(FeaturesManagerTest, DefaultsWithAnEmptyConfiguration) {
  setOsVersion("10.0");
  EXPECT_TRUE(features.isSDKSupportingCurrentOSVersion());
  EXPECT_EQ(features.getDebugMode(), 0);
  EXPECT_FALSE(features.shouldGetCellularNetworkType());
  EXPECT_TRUE(features.shouldGetAuthorizationStatusByReflection());
  EXPECT_TRUE(features.shouldBlockMultiplePresentationStoreKitCallInRow());
  EXPECT_TRUE(features.allowExternalLinksActivationInWPAD());
  EXPECT_FALSE(features.useWindowOrientationFallback());
  EXPECT_FALSE(features.shouldHandleWebViewTerminated());
  EXPECT_EQ(features.getDataManagerConfig(), std::nullopt);
  EXPECT_EQ(features.getNetworkConfigurationsFromControllerConfig(), Json::object());
  setOsVersion("9.3.5");
  EXPECT_FALSE(features.isSDKSupportingCurrentOSVersion());
}

TEST_F(FeaturesManagerTest, MinimumOsVersionComparesNumbersPartByPart) {
  struct Case {
    Json minimum;
    const char* device;
    bool supported;
  };
  const std::vector<Case> cases = {{"11.0", "10.3.1", false}, {"11.0", "11.0", true}, {"11.0", "11.0.1", true},
                                   {"10.10", "10.9", false},  {11, "10.3", false},     {11, "12.0", true},
                                   {Json::array(), "9.0", false}};  // not a version: the default "10.0"
  for (const Case& c : cases) {
    features.updateSupplyConfigurations(Json{{"minOSVersionSupport", c.minimum}});
    setOsVersion(c.device);
    EXPECT_EQ(features.isSDKSupportingCurrentOSVersion(), c.supported) << c.minimum.dump() << " on " << c.device;
  }
}

TEST_F(FeaturesManagerTest, SwitchesReadBooleansFromTextsAndNumbers) {
  struct Case {
    Json value;
    bool links;    // allowLinksInWpad: YES when absent
    bool handled;  // handleWebViewTerminated: NO when absent
  };
  const std::vector<Case> cases = {
      {false, false, false}, {true, true, true},     {0, false, false},   {1, true, true},
      {"false", false, false}, {"YES", true, true}, {nullptr, true, false}, {Json::object(), true, false},
  };
  for (const Case& c : cases) {
    setNetworkConfig(Json{{"allowLinksInWpad", c.value}, {"handleWebViewTerminated", c.value}});
    EXPECT_EQ(features.allowExternalLinksActivationInWPAD(), c.links) << c.value.dump();
    EXPECT_EQ(features.shouldHandleWebViewTerminated(), c.handled) << c.value.dump();
  }
  features.updateSupplyConfigurations(Json{{"cellularNetworkType", false}, {"attReflection", "0"}});
  EXPECT_TRUE(features.shouldGetCellularNetworkType());  // present at all
  EXPECT_FALSE(features.shouldGetAuthorizationStatusByReflection());
}

TEST_F(FeaturesManagerTest, UpdatesReplaceWholeDictionariesAndNoneKeepsTheOld) {
  setNetworkConfig(Json{{"dataManager", {{"retryNumber", 3}}}, {"BlockMultipleSKCalles", false}});
  EXPECT_EQ(features.getDataManagerConfig(), (Json{{"retryNumber", 3}}));
  features.updateSupplyConfigurations(std::nullopt);
  features.updateSupplyConfigurations(Json::array());
  EXPECT_FALSE(features.shouldBlockMultiplePresentationStoreKitCallInRow());
  setNetworkConfig(Json{{"dataManager", "retry"}});
  EXPECT_EQ(features.getDataManagerConfig(), std::nullopt);
  EXPECT_TRUE(features.shouldBlockMultiplePresentationStoreKitCallInRow());
  features.updateSupplyConfigurations(Json{{"networkConfig", "not an object"}});
  EXPECT_EQ(features.getNetworkConfigurationsFromControllerConfig(), Json::object());

  features.updateDebugConfigurations(Json{{"debugMode", "2"}});
  EXPECT_EQ(features.getDebugMode(), 2);
  features.updateDebugConfigurations(std::nullopt);
  EXPECT_EQ(features.getDebugMode(), 2);
}

TEST_F(FeaturesManagerTest, EventsConfigurationComesFromTheGivenConfigurationsNetworkConfig) {
  const Json events = {{"endpoint", "https://e.example/x"},
                       {"enabled", "true"},
                       {"headers", {{"X-A", "1"}}},
                       {"httpMethod", "GET"}};
  QBNConfigurations configurations;
  configurations.controllerConfig = Json{{"networkConfig", {{"events", events}}}};
  features.updateSupplyConfigurations(Json{{"networkConfig", {{"events", {{"enabled", false}}}}}});

  auto built = QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(&configurations);
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(built->endpoint, "https://e.example/x");
  EXPECT_TRUE(built->areEventsEnabled);
  EXPECT_EQ(built->requestHeaders, (Json{{"X-A", "1"}}));
  EXPECT_EQ(built->httpMethod, "GET");
  configurations.controllerConfig = Json{{"networkConfig", {{"events", Json::object()}}}};
  EXPECT_FALSE(QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(&configurations)->areEventsEnabled);

  for (const std::optional<Json>& controllerConfig :
       {std::optional<Json>(), std::optional<Json>(Json::object()), std::optional<Json>(Json{{"networkConfig", 1}}),
        std::optional<Json>(Json{{"networkConfig", {{"other", 1}}}}),
        std::optional<Json>(Json{{"networkConfig", {{"events", "on"}}}})}) {
    configurations.controllerConfig = controllerConfig;
    EXPECT_EQ(QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(&configurations), nullptr);
  }
  EXPECT_EQ(QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(nullptr), nullptr);
}

}  // namespace
