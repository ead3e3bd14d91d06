// The own network's built-in adapters: the callback mapping, banner sizes and
// destroys, bidding data, consent and metadata, and the offerwall options.
#include <gtest/gtest.h>

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "ownnetwork/adapters/QBPlovermarkAdsAdapter.h"
#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/device.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBBannerSize.h"

namespace {

using platform::Json;

// The delegates of the four products, each call one line ("rv load").
class Delegates : public QBRewardedVideoAdapterDelegate,
                  public QBInterstitialAdapterDelegate,
                  public QBBannerAdapterDelegate,
                  public QBOfferwallAdapterDelegate {
 public:
  void adapterRewardedVideoInitSuccess() override { add("rv init"); }
  void adapterRewardedVideoDidLoad() override { add("rv load"); }
  void adapterRewardedVideoHasChangedAvailability(bool a) override { add(a ? "rv avail yes" : "rv avail no"); }
  void adapterRewardedVideoDidFailToLoadWithError(const QBError& e) override { add("rv loadfail " + e.message()); }
  void adapterRewardedVideoDidOpen() override { add("rv open"); }
  void adapterRewardedVideoDidClose() override { add("rv close"); }
  void adapterRewardedVideoDidFailToShowWithError(const QBError& e) override { add("rv showfail " + e.message()); }
  void adapterRewardedVideoDidClick() override { add("rv click"); }
  void adapterRewardedVideoDidReceiveReward() override { add("rv reward"); }
  void adapterRewardedVideoDidBecomeVisible() override { add("rv visible"); }
  void adapterInterstitialInitSuccess() override { add("is init"); }
  void adapterInterstitialDidLoad() override { add("is load"); }
  void adapterInterstitialDidFailToLoadWithError(const QBError& e) override { add("is loadfail " + e.message()); }
  void adapterInterstitialDidOpen() override { add("is open"); }
  void adapterInterstitialDidClose() override { add("is close"); }
  void adapterInterstitialDidShow() override { add("is show"); }
  void adapterInterstitialDidFailToShowWithError(const QBError& e) override { add("is showfail " + e.message()); }
  void adapterInterstitialDidClick() override { add("is click"); }
  void adapterInterstitialDidBecomeVisible() override { add("is visible"); }
  void adapterBannerInitSuccess() override { add("bn init"); }
  void adapterBannerDidLoad(const platform::ViewRef&) override { add("bn load"); }
  void adapterBannerDidFailToLoadWithError(const QBError& e) override {
    add("bn loadfail " + std::to_string(e.code()) + " " + e.message());
  }
  void adapterBannerDidClick() override { add("bn click"); }
  void adapterBannerDidShow() override { add("bn show"); }
  void adapterBannerWillLeaveApplication() override { add("bn leave"); }
  void adapterOfferwallHasChangedAvailability(bool a, const std::optional<QBError>&) override {
    add(a ? "ow avail yes" : "ow avail no");
  }
  void adapterOfferwallDidShow() override { add("ow show"); }
  void adapterOfferwallDidFailToShowWithError(const QBError& e) override {
    add("ow showfail " + e.domain() + " " + std::to_string(e.code()) + " " + e.message());
  }
  void adapterOfferwallDidClose() override { add("ow close"); }
  bool adapterOfferwallDidReceiveCredits(const Json&) override { return true; }
  void adapterOfferwallDidFailToReceiveCreditsWithError(const QBError&) override { add("ow creditfail"); }

  void add(std::string line) { calls.push_back(std::move(line)); }
  std::vector<std::string> calls;
};

std::shared_ptr<QBAdapterConfig> config(const QBAdUnit& unit, const std::string& name = "ds1",
                                        const Json& settings = Json::object()) {
  return QBAdapterConfig::create(name, unit, Json{{"providerLoadName", "Quillborne"}, {unit.value(), settings}});
}

class OwnAdaptersTest : public qbtest::OwnNetworkTest {
 protected:
  OwnAdaptersTest() {
    QuillborneNetwork::resetForTesting();
    QBQuillborneAdapter::resetForTesting();
    QBPlovermarkAdsAdapter::resetForTesting();
    QBPlovermarkAdsConfiguration::configurations().resetForTesting();
    QBNTokenService::sharedService().resetForTesting();
    adapter->initAdapter("Quillborne");
  }
  ~OwnAdaptersTest() override {
    env.runUntilIdle();
    QBPlovermarkAdsConfiguration::configurations().resetForTesting();
    QBConfigurations::getConfigurations().resetForTesting();
  }

  // Loads once so the adapter keeps the delegates and the instances; the
  // own network is not initialised, so the loads fail (that is cleared).
  void keepDelegates() {
    adapter->loadRewardedVideoWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), Json::object(), rv);
    adapter->loadInterstitialWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), Json::object(), is);
    adapter->loadBannerForBiddingWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_BANNER()), Json::object(), "", nullptr,
                                                   std::make_shared<QBBannerSize>(QBBannerSize::BANNER()), bn);
    env.runUntilIdle();
    log->calls.clear();
  }

  std::shared_ptr<Delegates> log = std::make_shared<Delegates>(), rv = log, is = log, bn = log, ow = log;
  std::shared_ptr<QBQuillborneAdapter> adapter = std::make_shared<QBQuillborneAdapter>();
};

TEST_F(OwnAdaptersTest, CallbackTable) {
  keepDelegates();
  std::weak_ptr<QBNProductDelegate> listener = std::static_pointer_cast<QBNProductDelegate>(adapter);
  auto rewarded = QuillborneAdInstanceBuilder("ds1", listener).setRewarded(true).build();
  auto interstitial = QuillborneAdInstanceBuilder("ds1", listener).build();
  auto banner = QuillborneAdInstanceBuilder("ds1", listener).setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50)).build();
  const platform::Error error{"d", 7, "boom"};
  using Call = std::function<void(const QBNAdInstanceRef&)>;
  struct Case {
    const char* name;
    Call call;
    std::vector<std::string> rewardedHears, bannerHears, interstitialHears;
  };
  QBQuillborneAdapter& a = *adapter;
  const Json none;
  const std::vector<Case> cases{
      {"loaded", [&](auto& i) { a.adInstanceLoaded(i, none); }, {"rv load", "rv avail yes"}, {"is load"}, {"is load"}},
      {"failedToLoad", [&](auto& i) { a.adInstanceFailedToLoad(i, error, none); },
       {"rv loadfail boom", "rv avail no"}, {"bn loadfail 7 boom"}, {"is loadfail boom"}},
      {"opened", [&](auto& i) { a.adInstanceOpened(i, none); }, {"rv open"}, {"is open"}, {"is open"}},
      {"closed", [&](auto& i) { a.adInstanceClosed(i, none); }, {"rv close"}, {"is close"}, {"is close"}},
      {"showSuccess", [&](auto& i) { a.adInstanceShowSuccess(i, none); }, {}, {"is show"}, {"is show"}},
      {"failedToShow", [&](auto& i) { a.adInstanceFailedToShow(i, error, none); },
       {"rv showfail boom"}, {"is showfail boom"}, {"is showfail boom"}},
      {"clicked", [&](auto& i) { a.adInstanceClicked(i, none); }, {"rv click"}, {"bn click"}, {"is click"}},
      {"rewarded", [&](auto& i) { a.adInstanceRewarded(i, Json{{"credits", 1}}, none); }, {"rv reward"}, {}, {}},
      {"leave", [&](auto& i) { a.adInstanceLeaveApplication(i, none); }, {}, {"bn leave"}, {}},
      {"impressions", [&](auto& i) { a.adInstanceReceivedNotificationWithInstance(i, "impressions", none, none); },
       {"rv visible"}, {"bn show"}, {"is visible"}},
      {"other event", [&](auto& i) { a.adInstanceReceivedNotificationWithInstance(i, "clicks", none, none); }, {}, {},
       {}},
  };
  for (const auto& c : cases) {
    const std::pair<QBNAdInstanceRef, const std::vector<std::string>*> rows[] = {
        {rewarded, &c.rewardedHears}, {banner, &c.bannerHears}, {interstitial, &c.interstitialHears}};
    for (const auto& [instance, expected] : rows) {
      log->calls.clear();
      c.call(instance);
      EXPECT_EQ(log->calls, *expected) << c.name << " " << (instance->isRewarded() ? "rewarded" : instance->isBanner() ? "banner" : "interstitial");
    }
  }
  // Demand-only: no availability reports, and still no show success for a
  // rewarded instance (its interstitial namesake hears nothing either).
  adapter->initRewardedVideoForDemandOnlyWithUserId("", config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), rv);
  log->calls.clear();
  adapter->adInstanceLoaded(rewarded, none);
  adapter->adInstanceFailedToLoad(rewarded, error, none);
  adapter->adInstanceShowSuccess(rewarded, none);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"rv load", "rv loadfail boom"}));
}

// Load while show: the mediation loads the name of the ad on screen again.
// The shown ad's outcomes stay with the delegate of its own load, the new
// load's outcomes go to the new one, and the next show moves on to it.
TEST_F(OwnAdaptersTest, AShownAdKeepsItsDelegateWhenItsNameLoadsAgain) {
  std::weak_ptr<QBNProductDelegate> listener = std::static_pointer_cast<QBNProductDelegate>(adapter);
  const Json none;
  for (const bool rewarded : {true, false}) {
    const QBAdUnit unit = rewarded ? QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() : QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
    auto shown = std::make_shared<Delegates>(), next = std::make_shared<Delegates>();
    const auto load = [&](const std::shared_ptr<Delegates>& d) {
      if (rewarded) return adapter->loadRewardedVideoWithAdapterConfig(config(unit), Json::object(), d);
      adapter->loadInterstitialWithAdapterConfig(config(unit), Json::object(), d);
    };
    const auto show = [&](const std::shared_ptr<Delegates>& d) {
      if (rewarded) return adapter->showRewardedVideoWithViewController(nullptr, config(unit), d);
      adapter->showInterstitialWithViewController(nullptr, config(unit), d);
    };
    // The own network is not initialised: loads and shows fail on their own
    // (each to the delegate it belongs to); what is asserted comes after.
    load(shown);
    show(shown);
    env.runUntilIdle();
    EXPECT_EQ(shown->calls.back(), rewarded ? "rv showfail Call initSDK first" : "is showfail Call initSDK first");
    load(next);
    env.runUntilIdle();
    shown->calls.clear();
    next->calls.clear();

    auto instance = QuillborneAdInstanceBuilder("ds1", listener).setRewarded(rewarded).build();
    adapter->adInstanceOpened(instance, none);
    adapter->adInstanceReceivedNotificationWithInstance(instance, "impressions", none, none);
    adapter->adInstanceShowSuccess(instance, none);
    adapter->adInstanceClicked(instance, none);
    adapter->adInstanceClosed(instance, none);
    adapter->adInstanceRewarded(instance, Json{{"credits", 1}}, none);  // a credit after the close
    adapter->adInstanceLoaded(instance, none);
    const std::vector<std::string> shownHears =
        rewarded ? std::vector<std::string>{"rv open", "rv visible", "rv click", "rv close", "rv reward"}
                 : std::vector<std::string>{"is open", "is visible", "is show", "is click", "is close"};
    const std::vector<std::string> nextHears =
        rewarded ? std::vector<std::string>{"rv load", "rv avail yes"} : std::vector<std::string>{"is load"};
    EXPECT_EQ(shown->calls, shownHears) << unit.value();
    EXPECT_EQ(next->calls, nextHears) << unit.value();

    // The next show is the new load's ad.
    show(next);
    env.runUntilIdle();
    shown->calls.clear();
    next->calls.clear();
    adapter->adInstanceFailedToShow(instance, platform::Error{"d", 7, "boom"}, none);
    EXPECT_TRUE(shown->calls.empty()) << unit.value();
    EXPECT_EQ(next->calls, std::vector<std::string>{rewarded ? "rv showfail boom" : "is showfail boom"}) << unit.value();
  }
}

TEST_F(OwnAdaptersTest, BannerSizes) {
  struct Case {
    QBBannerSize size;
    bool tablet;
    std::optional<std::pair<int, int>> points;
  };
  const Case cases[] = {
      {QBBannerSize::BANNER(), false, std::pair{320, 50}},
      {QBBannerSize::RECTANGLE(), false, std::pair{300, 250}},
      {QBBannerSize::LARGE(), false, std::pair{320, 90}},
      {QBBannerSize::SMART(), false, std::pair{320, 50}},
      {QBBannerSize::SMART(), true, std::pair{728, 90}},
      {QBBannerSize::initWithWidth(320, 50), false, std::pair{320, 50}},
      {QBBannerSize::initWithWidth(320, 90), false, std::pair{320, 90}},
      {QBBannerSize::initWithWidth(300, 250), false, std::nullopt},
      {QBBannerSize::initWithDescription("OTHER", 320, 50), false, std::nullopt},
  };
  for (const auto& c : cases) {
    setDevice([&](platform::DeviceFacts& f) {
      f.interfaceIdiom = c.tablet ? platform::UserInterfaceIdiom::Pad : platform::UserInterfaceIdiom::Phone;
    });
    EXPECT_EQ(QBQuillborneAdapter::bannerSizeInPoints(c.size), c.points) << c.size.sizeDescription();
  }
  // An unsupported size fails the load with 616 and loads nothing.
  adapter->loadBannerForBiddingWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_BANNER()), Json::object(), "", nullptr,
                                                 std::make_shared<QBBannerSize>(QBBannerSize::initWithWidth(300, 250)),
                                                 bn);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"bn loadfail 616 quillborne unsupported banner size"}));
}

TEST_F(OwnAdaptersTest, DestroyOfTwoLoadedBannersAndOfANameWithNone) {
  keepDelegates();
  auto first = QuillborneAdInstanceBuilder("ds1", std::static_pointer_cast<QBNProductDelegate>(adapter)).setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50)).build();
  auto second = QuillborneAdInstanceBuilder("ds1", std::static_pointer_cast<QBNProductDelegate>(adapter)).setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50)).build();
  adapter->adInstanceLoadedWithAdContainer(first, Json(), nullptr);
  adapter->adInstanceLoadedWithAdContainer(second, Json(), nullptr);
  EXPECT_EQ(log->calls, (std::vector<std::string>{"bn load", "bn load"}));
  console.clear();
  adapter->destroyBannerWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_BANNER()));
  adapter->destroyBannerWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_BANNER()));  // nothing left
  adapter->destroyBannerWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_BANNER(), "never"));
  env.runUntilIdle();  // destroys before init reach no publisher: nothing to see but no crash
  SUCCEED();
}

TEST_F(OwnAdaptersTest, MetadataAndConsentReachTheTokenBeforeAndAfterInit) {
  struct Case {
    std::string key, value;
    bool afterInit;
    bool reaches;
  };
  const Case cases[] = {
      {"do_not_sell", "true", false, true},
      {"do_not_sell", "true", true, true},  // valid do-not-sell metadata after init still counts
      {"do_not_sell", "", false, false},
      {"other_key", "x", false, false},
  };
  for (const auto& c : cases) {
    QBNTokenService::sharedService().resetForTesting();
    QBQuillborneAdapter::resetForTesting();
    if (c.afterInit) adapter->earlyInitWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
    adapter->setMetaDataWithKey(c.key, {c.value});
    adapter->setMetaDataWithKey(c.key, {});
    env.runUntilIdle();
    const Json token = QBNTokenService::sharedService().getRawToken();
    EXPECT_EQ(token.contains("metadata_" + c.key), c.reaches) << c.key << " " << c.afterInit;
  }
  adapter->setConsent(false);
  env.runUntilIdle();
  EXPECT_EQ(QBNTokenService::sharedService().getRawToken().value("metadata_consent", ""), "0");
}

TEST_F(OwnAdaptersTest, TokenFallbacks) {
  keepDelegates();
  const Json token = adapter->getToken();
  ASSERT_TRUE(token["token"].is_string());
  EXPECT_FALSE(token["token"].get<std::string>().empty());
  const auto raw = adapter->getPlayerBiddingData();
  ASSERT_TRUE(raw && raw->is_object());
  EXPECT_TRUE(raw->contains("deviceOS") || raw->contains("deviceOs"));
  // Nothing kept under a name: "has" is NO, and a show tells the delegate.
  EXPECT_FALSE(adapter->hasRewardedVideoWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), "none")));
  adapter->loadRewardedVideoWithAdapterConfig(config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), "other"), Json::object(),
                                              rv);
  env.runUntilIdle();
  log->calls.clear();
  adapter->showRewardedVideoWithViewController(nullptr, config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), "other"), rv);
  env.runUntilIdle();
  adapter->showRewardedVideoWithViewController(nullptr, config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), "never"), rv);
  env.runUntilIdle();
  EXPECT_EQ(log->calls, (std::vector<std::string>{"rv showfail Call initSDK first",
                                                 "rv showfail No QuillborneAdInstance was found"}));
}

// ------------------------------------------------------------------ offerwall

TEST_F(OwnAdaptersTest, OfferwallOptionValidation) {
  auto& options = QBPlovermarkAdsConfiguration::configurations();
  const std::string languageMessage = "language value is not valid";
  struct Case {
    Json language;
    Json itemName, itemCount, privateKey;
    bool languageKept;
    const char* message;  // the one items message, or none
  };
  const std::string n50(50, 'a'), n51(51, 'a');
  const Case cases[] = {
      {"en", n50, 100000, "abcde", true, nullptr},
      {"eng", Json(), Json(), Json(), false, nullptr},
      {"e1", Json(), Json(), Json(), false, nullptr},
      {7, Json(), Json(), Json(), false, nullptr},
      {"de", n51, 5, "abcde", true, "correct itemName"},
      {"de", "coins", 0, "abcde", true, "correct itemCount"},
      {"de", "coins", 100001, "abcde", true, "correct itemCount"},
      {"de", "coins", 5, "abcd", true, "correct privateKey"},
      {"de", "coins", 5, std::string(31, 'k'), true, "correct privateKey"},
      {"de", "coins", 5, "abc-de", true, "correct privateKey"},
  };
  for (const auto& c : cases) {
    options.resetForTesting();
    console.clear();
    options.setLanguage(c.language);
    if (!c.itemName.is_null()) options.setItemName(c.itemName);
    if (!c.itemCount.is_null()) options.setItemCount(c.itemCount);
    if (!c.privateKey.is_null()) options.setPrivateKey(c.privateKey);
    QBPlovermarkAdsAdapter::validateQuillborneOptionalParams();
    EXPECT_EQ(options.language().has_value(), c.languageKept) << c.language;
    const bool itemsKept = !c.itemName.is_null() && !c.message;
    EXPECT_EQ(options.itemName().has_value(), itemsKept) << c.itemName;
    EXPECT_EQ(options.privateKey().has_value(), itemsKept);
    EXPECT_EQ(options.itemCount().has_value(), itemsKept);
  }
  for (const auto& [value, kept] : std::vector<std::pair<Json, bool>>{{1, true}, {0, true}, {2, false}}) {
    options.resetForTesting();
    options.setUseClientSideCallbacks(value);
    QBPlovermarkAdsAdapter::validateOWOptionalParams();
    EXPECT_EQ(options.useClientSideCallbacks().has_value(), kept) << value;
  }
}

TEST_F(OwnAdaptersTest, OfferwallParametersAndSignature) {
  auto& options = QBPlovermarkAdsConfiguration::configurations();
  options.setMinimumOfferCommission("0.5");
  options.setPrivateKey(Json("secret1"));
  options.setUseClientSideCallbacks(1);
  const auto params = QBPlovermarkAdsAdapter::createParams(Json{{"a", "1"}, {"", "dropped"}}, "OW");
  ASSERT_TRUE(params);
  EXPECT_EQ(params->value("custom_a", ""), "1");
  EXPECT_FALSE(params->contains("custom_"));
  EXPECT_EQ(params->value("productType", ""), "Offerwall");
  EXPECT_EQ(params->value("useClientSideCallbacks", ""), "true");
  // MD5 of "0.5secret1".
  EXPECT_EQ(params->value("minimumOfferCommissionSignature", ""), QBPlovermarkAdsAdapter::md5("0.5secret1"));
  EXPECT_EQ(QBPlovermarkAdsAdapter::md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  options.setPrivateKey(std::nullopt);
  EXPECT_FALSE(QBPlovermarkAdsAdapter::createParams(std::nullopt, "OW")->contains("minimumOfferCommissionSignature"));

  // Callbacks: show failures are re-wrapped with 510; no delegate takes no credit.
  auto offerwall = std::make_shared<QBPlovermarkAdsAdapter>();
  offerwall->initAdapter("PlovermarkAds");
  EXPECT_FALSE(offerwall->pmaOfferWallDidReceiveCredit(Json::object()));
  EXPECT_FALSE(adapter->pmaOfferWallDidReceiveCredit(Json::object()));
  adapter->initOfferWallWithUserId("", config(QBAdUnit::QB_AD_UNIT_OFFERWALL()), ow);
  env.runUntilIdle();
  log->calls.clear();  // without an application key the publisher refuses the init
  adapter->pmaOfferWallShowFailedWithError(platform::Error{"x", 3, "no offers"});
  adapter->pmaInitOfferWallSuccess();
  EXPECT_TRUE(adapter->hasOfferwall());
  EXPECT_EQ(log->calls, (std::vector<std::string>{"ow showfail Quillborne 510 no offers", "ow avail yes"}));
}

}  // namespace
