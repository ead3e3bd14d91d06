// The own network's entry (QuillborneNetwork) against the sandbox's controller
// page in a real web view, and the device-status report.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/api/QuillborneNetworkAPIValidator.h"
#include "ownnetwork/publisher/QBNDeviceStatusReport.h"
#include "ownnetwork/publisher_test_support.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "foundation/QBUtils.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "support/sandbox_own_events.h"

namespace {

using platform::Json;
using qbtest::PublisherTest;
using Error = std::optional<platform::Error>;

class NetworkApiTest : public PublisherTest {
 protected:
  NetworkApiTest() {
    QuillborneNetwork::resetForTesting();
    QBNEventsTracker::sharedTracker().resetForTesting();
  }
  ~NetworkApiTest() override {
    QuillborneNetwork::resetForTesting();
    QBNEventsTracker::sharedTracker().resetForTesting();
    QBNFeaturesManager::sharedManager().resetForTesting();
    platform::setAppInfo(Json{{"CFBundleIdentifier", platform::kDefaultBundleIdentifier}});
  }

  std::shared_ptr<QBNConfigurations> configurations() {
    auto c = std::make_shared<QBNConfigurations>();
    c->applicationKey = "appkey1";
    c->userId = "user1";
    c->controllerURL = server.url(qbtest::kControllerPagePath);
    c->controllerConfig = Json{{"webviewType", "wk"},
                               {"networkConfig",
                                {{"events",
                                  {{"endpoint", server.url(qbtest::kOwnEventsPath)},
                                   {"enabled", true},
                                   {"httpMethod", "POST"}}}}}};
    c->extraParams = Json{{"sessionid", "sess-1"}};
    return c;
  }

  // Initialises through the entry and waits for the completion.
  Error init(std::shared_ptr<QBNConfigurations> c, const Json& behaviour = Json::object()) {
    qbtest::addControllerPage(server, behaviour);
    std::optional<Error> heard;
    QuillborneNetwork::initSDKWithNetworkConfigurations(c, [&heard](const Error& e) {
      EXPECT_TRUE(platform::isMainThread());
      EXPECT_FALSE(heard.has_value()) << "completion called twice";
      heard = e;
    });
    EXPECT_TRUE(env.runUntil([&] { return heard.has_value(); }));
    env.runUntilIdle();
    publisher = PlovermarkAdsPublisher::sharedInstance();
    return heard.value_or(Error(platform::Error{"test", -1, "never called"}));
  }

  bool pageHas(const std::string& name) {
    const auto names = pageReceived();
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  std::vector<int64_t> eventIds() {
    std::vector<int64_t> ids;
    for (const auto& e : qbtest::ownNetworkEventsReceived(server)) ids.push_back(e.value("eventid", int64_t{0}));
    return ids;
  }
};

TEST_F(NetworkApiTest, IncompleteConfigurationsAnswer103AtOnceAndCreateNothing) {
  const auto full = configurations();
  std::vector<std::shared_ptr<QBNConfigurations>> cases{nullptr};
  for (int missing = 0; missing < 3; ++missing) {
    auto c = std::make_shared<QBNConfigurations>(*full);
    if (missing == 0) c->applicationKey.reset();
    if (missing == 1) c->controllerURL.reset();
    if (missing == 2) c->controllerConfig.reset();
    cases.push_back(c);
  }
  for (const auto& c : cases) {
    Error heard;
    bool called = false;
    QuillborneNetwork::initSDKWithNetworkConfigurations(c, [&](const Error& e) {
      called = true;
      heard = e;
    });
    ASSERT_TRUE(called);  // synchronously
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->code, 103);
    EXPECT_EQ(heard->domain, "com.quilbrn.erros");
    EXPECT_EQ(heard->message, "Missing required network configuration");
  }
  env.runUntilIdle();
  EXPECT_FALSE(PlovermarkAdsPublisher::isInitialized());
  EXPECT_TRUE(server.requestsTo(qbtest::kOwnEventsPath).empty());
}

TEST_F(NetworkApiTest, LoadBeforeInitTellsTheListener101OnMainAndLogs2005Then2006) {
  // A sender as an earlier session would have left it.
  auto c = configurations();
  auto events = QBNFeaturesManager::buildEventsConfigurationFromNetworkConfiguration(c.get());
  events->formatter = std::make_shared<QBNEventsFormatter>();
  ASSERT_TRUE(QBNEventsTracker::sharedTracker().init(events, std::make_shared<QBNEventsBaseData>(c.get())).ok());

  auto listener = std::make_shared<handlertest::RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("rv1", listener).setRewarded(true).build();
  QuillborneNetwork::loadAdWithAdInstance(instance, Json{{"isOneFlow", true}});
  QuillborneNetwork::showAdWithAdInstance(instance, nullptr);
  QuillborneNetwork::loadAdWithAdInstance(nullptr);  // 101 wins over 102
  ASSERT_TRUE(env.runUntil([&] { return listener->lines.size() >= 2 && eventIds().size() >= 4; }));
  env.runUntilIdle();
  EXPECT_EQ(listener->lines, (std::vector<std::string>{"failedToLoad Call initSDK first null",
                                                       "failedToShow Call initSDK first null"}));
  EXPECT_EQ(listener->onMain, (std::vector<bool>{true, true}));
  // The uploads may arrive in any order; the events carry their data.
  std::vector<Json> loads, failures;
  for (const auto& e : qbtest::ownNetworkEventsReceived(server)) {
    (e.value("eventid", 0) == 2005 ? loads : failures).push_back(e);
  }
  ASSERT_EQ(loads.size(), 2u);
  ASSERT_EQ(failures.size(), 2u);
  const auto decoded = [](const Json& e, const char* key) {
    return QBUtils::percentDecode(e.value(key, "")).value_or("?");
  };
  for (const auto& e : failures) {
    EXPECT_EQ(e.value("eventid", 0), 2006);
    EXPECT_EQ(decoded(e, "callfailreason"), "Call initSDK first");
    EXPECT_EQ(decoded(e, "generalmessage"), "uninitialized instance");
  }
  const auto& rewarded = loads[0].value("demandsourcename", "") == "rv1" ? loads[0] : loads[1];
  EXPECT_EQ(rewarded.value("producttype", ""), "RewardedVideo");
  EXPECT_EQ(rewarded.value("isoneflow", false), true);
  EXPECT_FALSE(QuillborneNetwork::isAdAvailableForAdInstance(instance));
}

TEST_F(NetworkApiTest, InitReachesThePageAndConsentGivenBeforeFollows) {
  QuillborneNetwork::updateConsentInfo(Json{{"gdprConsentStatus", "true"}});
  ASSERT_FALSE(init(configurations()));
  EXPECT_EQ(publisher->getApplicationKey(), "appkey1");
  EXPECT_EQ(QuillborneNetwork::sdkInstance(), publisher);
  ASSERT_TRUE(env.runUntil([&] { return pageHas("updateConsentInfo"); }));
  EXPECT_EQ(QBNTokenService::sharedService().getRawToken().value("consent", false), true);
  // Each event is an upload of its own, so the init's event (2001) and the
  // controller page's creation (2002) may reach the server in either order.
  ASSERT_TRUE(env.runUntil([&] {
    const auto ids = eventIds();
    return std::find(ids.begin(), ids.end(), 2001) != ids.end();
  }));

  // With the publisher there, an unknown instance is 102.
  Error error;
  QuillborneNetworkAPIValidator::validateAPIWithSDKInstance(publisher, nullptr, error);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, 102);
  // The page's start ends here, not in the next test: its "ready" event
  // would go to that test's events.
  ASSERT_TRUE(env.runUntil([&] {
    const auto ids = eventIds();
    return std::find(ids.begin(), ids.end(), 2004) != ids.end();
  }));
}

// A second init, and an init after the offerwall made the publisher, hear
// how the controller's start ended; only missing session values are filled.
TEST_F(NetworkApiTest, LaterInitsHearTheOutcomeAndFillOnlyMissingValues) {
  for (const bool offerwallFirst : {false, true}) {
    SCOPED_TRACE(offerwallFirst);
    QuillborneNetwork::resetForTesting();
    PlovermarkAdsPublisher::resetForTesting();
    QBNEventsTracker::sharedTracker().resetForTesting();
    if (offerwallFirst) {
      qbtest::addControllerPage(server);
      PlovermarkAdsPublisher::setControllerURL(server.url(qbtest::kControllerPagePath));
      QuillborneNetwork::initOfferWallWithApplicationKey(std::nullopt, std::nullopt, {}, std::nullopt);
    } else {
      ASSERT_FALSE(init(configurations()));
    }
    auto second = configurations();
    second->applicationKey = "appkey2";
    second->userId = "user2";
    const auto secondError = init(second);
    EXPECT_FALSE(secondError) << secondError->message;
    EXPECT_EQ(publisher->getApplicationKey(), offerwallFirst ? "appkey2" : "appkey1");
    EXPECT_EQ(publisher->getUserId(), offerwallFirst ? "user2" : "user1");
    EXPECT_NE(QBNEventsTracker::sharedTracker().tracker(), nullptr);
    EXPECT_EQ(QuillborneNetwork::sdkInstance(), publisher);
    publisher.reset();
  }
}

TEST_F(NetworkApiTest, TokenReadFromAnotherThreadEqualsTheMainRead) {
  QuillborneNetwork::updateMetadata(Json{{"do_not_sell", "true"}});
  env.runUntilIdle();
  std::atomic<bool> done{false};
  std::optional<Json> fromThread;
  std::optional<std::string> encodedFromThread;
  std::thread reader([&] {
    fromThread = QuillborneNetwork::getRawToken();
    encodedFromThread = QuillborneNetwork::getToken();
    done = true;
    platform::mainQueue()->async([] {});  // wakes the pump
  });
  ASSERT_TRUE(env.runUntil([&] { return done.load(); }));
  reader.join();
  const auto onMain = QuillborneNetwork::getRawToken();
  ASSERT_TRUE(fromThread && onMain);
  EXPECT_EQ(fromThread->value("metadata_do_not_sell", ""), "true");
  // The mutable entries are read at each call; the rest is the same.
  for (const char* key : {"localTime", "ut", "uts", "deviceVolume", "diskFreeSize"}) {
    fromThread->erase(key);
    const_cast<Json&>(*onMain).erase(key);
  }
  EXPECT_EQ(*fromThread, *onMain);
  EXPECT_TRUE(encodedFromThread && !encodedFromThread->empty());
}

// ------------------------------------------------------------------ device status

TEST_F(NetworkApiTest, DeviceStatusKeysWithAndWithoutTheOptionalOnes) {
  const std::vector<std::string> always{
      "deviceOEM", "deviceModel", "deviceOs", "deviceOSVersion", "connectionType", "deviceLanguage",
      "orientationRestriction", "appOrientation", "deviceScreenSize[width]", "deviceScreenSize[height]",
      "deviceScreenScale", "iphoneAppOnIpadDevice", "diskFreeSize", "unLocked", "deviceVolume", "batteryLevel",
      "mcc", "mnc", "icc", "safeAreaInsets", "userInterfaceStyle", "screenBrightness", "appVersion"};
  const std::vector<std::string> optional{"xCodeVersion", "xCodeBuildVersion", "xCodeSdkName", "xCodeSdkBuild",
                                          "allowArbitraryLoads", "allowArbitraryLoadsInWebContent", "att"};
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full);
    platform::DeviceFacts facts;
    facts.language = "de-DE";
    if (full) {
      facts.mobileCountryCode = "262";
      facts.mobileNetworkCode = "01";
      facts.isoCountryCode = "de";
      facts.trackingAuthorizationStatus = 3u;
      platform::setAppInfo(Json{{"DTXcode", "1500"}, {"DTXcodeBuild", "15A"}, {"DTSDKName", "iphoneos17.0"},
                                {"DTSDKBuild", "21A"}, {"CFBundleVersion", "42"},
                                {"NSAppTransportSecurity",
                                 {{"NSAllowsArbitraryLoads", true}, {"NSAllowsArbitraryLoadsInWebContent", false}}}});
      QBNFeaturesManager::sharedManager().updateSupplyConfigurations(Json{{"attReflection", true}});
    } else {
      facts.carrierName.reset();
      facts.mobileCountryCode.reset();
      facts.mobileNetworkCode.reset();
      facts.isoCountryCode.reset();
      platform::setAppInfo(Json::object());
      QBNFeaturesManager::sharedManager().updateSupplyConfigurations(Json{{"attReflection", false}});
    }
    setDevice([&](platform::DeviceFacts& f) { f = facts; });
    const Json report = QBNDeviceStatusReport::build(true);
    for (const auto& key : always) EXPECT_TRUE(report.contains(key)) << key;
    for (const auto& key : optional) EXPECT_EQ(report.contains(key), full) << key;
    EXPECT_EQ(report["deviceLanguage"], "DE-DE");
    EXPECT_TRUE(report["deviceScreenScale"].is_number_float());
    EXPECT_TRUE(report["diskFreeSize"].is_number_unsigned());
    EXPECT_TRUE(report["safeAreaInsets"].is_object());
    EXPECT_EQ(report["mcc"], full ? "262" : "0");
    EXPECT_EQ(report["icc"], full ? "de" : "0");
    EXPECT_EQ(report["appVersion"], full ? "42" : "");
    if (full) {
      EXPECT_EQ(report["allowArbitraryLoadsInWebContent"], false);
      EXPECT_EQ(report["att"], 3);
    }
  }
}

TEST_F(NetworkApiTest, GetDeviceStatusAnswersThePageOnceInstalled) {
  start();
  publisher->handlePlovermarkCallbackWithCommand("getDeviceStatus", "success=onStatus&fail=noStatus", std::nullopt);
  env.runUntilIdle();
  const size_t before = lines().size();
  QBNDeviceStatusReport::install();
  publisher->handlePlovermarkCallbackWithCommand("getDeviceStatus", "success=onStatus&fail=noStatus", std::nullopt);
  env.runUntilIdle();
  ASSERT_GT(lines().size(), before);
  EXPECT_NE(lines().back().find("onStatus"), std::string::npos) << lines().back();
  EXPECT_NE(lines().back().find("deviceScreenScale"), std::string::npos) << lines().back();
  PlovermarkAdsPublisher::setDeviceStatusHandler(nullptr);
}

}  // namespace
