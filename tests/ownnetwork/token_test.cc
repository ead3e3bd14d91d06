#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/PMEReachability.h"
#include "foundation/QBGlobalDataManager.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/services/QBNAppOrientationSource.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/crypto.h"
#include "platform/ui/application.h"

namespace {

using platform::Json;

// An orientation source answering a fixed mask, with a name for each mask.
class FixedOrientation : public QBNAppOrientationSource {
 public:
  explicit FixedOrientation(uint64_t mask) : mask_(mask) {}
  uint64_t appOrientation() const override { return mask_; }
  std::optional<std::string> controllerStringForOrientation(uint64_t mask) const override {
    if (mask == 24) return "landscape";
    if (mask == 6) return "portrait";
    return std::nullopt;
  }

 private:
  uint64_t mask_;
};

// Device facts that fail from the n-th read on.
class FailingFacts : public platform::DeviceFactsProvider {
 public:
  FailingFacts(platform::DeviceFacts facts, int failFrom) : facts_(std::move(facts)), failFrom_(failFrom) {}
  platform::DeviceFacts facts() const override {
    if (++reads_ >= failFrom_ && failing) throw std::runtime_error("facts unavailable");
    return facts_;
  }
  std::atomic<bool> failing{true};

 private:
  platform::DeviceFacts facts_;
  int failFrom_;
  mutable std::atomic<int> reads_{0};
};

class TokenTest : public qbtest::OwnNetworkStorageTest {
 protected:
  TokenTest() : savedAppInfo_(platform::appInfo()) {
    PMEReachabilityManager::resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBNAppOrientationSource::registerSource(nullptr);
    platform::Screen::main().resetForTesting();
    PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
    setDevice([](platform::DeviceFacts&) {});  // fixed facts: the real disk's free space moves
  }
  ~TokenTest() override {
    platform::setDeviceFactsProvider(nullptr);
    QBNAppOrientationSource::registerSource(nullptr);
    platform::setAppInfo(savedAppInfo_);
    platform::Screen::main().resetForTesting();
    PMEReachabilityManager::resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    tokens.resetForTesting();
  }

  Json stored() { return platform::parseJson(*tokens.getTokenAsString()).value(); }

  QBNTokenService& tokens = QBNTokenService::sharedService();

 private:
  Json savedAppInfo_;
};

TEST_F(TokenTest, PermanentEntriesAreGatheredOnceFromTheDeviceAndTheApplication) {
  struct Case {
    const char* name;
    std::function<void(platform::DeviceFacts&)> device;
    Json appInfo;
    std::shared_ptr<QBNAppOrientationSource> orientation;
    std::optional<int64_t> bootMs;
    Json present;
    std::vector<const char*> absent;
  };
  const std::vector<Case> cases = {
      {"iPhone application on a tablet, every optional fact",
       [](platform::DeviceFacts& f) {
         f.hardwareModel = "iPad8,1";
         f.osVersion = "16.4.1";
         f.carrierName = "Carrier";
       },
       {{"CFBundleIdentifier", "com.test.app"},
        {"CFBundleVersion", "42"},
        {"NSAppTransportSecurity", {{"NSAllowsArbitraryLoads", false}, {"NSAllowsArbitraryLoadsInWebContent", 0}}}},
       std::make_shared<FixedOrientation>(24),
       123456,
       {{"deviceModel", "iPad8,1"}, {"bundleId", "com.test.app"}, {"appOrientation", "landscape"},
        {"deviceOEM", "Apple"}, {"deviceOs", "ios"}, {"deviceOSVersion", "16.4.1"}, {"deviceApiLevel", "16"},
        {"SDKVersion", "7.3.1"}, {"deviceScreenScale", "2"}, {"appVersion", "42"}, {"iphoneAppOnIpadDevice", 1},
        {"allowArbitraryLoads", true}, {"allowArbitraryLoadsInWebContent", true}, {"mobileCarrier", "Carrier"},
        {"omidVersion", "1.4.2-Quilbrn"}, {"omidPartnerVersion", "7"}, {"bt", "123456"}},
       {}},
      {"no optional fact, nothing registered for the orientation",
       [](platform::DeviceFacts& f) {
         f.osVersion = "17";
         f.carrierName = "";
       },
       {{"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "42"}},
       nullptr,
       std::nullopt,
       {{"deviceModel", "iPhone15,2"}, {"bundleId", "com.example.host"}, {"appOrientation", "unknown"},
        {"deviceApiLevel", "17"}, {"appVersion", "2.1"}, {"iphoneAppOnIpadDevice", 0}, {"bt", ""}},
       {"allowArbitraryLoads", "allowArbitraryLoadsInWebContent", "mobileCarrier"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setDevice(c.device);
    platform::setAppInfo(c.appInfo);
    platform::Screen::main().setScale(2);
    QBNAppOrientationSource::registerSource(c.orientation);
    env.setBootTimeMs(c.bootMs);
    tokens.resetForTesting();
    const Json token = tokens.getRawToken();
    for (const auto& [key, value] : c.present.items()) EXPECT_EQ(token.value(key, Json()), value) << key;
    for (const char* key : c.absent) EXPECT_FALSE(token.contains(key)) << key;
  }
}

TEST_F(TokenTest, MutableEntriesAreReadAgainAtEveryRead) {
  setDevice([](platform::DeviceFacts& f) {
    f.mobileCountryCode = "310";
    f.mobileNetworkCode = "05";
    f.isoCountryCode = "us";
    f.timeZoneId = "Europe/Berlin";
    f.timeZoneOffsetSeconds = 7200;
    f.language = "de";
    f.outputVolume = 0.25;
    f.advertisingId = "ifa-1";
    f.isAdvertisingTrackingEnabled = true;
    f.vendorId = "idfv-1";
    f.trackingAuthorizationStatus = 3;
    f.isLowPowerMode = true;
    f.freeDiskBytes = 2ull << 30;
    f.radioAccessTechnology = "CTRadioAccessTechnologyLTE";
  });
  platform::Screen::main().setBounds(platform::Rect::make(0, 0, 320, 568.5));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(Json{{"cellularNetworkType", false}});
  tokens.resetForTesting();

  const Json first = tokens.getRawToken();
  const int64_t now = platform::nowWallMs();
  const Json expected = {{"connectionType", "3G"},
                         {"isLimitAdTrackingEnabled", false},
                         {"deviceLanguage", "DE"},
                         {"deviceVolume", 0.25},
                         {"diskFreeSize", "2048"},
                         {"displaySizeWidth", "320"},
                         {"displaySizeHeight", "568.5"},
                         {"localTime", std::to_string(now)},
                         {"timezoneOffset", "-120"},
                         {"mcc", 310},
                         {"mnc", 5},
                         {"icc", "us"},
                         {"deviceIds[IFA]", "ifa-1"},
                         {"lpm", true},
                         {"tz", "Europe/Berlin"},
                         {"cellularNetworkType", "CTRadioAccessTechnologyLTE"},
                         {"deviceIds[IDFV]", "idfv-1"},
                         {"att", 3},
                         {"ut", std::to_string(platform::clock().uptimeMs())},
                         {"uts", std::to_string(platform::clock().uptimeWithSleepMs())}};
  for (const auto& [key, value] : expected.items()) EXPECT_EQ(first.value(key, Json()), value) << key;

  // A second later: time and uptimes move, permanent facts stay.
  setDevice([](platform::DeviceFacts& f) { f.hardwareModel = "iPhone99,9"; f.mobileCountryCode = "n/a"; });
  env.advance(1000);
  const Json second = tokens.getRawToken();
  EXPECT_EQ(second["localTime"], std::to_string(now + 1000));
  EXPECT_EQ(second["ut"], std::to_string(std::stoll(first["ut"].get<std::string>()) + 1000));
  EXPECT_EQ(second["uts"], std::to_string(std::stoll(first["uts"].get<std::string>()) + 1000));
  EXPECT_EQ(second["deviceModel"], first["deviceModel"]);
  EXPECT_EQ(second["mcc"], 0);  // no number in the text

  // An uptime whose low 32 bits are 0 is written as "".
  env.advance((int64_t{1} << 32) - platform::clock().uptimeMs());
  const Json wrapped = tokens.getRawToken();
  EXPECT_EQ(wrapped["ut"], "");
  EXPECT_EQ(wrapped["uts"], "");
}

TEST_F(TokenTest, ConfigurationMetadataConsentAndPageEntries) {
  QBNConfigurations network;
  network.applicationKey = "key-1";
  network.userId = "";
  network.extraParams = Json{{"SDKPluginType", "Flutter"}, {"unrelated", 1}};
  QBNConfigurations named = network;
  named.userId = "user-1";
  struct Case {
    const char* name;
    std::function<void()> update;
    Json changed;  // entries added or changed by the update
  };
  const std::vector<Case> cases = {
      {"controller configuration keeps the relevant keys",
       [&] {
         tokens.updateTokenWithControllerConfigData(
             R"({"chinaCDN":true,"SDKPluginType":"Unity","applicationUserGender":"f","other":1})");
       },
       {{"chinaCDN", true}, {"SDKPluginType", "Unity"}, {"applicationUserGender", "f"}}},
      {"unparsable controller configuration", [&] { tokens.updateTokenWithControllerConfigData("{"); },
       Json::object()},
      {"controller configuration that is no object", [&] { tokens.updateTokenWithControllerConfigData("[1]"); },
       Json::object()},
      {"network configuration without a user id",
       [&] { tokens.updateTokenWithNetworkConfigData(&network); },
       {{"applicationKey", "key-1"}, {"SDKPluginType", "Flutter"}}},
      {"network configuration with a user id", [&] { tokens.updateTokenWithNetworkConfigData(&named); },
       {{"applicationUserId", "user-1"}}},
      {"no network configuration", [&] { tokens.updateTokenWithNetworkConfigData(nullptr); }, Json::object()},
      {"metadata", [&] { tokens.updateTokenWithMetadata(Json{{"consent", "yes"}}); },
       {{"metadata_consent", "yes"}}},
      {"consent given", [&] { tokens.updateTokenWithConsentData(Json{{"gdprConsentStatus", "true"}}); },
       {{"consent", true}}},
      {"consent compared case-sensitively",
       [&] { tokens.updateTokenWithConsentData(Json{{"gdprConsentStatus", "TRUE"}}); }, {{"consent", false}}},
      {"consent data without a status", [&] { tokens.updateTokenWithConsentData(Json{{"other", "true"}}); },
       Json::object()},
      {"page data replaces earlier values", [&] { tokens.updateTokenWithData(Json{{"SDKPluginType", "page"}}); },
       {{"SDKPluginType", "page"}}},
      {"debug parameters at every read",
       [&] { platform::UserDefaults::standard().setObject("SDK5DebugParams", Json{{"debugKey", 1}}); },
       {{"debugKey", 1}}},
  };
  for (const Case& c : cases) {
    const Json before = tokens.getRawToken();
    c.update();
    const Json after = tokens.getRawToken();
    Json changed = Json::object();
    for (const auto& [key, value] : after.items()) {
      if (!before.contains(key) || before[key] != value) changed[key] = value;
    }
    // Member order aside: a replaced value keeps its place.
    EXPECT_EQ(nlohmann::json::parse(changed.dump()), nlohmann::json::parse(c.changed.dump())) << c.name;
  }
}

TEST_F(TokenTest, EncodedTokenIsTheBase64OfOneFlatObject) {
  tokens.updateTokenWithMetadata(Json{{"k", "v"}});
  const auto encoded = tokens.token();
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->find('\n'), std::string::npos);
  auto text = platform::base64Decode(*encoded);
  ASSERT_TRUE(text.ok());
  auto decoded = platform::parseJson(text.value());
  ASSERT_TRUE(decoded.ok());
  ASSERT_TRUE(decoded.value().is_object());
  for (const auto& [key, value] : decoded.value().items()) {
    EXPECT_FALSE(value.is_object() || value.is_array()) << key;
  }
  EXPECT_EQ(decoded.value(), stored());
  EXPECT_EQ(tokens.encodedToken(), encoded);

  // A value JSON cannot carry: no token at all, and the reason in the log.
  setDevice([](platform::DeviceFacts& f) { f.outputVolume = std::nan(""); });
  EXPECT_EQ(tokens.token(), std::nullopt);
  EXPECT_EQ(tokens.getTokenAsString(), std::nullopt);
  EXPECT_TRUE(console.contains("QBNTokenService | getTokenAsString | Failed parse tokenData as JSON | error: "));
}

TEST_F(TokenTest, AFailureWhileGatheringPermanentFactsKeepsWhatCameBefore) {
  platform::DeviceFacts facts;
  facts.carrierName = "Carrier";
  platform::setAppInfo(Json{{"NSAppTransportSecurity", {{"NSAllowsArbitraryLoads", true}}}});
  const std::vector<std::string> grouped = {"deviceModel", "bundleId", "appOrientation", "deviceOEM",
                                            "deviceOs", "deviceOSVersion", "deviceApiLevel", "SDKVersion",
                                            "deviceScreenScale", "appVersion", "iphoneAppOnIpadDevice"};
  const std::vector<std::string> oneByOne = {"allowArbitraryLoads", "mobileCarrier", "omidVersion",
                                             "omidPartnerVersion", "bt"};
  std::set<size_t> keptCounts;
  platform::resetDeviceFactsForTesting();  // the provider answers, not a fixed set of facts
  for (int failFrom = 1; failFrom <= 8; ++failFrom) {
    PMAHelperMethods::resetPlatformStringForTesting();
    auto provider = std::make_shared<FailingFacts>(facts, failFrom);
    platform::setDeviceFactsProvider(provider);
    console.clear();
    tokens.resetForTesting();
    provider->failing = false;
    const Json token = stored();
    // Either nothing, or the grouped entries and then a prefix of the others.
    size_t kept = 0;
    if (!token.empty()) {
      for (const auto& key : grouped) EXPECT_TRUE(token.contains(key)) << key << " failing from " << failFrom;
      while (kept < oneByOne.size() && token.contains(oneByOne[kept])) ++kept;
      EXPECT_EQ(token.size(), grouped.size() + kept) << "failing from " << failFrom;
      kept += grouped.size();
    }
    keptCounts.insert(kept);
    if (kept < grouped.size() + oneByOne.size()) {
      EXPECT_TRUE(console.contains("QBNTokenService | updateTokenWithPermanentData | exception: facts unavailable"));
    }
  }
  EXPECT_TRUE(keptCounts.count(0));
  EXPECT_TRUE(keptCounts.count(grouped.size() + 1));  // stopped at the carrier, after allowArbitraryLoads
  EXPECT_TRUE(keptCounts.count(grouped.size() + oneByOne.size()));
}

TEST_F(TokenTest, ConcurrentMergesAndReadsSeeWholeValues) {
  PMEReachabilityManager::sharedManager();
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int writer = 0; writer < 2; ++writer) {
    threads.emplace_back([this, writer] {
      for (int i = 0; i < kRounds; ++i) {
        tokens.updateTokenWithData(Json{{"writer" + std::to_string(writer), i}, {"shared", i}});
      }
    });
  }
  std::atomic<int> badReads{0};
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([this, reader, &badReads] {
      for (int i = 0; i < kRounds / 2; ++i) {
        if (reader == 0) {
          if (!tokens.getRawToken().is_object()) ++badReads;
        } else if (!tokens.token()) {
          ++badReads;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(badReads.load(), 0);
  const Json token = tokens.getRawToken();
  EXPECT_EQ(token["writer0"], kRounds - 1);
  EXPECT_EQ(token["writer1"], kRounds - 1);
}

TEST_F(TokenTest, GlobalDataWriterKeepsTheOwnNetworksValues) {
  QBNNetworkGlobalDataWriter writer;
  auto value = [](const char* key) { return QBGlobalDataManager::sharedInstance().valueForKey(key); };
  struct Case {
    const char* name;
    std::function<void()> write;
    const char* key;
    std::optional<Json> stored;
  };
  const std::vector<Case> cases = {
      {"no orientation source", [&] { writer.setAppOrientation(24); }, "apor", Json("unknown")},
      {"a named mask",
       [&] {
         QBNAppOrientationSource::registerSource(std::make_shared<FixedOrientation>(0));
         writer.setAppOrientation(6);
       },
       "apor", Json("portrait")},
      {"a mask without a name", [&] { writer.setAppOrientation(99); }, "apor", Json("")},
      {"unparsable controller configuration", [&] { writer.setDataFromControllerConfig("{"); }, "cncdn",
       std::nullopt},
      {"controller configuration without the CDN flag", [&] { writer.setDataFromControllerConfig(R"({"a":1})"); },
       "cncdn", std::nullopt},
      {"the CDN flag", [&] { writer.setDataFromControllerConfig(R"({"chinaCDN":1,"x":2})"); }, "cncdn", Json(1)},
      {"empty debug parameters",
       [&] {
         platform::UserDefaults::standard().setObject("SDK5DebugParams", Json::object());
         writer.setDebugParams();
       },
       "debug", std::nullopt},
      {"debug parameters",
       [&] {
         platform::UserDefaults::standard().setObject("SDK5DebugParams", Json{{"a", 1}});
         writer.setDebugParams();
       },
       "debug", Json{{"a", 1}}},
      {"page token data extends what is there",
       [&] {
         writer.extendTokenDataWithJsData(Json{{"a", 1}, {"b", 1}});
         writer.extendTokenDataWithJsData(Json{{"b", 2}});
       },
       "ctgp", Json{{"a", 1}, {"b", 2}}},
  };
  for (const Case& c : cases) {
    c.write();
    EXPECT_EQ(value(c.key), c.stored) << c.name;
  }
}

}  // namespace
