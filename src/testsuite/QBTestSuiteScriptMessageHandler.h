#pragma once
// The test page's requests to native code: script messages posted to
// "TestSuiteBridge" whose body is a dictionary with a "method" and, for the
// methods that take them, "params" (a dictionary). Eleven methods act; any
// other message, body or method is ignored without a reply:
//
//   "loadInterstitialAd"    load keys        the ads manager loads an interstitial
//   "isInterstitialReady"                    reply "isInterstitialReady" ("interstitial", [1] or [0])
//   "showInterstitialAd"                     the ads manager shows it
//   "loadRewardedVideoAd"   load keys        the same for rewarded video
//   "isRewardedVideoReady"                   reply "isRewardedVideoReady" ("rewardedVideo", [1] or [0])
//   "showRewardedVideoAd"
//   "loadBannerAd"          load keys, "description", "width", "height"
//   "addBannerAdToScreen"   "marginPercentageFromTop"
//   "destroyBannerAd"
//   "onDataLoaded"                           the UI-ready delegate hears onUIReady
//   "closeTestSuite"                         the close delegate hears onClosed
//
// Load keys: "adNetwork" (a text; absent: no network chosen), "isBidding",
// "isTest" (the auction asks for test ads) and "retainViewController", read as
// loose booleans (platform::looseBool; absent: false). "width" and "height"
// are 32-bit integers (platform::looseInteger, clamped), the margin a number
// (platform::looseDouble).
//
// Main queue only. It holds the ads manager; the three delegates weakly.
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/web/web_view.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteJavaScriptEvaluatorDelegate.h"
#include "testsuite/QBTestSuiteOnClosedDelegate.h"
#include "testsuite/QBTestSuiteUIReadyDelegate.h"

class QBTestSuiteLoadAdConfig;

class QBTestSuiteScriptMessageHandler : public platform::ScriptMessageHandler {
 public:
  static constexpr const char* kName = "TestSuiteBridge";

  static std::shared_ptr<QBTestSuiteScriptMessageHandler> initWithAdsManager(
      std::shared_ptr<QBTestSuiteAdsManager> adsManager,
      std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate,
      std::weak_ptr<QBTestSuiteUIReadyDelegate> uiReadyDelegate,
      std::weak_ptr<QBTestSuiteOnClosedDelegate> onCloseDelegate);

  void didReceiveScriptMessage(platform::UserContentController& controller,
                               const platform::ScriptMessage& message) override;
  // The message's name must be kName and its body a dictionary.
  void userContentController(const std::string& name, const platform::Json& body);

  // The eleven methods; each only forwards.
  void loadInterstitialAd(const platform::Json& params);
  void isInterstitialReady();
  void showInterstitialAd();
  void loadRewardedVideoAd(const platform::Json& params);
  void isRewardedVideoReady();
  void showRewardedVideoAd();
  void loadBannerAd(const platform::Json& params);
  void addBannerAdToScreen(const platform::Json& params);
  void destroyBannerAd();
  void onDataLoaded();
  void closeTestSuite();

  // A load configuration from the load keys of `params`.
  static std::shared_ptr<QBTestSuiteLoadAdConfig> createLoadAdConfigFromMethodParams(const platform::Json& params);

 private:
  QBTestSuiteScriptMessageHandler(std::shared_ptr<QBTestSuiteAdsManager> adsManager,
                                  std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate,
                                  std::weak_ptr<QBTestSuiteUIReadyDelegate> uiReadyDelegate,
                                  std::weak_ptr<QBTestSuiteOnClosedDelegate> onCloseDelegate)
      : adsManager_(std::move(adsManager)),
        jsEvaluatorDelegate_(std::move(jsEvaluatorDelegate)),
        uiReadyDelegate_(std::move(uiReadyDelegate)),
        onCloseDelegate_(std::move(onCloseDelegate)) {}
  void reply(const char* callbackName, const QBAdUnit& adUnit, bool ready);

  const std::shared_ptr<QBTestSuiteAdsManager> adsManager_;
  const std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate_;
  const std::weak_ptr<QBTestSuiteUIReadyDelegate> uiReadyDelegate_;
  const std::weak_ptr<QBTestSuiteOnClosedDelegate> onCloseDelegate_;
};
