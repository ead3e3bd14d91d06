#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>

#include "foundation/PMEReachability.h"
#include "foundation/QBGlobalDataManager.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/crypto.h"
#include "platform/ui/application.h"

namespace {

using platform::Json;

// Names 24 "landscape" and 6 "portrait", nothing else.
class FixedOrientation : public QBNAppOrientationSourceP {
 public:
  explicit FixedOrientation(uint64_t mask) : mask_(mask) {}
  uint64_t appOrientation() const override { return mask_; }
  std::optional<std::string> controllerStringForOrientation(uint64_t mask) const override {
    if (mask == 24 || mask == 6) return mask == 24 ? "landscape" : "portrait";
    return std::nullopt;
  }

 private:
  uint64_t mask_;
};

// Device facts that fail from the n-th read on, while `failing`.
class FailingFacts : public platform::DeviceFactsProvider {
 public:
  explicit FailingFacts(int failFrom) : failFrom_(failFrom) { facts_.carrierName = "Carrier"; }
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
    reset();
    PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
    setDevice([](platform::DeviceFacts&) {});  // fixed facts: the real disk's free space moves
    // The service is shared: another group's test may have left entries in it
    // (the publisher's consent, say).
    tokens.resetForTesting();
  }
  ~TokenTest() override {
    platform::setDeviceFactsProvider(nullptr);
    platform::setAppInfo(savedAppInfo_);
    reset();
    tokens.resetForTesting();
  }
  static void reset() {
    PMEReachabilityManager::resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBNAppOrientationSourceP::registerSharedInstance(nullptr);
    platform::Screen::main().resetForTesting();
  }
  // Each expected member has its value in the token.
  static void expectEntries(const Json& token, const char* expected) {
    const Json entries = Json::parse(expected);
    for (const auto& [key, value] : entries.items()) EXPECT_EQ(token.value(key, Json()), value) << key;
  }
  Json stored() { return platform::parseJson(*tokens.getTokenAsString()).value(); }

  QBNTokenService& tokens = QBNTokenService::sharedService();

 private:
  Json savedAppInfo_;
};

TEST_F(TokenTest, PermanentEntriesAreGatheredOnceFromTheDeviceAndTheApplication) {
  setDevice([](platform::DeviceFacts& f) {
    f.hardwareModel = "iPad8,1";
    f.osVersion = "16.4.1";
    f.carrierName = "Carrier";
  });
  platform::setAppInfo(Json::parse(R"({"CFBundleIdentifier":"com.test.app","CFBundleVersion":"42",
      "NSAppTransportSecurity":{"NSAllowsArbitraryLoads":false,"NSAllowsArbitraryLoadsInWebContent":0}})"));
  platform::Screen::main().setScale(2);
  QBNAppOrientationSourceP::registerSharedInstance(std::make_shared<FixedOrientation>(24));
  env.setBootTimeMs(123456);
  tokens.resetForTesting();
  expectEntries(tokens.getRawToken(), R"({"deviceModel":"iPad8,1","bundleId":"com.test.app",
      "appOrientation":"landscape","deviceOEM":"Apple","deviceOs":"ios","deviceOSVersion":"16.4.1",
      "deviceApiLevel":"16","SDKVersion":"7.3.1","deviceScreenScale":"2","appVersion":"42",
      "iphoneAppOnIpadDevice":1,"allowArbitraryLoads":true,"allowArbitraryLoadsInWebContent":true,
      "mobileCarrier":"Carrier","omidVersion":"1.4.2-Quilbrn","omidPartnerVersion":"7","bt":"123456"})");

  // Without the optional facts, and with nothing registered for the orientation.
  setDevice([](platform::DeviceFacts& f) { f.osVersion = "17"; });
  platform::setAppInfo(Json{{"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "42"}});
  QBNAppOrientationSourceP::registerSharedInstance(nullptr);
  env.setBootTimeMs(std::nullopt);
  tokens.resetForTesting();
  const Json token = tokens.getRawToken();
  expectEntries(token, R"({"deviceModel":"iPhone15,2","appOrientation":"unknown","deviceApiLevel":"17",
      "appVersion":"2.1","iphoneAppOnIpadDevice":0,"bt":""})");
  for (const char* key : {"allowArbitraryLoads", "allowArbitraryLoadsInWebContent", "mobileCarrier"}) {
    EXPECT_FALSE(token.contains(key)) << key;
  }
}

TEST_F(TokenTest, MutableEntriesAreReadAgainAtEveryRead) {
  setDevice([](platform::DeviceFacts& f) {
    f.mobileCountryCode = "310", f.mobileNetworkCode = "05", f.isoCountryCode = "us";
    f.timeZoneId = "Europe/Berlin", f.timeZoneOffsetSeconds = 7200, f.language = "de";
    f.outputVolume = 0.25, f.advertisingId = "ifa-1", f.isAdvertisingTrackingEnabled = true;
    f.vendorId = "idfv-1", f.trackingAuthorizationStatus = 3, f.isLowPowerMode = true;
    f.freeDiskBytes = 2ull << 30, f.radioAccessTechnology = "LTE";
  });
  platform::Screen::main().setBounds(platform::Rect::make(0, 0, 320, 568.5));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(Json{{"cellularNetworkType", false}});
  const Json first = tokens.getRawToken();
  const int64_t now = platform::nowWallMs();
  expectEntries(first, R"({"connectionType":"3G","isLimitAdTrackingEnabled":false,"deviceLanguage":"DE",
      "deviceVolume":0.25,"diskFreeSize":"2048","displaySizeWidth":"320","displaySizeHeight":"568.5",
      "timezoneOffset":"-120","mcc":310,"mnc":5,"icc":"us","deviceIds[IFA]":"ifa-1","lpm":true,
      "tz":"Europe/Berlin","cellularNetworkType":"LTE","deviceIds[IDFV]":"idfv-1","att":3})");
  EXPECT_EQ(first["localTime"], std::to_string(now));
  EXPECT_EQ(first["ut"], std::to_string(platform::clock().uptimeMs()));

  // A second later: time and uptimes move, permanent facts stay.
  setDevice([](platform::DeviceFacts& f) { f.hardwareModel = "iPhone99,9", f.mobileCountryCode = "n/a"; });
  env.advance(1000);
  const Json second = tokens.getRawToken();
  EXPECT_EQ(second["localTime"], std::to_string(now + 1000));
  EXPECT_EQ(second["ut"], std::to_string(std::stoll(first["ut"].get<std::string>()) + 1000));
  EXPECT_EQ(second["uts"], std::to_string(std::stoll(first["uts"].get<std::string>()) + 1000));
  EXPECT_EQ(second["deviceModel"], first["deviceModel"]);
  EXPECT_EQ(second["mcc"], 0);  // no number in the text

  env.advance((int64_t{1} << 32) - platform::clock().uptimeMs());  // low 32 bits 0: ""
  EXPECT_EQ(tokens.getRawToken()["ut"], "");
}

TEST_F(TokenTest, ConfigurationMetadataConsentAndPageEntries) {
  QBNConfigurations network;
  network.applicationKey = "key-1";
  network.userId = "";
  network.extraParams = Json{{"SDKPluginType", "Flutter"}, {"unrelated", 1}};
  QBNConfigurations named = network;
  named.userId = "user-1";
  struct Case {
    std::function<void()> update;
    const char* changed;  // the entries the update adds or changes
  };
  const std::vector<Case> cases = {
      {[&] { tokens.updateTokenWithControllerConfigData(R"({"chinaCDN":true,"SDKPluginType":"Unity",
           "applicationUserGender":"f","other":1})"); },
       R"({"chinaCDN":true,"SDKPluginType":"Unity","applicationUserGender":"f"})"},
      {[&] { tokens.updateTokenWithControllerConfigData("{"); }, "{}"},
      {[&] { tokens.updateTokenWithControllerConfigData("[1]"); }, "{}"},
      {[&] { tokens.updateTokenWithNetworkConfigData(&network); },
       R"({"applicationKey":"key-1","SDKPluginType":"Flutter"})"},
      {[&] { tokens.updateTokenWithNetworkConfigData(&named); }, R"({"applicationUserId":"user-1"})"},
      {[&] { tokens.updateTokenWithMetadata(Json{{"consent", "yes"}}); }, R"({"metadata_consent":"yes"})"},
      {[&] { tokens.updateTokenWithConsentData(Json{{"gdprConsentStatus", "true"}}); }, R"({"consent":true})"},
      {[&] { tokens.updateTokenWithConsentData(Json{{"gdprConsentStatus", "TRUE"}}); }, R"({"consent":false})"},
      {[&] { tokens.updateTokenWithConsentData(Json{{"other", "true"}}); }, "{}"},
      {[&] { tokens.updateTokenWithData(Json{{"SDKPluginType", "page"}}); }, R"({"SDKPluginType":"page"})"},
      {[&] { platform::UserDefaults::standard().setObject("SDK5DebugParams", Json{{"debugKey", 1}}); },
       R"({"debugKey":1})"},
  };
  for (const Case& c : cases) {
    const Json before = tokens.getRawToken();
    c.update();
    nlohmann::json changed = nlohmann::json::object();  // unordered: a replaced value keeps its place
    const Json after = tokens.getRawToken();
    for (const auto& [key, value] : after.items()) {
      if (before.value(key, Json()) != value) changed[key] = nlohmann::json::parse(value.dump());
    }
    EXPECT_EQ(changed, nlohmann::json::parse(c.changed)) << c.changed;
  }
}

TEST_F(TokenTest, EncodedTokenIsTheBase64OfOneFlatObject) {
  const auto encoded = tokens.token();
  ASSERT_TRUE(encoded);
  auto decoded = platform::parseJson(platform::base64Decode(*encoded).valueOr("?"));
  ASSERT_TRUE(decoded.ok());
  ASSERT_TRUE(decoded.value().is_object());
  for (const auto& [key, value] : decoded.value().items()) EXPECT_FALSE(value.is_structured()) << key;
  EXPECT_EQ(decoded.value(), stored());
  EXPECT_EQ(tokens.encodedToken(), encoded);

  // A value JSON cannot carry: no token at all, and the reason in the log.
  setDevice([](platform::DeviceFacts& f) { f.outputVolume = std::nan(""); });
  EXPECT_EQ(tokens.token(), std::nullopt);
  EXPECT_TRUE(console.contains("QBNTokenService | getTokenAsString | Failed parse tokenData as JSON | error: "));
}

TEST_F(TokenTest, AFailureWhileGatheringPermanentFactsKeepsWhatCameBefore) {
  platform::setAppInfo(Json{{"NSAppTransportSecurity", {{"NSAllowsArbitraryLoads", true}}}});
  const size_t grouped = 11;  // merged together, through "iphoneAppOnIpadDevice"
  const std::vector<std::string> oneByOne = {"allowArbitraryLoads", "mobileCarrier", "omidVersion",
                                             "omidPartnerVersion", "bt"};
  std::set<size_t> keptCounts;
  platform::resetDeviceFactsForTesting();  // the provider answers
  for (int failFrom = 1; failFrom <= 8; ++failFrom) {
    PMAHelperMethods::resetPlatformStringForTesting();
    auto provider = std::make_shared<FailingFacts>(failFrom);
    platform::setDeviceFactsProvider(provider);
    console.clear();
    tokens.resetForTesting();
    provider->failing = false;
    const Json token = stored();
    // Nothing, or the grouped entries and then a prefix of the others.
    size_t prefix = 0;
    while (prefix < oneByOne.size() && token.contains(oneByOne[prefix])) ++prefix;
    const size_t kept = token.empty() ? 0 : grouped + prefix;
    EXPECT_EQ(token.size(), kept) << "failing from read " << failFrom;
    keptCounts.insert(kept);
    EXPECT_EQ(console.contains("QBNTokenService | updateTokenWithPermanentData | exception: facts unavailable"),
              kept < grouped + oneByOne.size());
  }
  EXPECT_EQ(keptCounts, (std::set<size_t>{0, grouped + 1, grouped + oneByOne.size()}));  // + 1: stopped at the carrier
}

TEST_F(TokenTest, ConcurrentMergesAndReadsSeeWholeValues) {
  PMEReachabilityManager::sharedManager();
  constexpr int kRounds = 200;
  std::atomic<int> badReads{0};
  std::vector<std::thread> threads;
  for (int n = 0; n < 4; ++n) {
    threads.emplace_back([this, n, &badReads] {
      for (int i = 0; i < kRounds; ++i) {
        if (n < 2) {
          tokens.updateTokenWithData(Json{{"writer" + std::to_string(n), i}, {"shared", i}});
        } else if (n == 2 ? !tokens.getRawToken().is_object() : !tokens.token()) {
          ++badReads;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(badReads.load(), 0);
  expectEntries(tokens.getRawToken(), R"({"writer0":199,"writer1":199})");
}

TEST_F(TokenTest, GlobalDataWriterKeepsTheOwnNetworksValues) {
  QBNNetworkGlobalDataWriter writer;
  auto value = [](const char* key) { return QBGlobalDataManager::sharedInstance().valueForKey(key); };
  writer.setAppOrientation(24);
  EXPECT_EQ(value("apor"), Json("unknown")) << "no orientation source";
  QBNAppOrientationSourceP::registerSharedInstance(std::make_shared<FixedOrientation>(0));
  writer.setAppOrientation(99);
  EXPECT_EQ(value("apor"), Json("")) << "a mask without a name";

  for (const char* unusable : {"{", R"({"a":1})"}) writer.setDataFromControllerConfig(unusable);
  EXPECT_EQ(value("cncdn"), std::nullopt);
  writer.setDataFromControllerConfig(R"({"chinaCDN":1,"x":2})");
  EXPECT_EQ(value("cncdn"), Json(1));

  platform::UserDefaults::standard().setObject("SDK5DebugParams", Json::object());
  writer.setDebugParams();
  EXPECT_EQ(value("debug"), std::nullopt);
  platform::UserDefaults::standard().setObject("SDK5DebugParams", Json{{"a", 1}});
  writer.setDebugParams();
  EXPECT_EQ(value("debug"), (Json{{"a", 1}}));

  writer.extendTokenDataWithJsData(Json{{"a", 1}, {"b", 1}});
  writer.extendTokenDataWithJsData(Json{{"b", 2}});
  EXPECT_EQ(value("ctgp"), (Json{{"a", 1}, {"b", 2}}));
}

}  // namespace
