// The publisher makes the store features' handlers only where the system has
// what they need, and routes the page's commands to them (no page: the
// publisher is made for an unsupported system, with the same handlers).
#include <gtest/gtest.h>

#include "ownnetwork/publisher_test_support.h"
#include "platform/storekit/storekit_control.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "scriptfeatures/storekit_support.h"

namespace {

using platform::Json;

class StoreKitPublisherTest : public qbtest::PublisherTest {
 protected:
  StoreKitPublisherTest() { resetStore(); }
  ~StoreKitPublisherTest() override {
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    env.runUntilIdle();
    resetStore();
  }

  // The page's fixture keeps its window and observers.
  static void resetStore() {
    platform::StoreKitControl::shared().resetForTesting();
    platform::ClassRegistry::shared().resetForTesting();
    QBNOverlaysHolder::sharedHolder().resetForTesting();
    platform::resetDeviceFactsForTesting();
  }

  void make() {
    qb::scriptfeatures::registerWithOwnNetwork();
    PlovermarkAdsPublisher::setControllerConfig(R"({"minOSVersionSupport":"99.0"})");
    publisher = PlovermarkAdsPublisher::sharedInstance();
    env.runUntilIdle();
  }
};

TEST_F(StoreKitPublisherTest, HandlersExistOnlyFromTheirSystemsAndWithTheImpressionClass) {
  const struct {
    const char* system;
    bool impressionClass;
    bool impressions;
    bool overlays;
  } cases[] = {
      {"13.7", true, false, false},
      {"14.0", true, false, true},
      {"14.4.1", true, false, true},
      {"14.5", true, true, true},
      {"17.0", true, true, true},
      {"17.0", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.system) + (c.impressionClass ? "" : " without SKAdImpression"));
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    resetStore();
    storekittest::setSystemVersion(c.system);
    if (!c.impressionClass) platform::ClassRegistry::shared().unregisterClass("SKAdImpression");
    make();
    EXPECT_EQ(publisher->adImpressionJSInterfaceHandler() != nullptr, c.impressions);
    EXPECT_EQ(publisher->overlayJSInterfaceHandler() != nullptr, c.overlays);
  }
}

TEST_F(StoreKitPublisherTest, ThePagesCommandsReachTheHandlers) {
  make();
  storekittest::SceneWindow screen;
  const std::string impression = storekittest::escaped(Json{{"adNetworkNonce", "n1"}});
  EXPECT_FALSE(message("plovermarkads://SKAdImpressionAPI?functionName=startImpression&impressionData=" + impression));
  EXPECT_FALSE(message("plovermarkads://SKOverlayAPI?functionName=createOverlay&functionParams=" +
                       storekittest::escaped(Json{{"overlayId", "o1"}, {"advertisedAppId", "1"}})));
  // Only "SKOverlayAPI" itself names the overlay command.
  EXPECT_FALSE(message("plovermarkads://SKOverlayAPIv2?functionName=createOverlay&functionParams=" +
                       storekittest::escaped(Json{{"overlayId", "o2"}, {"advertisedAppId", "1"}})));
  env.runUntilIdle();
  const auto calls = platform::StoreKitControl::shared().impressionCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].properties, (Json{{"adImpressionIdentifier", "n1"}}));
  EXPECT_TRUE(QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o1"));
  EXPECT_FALSE(QBNOverlaysHolder::sharedHolder().overlayForOverlayId("o2"));
}

}  // namespace
