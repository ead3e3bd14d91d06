// The project's controller page on its own roads, in a real web view against
// the sandbox: an offerwall credit signed by the offerwall's server reaches
// the mediation's offerwall listener and is stamped into the page's user
// record; a load caches the ad's creative and finds it in the cache's
// listing before it answers, and the ad's close deletes it.
#include <gtest/gtest.h>

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "ownnetwork/adapters/QBPlovermarkAdsAdapter.h"
#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher_test_support.h"
#include "platform/crypto.h"
#include "quillborne/QBAdUnit.h"

namespace qbtest {
namespace {

using handlertest::RecordingAdListener;
using platform::Json;
using Lines = std::vector<std::string>;

// The mediation's offerwall listener: what it hears, in order.
class OfferwallListener : public QBOfferwallAdapterDelegate {
 public:
  void adapterOfferwallHasChangedAvailability(bool available, const std::optional<QBError>&) override {
    lines.push_back(available ? "available" : "unavailable");
  }
  void adapterOfferwallDidShow() override { lines.push_back("shown"); }
  void adapterOfferwallDidFailToShowWithError(const QBError& e) override { lines.push_back("showFailed " + e.message()); }
  void adapterOfferwallDidClose() override { lines.push_back("closed"); }
  bool adapterOfferwallDidReceiveCredits(const Json& credits) override {
    lines.push_back("credits " + platform::dumpJson(credits));
    return true;
  }
  void adapterOfferwallDidFailToReceiveCreditsWithError(const QBError& e) override {
    lines.push_back("creditsFailed " + e.message());
  }
  Lines lines;
};

class ControllerPageRoadTest : public PublisherTest {
 protected:
  ControllerPageRoadTest() {
    QBNPresentationServicesP::registerSharedInstance(std::make_shared<handlertest::FakeServices>());
    QBPlovermarkAdsAdapter::resetForTesting();
    QBPlovermarkAdsConfiguration::configurations().resetForTesting();
    QBConfigurations::getConfigurations().setAppKey("appkey1");
  }
  ~ControllerPageRoadTest() override {
    QBNPresentationServicesP::registerSharedInstance(nullptr);
    QBPlovermarkAdsAdapter::resetForTesting();
    QBPlovermarkAdsConfiguration::configurations().resetForTesting();
    QBConfigurations::getConfigurations().resetForTesting();
  }

  // The page's user record in the user defaults, decoded.
  static Json userRecord() {
    const auto stored = platform::UserDefaults::standard().string("pmaUserData");
    if (!stored) return Json();
    const auto parsed = platform::parseJson(PMAHelperMethods::decodeFromPercentEscapeString(*stored));
    return parsed ? parsed.value() : Json("not JSON: " + *stored);
  }

  std::string publisherFolder() const { return dir.path() + "/Library/Caches/PMACache/PMAPublisher"; }
};

TEST_F(ControllerPageRoadTest, OfferwallCreditsReachTheListenerOnlyWhenSignedAndStampTheUserRecord) {
  // Another application's user, whom no credit may touch.
  platform::UserDefaults::standard().setString(
      "pmaUserData", PMAHelperMethods::encodeToPercentEscapeString(R"({"otherApp":{"u9":{"level":"3"}}})"));
  start();
  auto listener = std::make_shared<OfferwallListener>();
  auto adapter = std::make_shared<QBPlovermarkAdsAdapter>();
  adapter->initAdapter("PlovermarkAds");
  adapter->initOfferWallWithUserId(
      "user1", QBAdapterConfig::create("PlovermarkAds", QBAdUnit::QB_AD_UNIT_OFFERWALL(), Json::object()), listener);
  ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
  env.runUntilIdle();
  EXPECT_EQ(listener->lines, Lines{"available"});
  // The init made the user's entry and kept the rest.
  EXPECT_EQ(userRecord(), Json::parse(R"({"otherApp":{"u9":{"level":"3"}},"appkey1":{"user1":{}}})"));

  const Json signedCredit = offerwallCredit("appkey1", "user1", 5, 150, "1796633400");
  Json forged = signedCredit;
  forged["signature"] = platform::md5Hex("150user1appkey1");  // key and user swapped
  const struct {
    const char* name;
    Json credit;
    Lines heard;
    Json pageHeard;  // the page's credit answer
    Json userEntry;
  } rows[] = {
      {"forged", forged, {"shown", "closed"},
       {{"ok", false}, {"answer", {{"errorMsg", "Signature%20mismatch"}}}}, Json::object()},
      {"signed by the offerwall's server", signedCredit,
       {"shown", R"(credits {"credits":"5","totalCredits":"150","totalCreditsFlag":"false"})", "closed"},
       {{"ok", true}, {"answer", Json::object()}}, {{"timestamp", "1796633400"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    listener->lines.clear();
    page("PMA_SANDBOX.offerwallCredit = " + platform::dumpJson(row.credit));
    adapter->showOfferwallWithViewController(nullptr, "");
    ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty() && listener->lines.back() == "closed"; }));
    env.runUntilIdle();
    EXPECT_EQ(listener->lines, row.heard);
    EXPECT_EQ(page("PMA_CORE.offerwall.credits.pop()"), row.pageHeard);
    EXPECT_EQ(userRecord()["appkey1"]["user1"], row.userEntry);
    EXPECT_EQ(userRecord()["otherApp"], Json::parse(R"({"u9":{"level":"3"}})"));
  }
}

TEST_F(ControllerPageRoadTest, ALoadCachesItsCreativeBeforeItAnswersAndTheCloseDeletesIt) {
  addAdPage(server);
  start(Json{{"commands",
              {{"showInterstitial",
                {{"then", Json::array({Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}});
  const auto adPage = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html");
  ASSERT_TRUE(adPage);

  const struct {
    const char* name;  // the demand source
    std::string creative;
    std::string heard;  // the start of the listener's answer to the load
    bool cached;
  } rows[] = {
      {"missing", server.url("/ads/missing.html"), "failedToLoad creative not cached: ", false},
      {"is1", server.url(kAdPagePath), "loaded ", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    page("PMA_SANDBOX.creative = " + platform::dumpJson(row.creative));
    auto listener = std::make_shared<RecordingAdListener>();
    auto instance = QuillborneAdInstanceBuilder(row.name, listener).build();
    publisher->loadAdWithAdInstance(instance, Json::object());
    ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
    env.runUntilIdle();
    ASSERT_EQ(listener->lines.size(), 1u);
    EXPECT_EQ(listener->lines[0].rfind(row.heard, 0), 0u) << listener->lines[0];
    const std::string folder = publisherFolder() + "/Interstitial/" + row.name;
    if (!row.cached) {
      EXPECT_FALSE(platform::fileExists(folder));
      continue;
    }
    // The sandbox's bytes in the ad's folder, found in the page's listing
    // with the identity the save recorded.
    const auto saved = platform::readFile(folder + "/ad_unit.html");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.value(), adPage.value());
    const Json listing = page("PMA_CORE.cache.listing");
    EXPECT_EQ(listing["Interstitial"][row.name]["files"], Json::array({"ad_unit.html"})) << listing;
    EXPECT_EQ(listing["Interstitial"].value("applicationKey", ""), "appkey1") << listing;

    publisher->showAdWithAdInstance(instance, nullptr, Json::object());
    ASSERT_TRUE(env.runUntil([&] { return listener->lines.back().rfind("closed", 0) == 0; }));
    env.runUntilIdle();
    EXPECT_FALSE(platform::fileExists(folder + "/ad_unit.html"));
    EXPECT_EQ(page("PMA_CORE.cache.deleted"), Json::array({"Interstitial/is1/ad_unit.html"}));
  }
}

}  // namespace
}  // namespace qbtest
