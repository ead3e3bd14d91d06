#include "foundation/PMEDeviceStatus.h"

#include <gtest/gtest.h>

#include "foundation/PMEApplicationContext.h"
#include "foundation/PMESKAdNetworkService.h"
#include "foundation/QBNTrackingAuthorizationService.h"
#include "platform/device.h"
#include "foundation_test_support.h"

namespace {

using platform::DeviceFacts;
using platform::Json;

using PMEDeviceStatusTest = foundationtest::FoundationTest;

// Present facts pass through; absent or empty ones fall back.
TEST_F(PMEDeviceStatusTest, FactsAndTheirFallBacks) {
  DeviceFacts f;
  f.advertisingId = "AAAAAAAA-1111-2222-3333-444444444444";
  f.isAdvertisingTrackingEnabled = true;
  f.batteryLevel = 0.42;
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(PMEDeviceStatus().getIdentifierType(), "IDFA");
  EXPECT_DOUBLE_EQ(PMEDeviceStatus().batteryLevel(), 42.0);

  f.advertisingId = "";
  f.vendorId.reset();
  f.isAdvertisingTrackingEnabled.reset();
  f.trackingAuthorizationStatus.reset();
  f.mobileCountryCode.reset();
  f.mobileNetworkCode = "";
  f.isoCountryCode.reset();
  platform::setDeviceFactsForTesting(f);
  PMEDeviceStatus status;
  EXPECT_FALSE(status.isAdvertisingTrackingEnabled());
  EXPECT_EQ(status.advertiserId(), std::nullopt);
  EXPECT_EQ(status.getIdentifierType(), "UUID");
  EXPECT_EQ(status.mobileCountryCode(), "0");
  EXPECT_EQ(status.mobileNetworkCode(), "0");
  EXPECT_EQ(status.isoCountryCode(), "0");
  EXPECT_EQ(QBNTrackingAuthorizationService::sharedService().getAuthorizationStatus(), std::nullopt);
}

TEST_F(PMEDeviceStatusTest, VendorIdIsWithheldOnlyWhileTrackingIsRestricted) {
  DeviceFacts f;
  f.vendorId = "VENDOR";
  f.isAdvertisingTrackingEnabled = true;  // with the all-zero advertising id
  const std::pair<std::optional<unsigned>, bool> cases[] = {
      {std::nullopt, true}, {0u, true}, {1u, false}, {2u, true}, {3u, true}};
  for (const auto& [att, allowed] : cases) {
    f.trackingAuthorizationStatus = att;
    platform::setDeviceFactsForTesting(f);
    SCOPED_TRACE(att.value_or(99));
    EXPECT_EQ(PMEDeviceStatus().getVendorIdIfAllowed().has_value(), allowed);
    EXPECT_EQ(PMEDeviceStatus().getIdentifierType(), allowed ? "IDFV" : "UUID");
  }
}

TEST_F(PMEDeviceStatusTest, TimezoneOffsetIsWholeMinutesTruncatedTowardZero) {
  const std::pair<int64_t, int64_t> cases[] = {
      {-(3 * 3600 + 30 * 60), -210}, {5 * 3600 + 45 * 60, 345}, {-59, 0}, {119, 1}};
  DeviceFacts f;
  for (const auto& [seconds, minutes] : cases) {
    f.timeZoneOffsetSeconds = seconds;
    platform::setDeviceFactsForTesting(f);
    EXPECT_EQ(PMEDeviceStatus().timezoneOffset(), minutes) << seconds;
  }
}

TEST_F(PMEDeviceStatusTest, JailbreakCheckAsksTheProviderForTheListedPaths) {
  DeviceFacts f;
  f.jailbreakPathsPresent = {"/not/on/the/list"};
  platform::setDeviceFactsForTesting(f);
  EXPECT_FALSE(PMEDeviceStatus().jailBroken());
  f.jailbreakPathsPresent = {PMEDeviceStatus::jailbreakPaths().back()};
  platform::setDeviceFactsForTesting(f);
  EXPECT_TRUE(PMEDeviceStatus().jailBroken());
}

TEST_F(PMEDeviceStatusTest, SafeAreaAndInterfaceStyleDependOnWindowAndOSVersion) {
  const Json none = {{"top", -1.0}, {"bottom", -1.0}, {"right", -1.0}, {"left", -1.0}};
  DeviceFacts f;
  f.safeAreaInsets = platform::EdgeInsets{47, 1, 34, 2};
  f.userInterfaceStyle = platform::UserInterfaceStyle::Dark;

  f.osVersion = "11.0";
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(PMEDeviceStatus().safeAreaInsets(),
            (Json{{"top", 47.0}, {"bottom", 34.0}, {"right", 2.0}, {"left", 1.0}}));
  EXPECT_EQ(PMEDeviceStatus().userInterfaceStyle(), 1);  // before 12.0

  f.osVersion = "10.3.3";
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(PMEDeviceStatus().safeAreaInsets(), none);

  f.osVersion = "12.0";
  f.keyWindowPresent = false;
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(PMEDeviceStatus().safeAreaInsets(), none);
  EXPECT_EQ(PMEDeviceStatus().userInterfaceStyle(), 2);

  f.keyWindowPresent = true;
  f.safeAreaInsets.reset();
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(PMEDeviceStatus().safeAreaInsets(), none);
}

TEST_F(PMEDeviceStatusTest, VersionsCompareAsDottedNumbers) {
  EXPECT_LT(PMEDeviceStatus::compareVersions("10.0", "10.10"), 0);
  EXPECT_GT(PMEDeviceStatus::compareVersions("14.5", "14.4.2"), 0);
  EXPECT_EQ(PMEDeviceStatus::compareVersions("11", "11.0.0"), 0);
  EXPECT_GT(PMEDeviceStatus::compareVersions("12.1b3", "12.0"), 0);
}

TEST_F(PMEDeviceStatusTest, ApplicationContextVersionAndTransportFlags) {
  platform::setAppInfo({{"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "210"}});
  EXPECT_EQ(PMEApplicationContext::getAppVersion(), "2.1");
  platform::setAppInfo({{"CFBundleShortVersionString", 2}, {"CFBundleVersion", "210"}});
  EXPECT_EQ(PMEApplicationContext::getAppVersion(), "210");
  platform::setAppInfo({{"NSAppTransportSecurity", {{"NSAllowsArbitraryLoadsInWebContent", "YES"}}}});
  EXPECT_EQ(PMEApplicationContext::getAllowsArbitraryLoadsInWebContentFlagInATS(), Json("YES"));

  platform::setAppInfo({{"NSAppTransportSecurity", Json::array({true})}});
  EXPECT_EQ(PMEApplicationContext::getAllowsArbitraryLoadsFlagInATS(), std::nullopt);
}

TEST_F(PMEDeviceStatusTest, NetworkIdsSkipMalformedItems) {
  platform::setAppInfo({{"SKAdNetworkItems", Json::array({
                                                 {{"SKAdNetworkIdentifier", "abc.skadnetwork"}},
                                                 "not a dictionary",
                                                 {{"SKAdNetworkIdentifier", 42}},
                                                 {{"other", "x"}},
                                                 {{"SKAdNetworkIdentifier", "def.skadnetwork"}},
                                                 {{"SKAdNetworkIdentifier", "abc.skadnetwork"}},
                                             })}});
  EXPECT_EQ(PMESKAdNetworkService::collectNetworkIdsFromPlist(),
            (std::set<std::string>{"abc.skadnetwork", "def.skadnetwork"}));
  platform::setAppInfo({{"SKAdNetworkItems", {{"SKAdNetworkIdentifier", "abc"}}}});
  EXPECT_TRUE(PMESKAdNetworkService::collectNetworkIdsFromPlist().empty());
}

}  // namespace
