// The page's URLs and the command table, without a page.
#include <gtest/gtest.h>

#include <set>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/publisher/PMAPageURL.h"
#include "ownnetwork/publisher/QBNCommandTable.h"
#include "ownnetwork/publisher_test_support.h"

namespace {

struct UrlCase {
  const char* text;
  const char* scheme;
  const char* host;
  const char* path;
  const char* query;
};

TEST(PMAPageURLTest, KeepsEveryPartAsWritten) {
  const UrlCase cases[] = {
      {"plovermarkads://initController?stage=ready&x=%20", "plovermarkads", "initController", "", "stage=ready&x=%20"},
      {"plovermarkads://getDeviceStatus", "plovermarkads", "getDeviceStatus", "", ""},
      {"PloverMarkAds://Cmd?a=b", "PloverMarkAds", "Cmd", "", "a=b"},
      {"tel:+12", "tel", "", "+12", ""},
      {"TEL:+4930", "TEL", "", "+4930", ""},
      {"mailto:a@b.c?subject=Hi", "mailto", "", "a@b.c", "subject=Hi"},
      {"logmessage:?message=hello%20page", "logmessage", "", "", "message=hello%20page"},
      {"safarihttps://x.com/a?u=https://y.com", "safarihttps", "x.com", "/a", "u=https://y.com"},
      {"file:///data/My%20Caches/mobileController.html?SDKVersion=7.3.1#top", "file", "", "/data/My%20Caches/mobileController.html",
       "SDKVersion=7.3.1"},
      {"https://user@Host.example:8080/p/q?", "https", "Host.example", "/p/q", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto url = PMAPageURL::parse(c.text);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString, c.text);
    EXPECT_EQ(url->scheme, c.scheme);
    EXPECT_EQ(url->host, c.host);
    EXPECT_EQ(url->path, c.path);
    EXPECT_EQ(url->query, c.query);
  }
  EXPECT_EQ(PMAPageURL::parse("file:///a/My%20C/x.html")->decodedPath(), "/a/My C/x.html");
  EXPECT_EQ(PMAPageURL::parse("tel:%2B1")->path, "%2B1");
  EXPECT_FALSE(PMAPageURL::parse("file:///a/100%/x"));
}

TEST(PMAPageURLTest, RefusesWhatIsNoAbsoluteURL) {
  for (const char* text : {"", "page.html", "/a/b", "plovermarkads://cmd?a=b c", "has space:x", "plovermarkads://c?a={}",
                           "://x"}) {
    EXPECT_FALSE(PMAPageURL::parse(text)) << text;
  }
  EXPECT_FALSE(PMAPageURL::parse(std::string("tel:+1\0", 7)));
}

// ------------------------------------------------------------------ command table

// Every name of the page's protocol, in the order the table tests them; the
// exact ones match only themselves, the others also the longer names they begin.
const std::vector<std::string> kNames = {
    "initController", "getUserData", "setUserData", "getOrientation", "getAppOrientationData",
    "setWebviewBackgroundColor", "setUserUniqueId", "getUserUniqueId", "getControllerConfig", "setOrientation",
    "setAppOrientation", "navigationModeChange", "controlSecondaryWebView", "preLoadAppPage", "clearAppPage",
    "openUrl", "setForceClose", "initRewardedVideo", "initInterstitial", "loadInterstitial", "initOfferWall",
    "showOfferWall", "initBanner", "loadBanner", "getDeviceStatus", "getApplicationInfo", "getUserCredits",
    "displayWebView", "showRewardedVideo", "showInterstitial", "saveFile", "deleteFolder", "deleteFile",
    "getCachedFilesMap", "adUnitsReady", "callPlovermarkAdsFunction", "adCredited", "onAdWindowsClosed",
    "setWebViewHidden", "adClicked", "adLeaveApplication", "sendHttpRequest", "checkInstalledApps",
    "hybridChangeRatio", "postAdEventNotification", "omidAPI", "getDeviceVolume", "setAllowFileAccessFromFileURLs",
    "getDemandSourceState", "ringerSwitchAPI", "setNativeConfiguration", "bannerViewAPI", "iabTokenAPI",
    "deviceDataAPI", "adViewAPI", "SKAdImpressionAPI", "SKOverlayAPI", "fileSystemAPI", "audioSessionAPI"};
const std::set<std::string> kExact = {"initController", "getControllerConfig", "iabTokenAPI", "deviceDataAPI",
                                      "SKOverlayAPI"};
constexpr size_t kAdImpressionRow = 55;  // present only with its handler

TEST(QBNCommandTableTest, EveryNameReachesItsRowAndLongerNamesOnlyPrefixRows) {
  const auto& table = QBNCommandTable();
  ASSERT_EQ(table.size(), 59u);
  ASSERT_EQ(kNames.size(), 59u);
  for (size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(kNames[i]);
    const bool exact = kExact.count(kNames[i]) > 0;
    EXPECT_EQ(table[i].name, kNames[i]);
    EXPECT_EQ(table[i].exact, exact);
    const std::optional<size_t> expected = i == kAdImpressionRow ? std::nullopt : std::optional<size_t>(i);
    EXPECT_EQ(QBNMatchCommandRow(kNames[i], nullptr), expected);
    EXPECT_EQ(QBNMatchCommandRow(kNames[i] + "Extra", nullptr), exact ? std::nullopt : expected);
  }
  for (const char* dropped : {"", "unknown", "initControllers", "getControllerConfigX", "iabTokenAPIv2", "initcontroller"}) {
    EXPECT_EQ(QBNMatchCommandRow(dropped, nullptr), std::nullopt) << dropped;
  }
}

TEST(QBNCommandTableTest, NoEarlierPrefixRowShadowsALaterName) {
  const auto& table = QBNCommandTable();
  std::set<std::string> names;
  for (size_t later = 0; later < table.size(); ++later) {
    EXPECT_TRUE(names.insert(table[later].name).second) << "duplicate " << table[later].name;
    for (size_t earlier = 0; earlier < later; ++earlier) {
      if (table[earlier].exact) continue;
      EXPECT_NE(std::string(table[later].name).rfind(table[earlier].name, 0), 0u)
          << table[earlier].name << " takes " << table[later].name;
    }
  }
}

// The rows of the secondary web view and the hybrid ad reach the handlers
// the publisher made through the registered factories (no page: the
// publisher is made for an unsupported OS, with the same handlers).
class PublisherRoutesTest : public qbtest::PublisherTest {
 protected:
  PublisherRoutesTest() {
    QBNScriptHandlerFactories::update([this](QBNScriptHandlerFactories& f) {
      f.secondaryWebViewHandler = [this](std::weak_ptr<QBNPublisherAgent>) { return scripts; };
      f.hybridAdPresenter = [this](std::weak_ptr<QBNPublisherAgent>) { return scripts; };
    });
    PlovermarkAdsPublisher::setControllerConfig(R"({"minOSVersionSupport":"99.0"})");
    publisher = PlovermarkAdsPublisher::sharedInstance();
    env.runUntilIdle();
  }
  std::shared_ptr<handlertest::RecordingScripts> scripts = std::make_shared<handlertest::RecordingScripts>();
};

TEST_F(PublisherRoutesTest, SecondaryWebViewAndHybridRowsReachTheirHandlers) {
  const struct {
    const char* query;
    std::vector<std::string> expected;
  } cases[] = {
      {"controlSecondaryWebView?action=back", {"back"}},
      {"controlSecondaryWebView?other=x", {}},
      {"navigationModeChange?state=false", {"animateSecondaryClose"}},
      {"navigationModeChange?state=true", {}},
      {"hybridChangeRatio?ratio=0.5", {R"(hybridRatio {"ratio":"0.5"})"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    scripts->lines.clear();
    EXPECT_FALSE(message(std::string("plovermarkads://") + c.query));
    EXPECT_EQ(scripts->lines, c.expected);
  }
}

// "setNativeConfiguration" changes the publisher's own session
// configuration and hands that object on, so the orientation holder reads
// what the publisher reads; without the key nothing is handed on.
TEST_F(PublisherRoutesTest, TheNativeConfigurationIsThePublishersOwnObject) {
  auto services = std::make_shared<handlertest::FakeServices>();
  QBNPresentationServicesP::registerSharedInstance(services);
  const auto own = publisher->nativeSessionConfiguration();
  ASSERT_TRUE(own);
  EXPECT_TRUE(own->allowOrientationFromAppDelegate());
  EXPECT_FALSE(message("plovermarkads://setNativeConfiguration?success=s"));
  EXPECT_TRUE(services->sessionConfigurations.empty());
  EXPECT_FALSE(message("plovermarkads://setNativeConfiguration?allowOrientationFromAppDelegate=false&success=s"));
  EXPECT_EQ(services->sessionConfigurations, std::vector<std::shared_ptr<QBNNativeSessionConfiguration>>{own});
  EXPECT_FALSE(own->allowOrientationFromAppDelegate());
  EXPECT_FALSE(publisher->allowOrientationFromAppDelegate());
  QBNPresentationServicesP::registerSharedInstance(nullptr);
}

// The publisher's hasSecondaryView is its secondary web view handler's.
TEST_F(PublisherRoutesTest, TheSecondaryViewIsTheHandlers) {
  EXPECT_FALSE(publisher->hasSecondaryView());
  scripts->secondaryOpen = true;
  EXPECT_TRUE(publisher->hasSecondaryView());
}

TEST_F(PublisherRoutesTest, TheHybridAdIsAskedFirstWhatIsOnScreen) {
  EXPECT_EQ(QBNPublisherAgent::sharedInstance(), publisher);
  EXPECT_FALSE(publisher->isAnyViewPresented());
  EXPECT_EQ(publisher->getPresentedViewController(), nullptr);
  scripts->presented = std::make_shared<platform::ViewController>();
  EXPECT_TRUE(publisher->isAnyViewPresented());
  EXPECT_EQ(publisher->getPresentedViewController(), scripts->presented);
}

}  // namespace
