#include "testsuite/QBTestSuiteScriptMessageHandler.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "platform/json_values.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace {

const platform::Json& member(const platform::Json& params, const char* key) {
  static const platform::Json& none = *new platform::Json();
  if (!params.is_object()) return none;
  auto it = params.find(key);
  return it == params.end() ? none : *it;
}

bool boolParam(const platform::Json& params, const char* key) {
  return platform::looseBool(member(params, key)).value_or(false);
}

int int32Param(const platform::Json& params, const char* key) {
  const int64_t value = platform::looseInteger(member(params, key));
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int>(value);
}

// A text as is; any other value but null as its JSON text, so that it chooses
// a network no instance has rather than none at all.
std::optional<std::string> textParam(const platform::Json& params, const char* key) {
  const platform::Json& value = member(params, key);
  if (value.is_null()) return std::nullopt;
  if (value.is_string()) return value.get<std::string>();
  return platform::dumpJson(value);
}

}  // namespace

std::shared_ptr<QBTestSuiteScriptMessageHandler> QBTestSuiteScriptMessageHandler::initWithAdsManager(
    std::shared_ptr<QBTestSuiteAdsManager> adsManager,
    std::weak_ptr<QBTestSuiteJavaScriptEvaluatorDelegate> jsEvaluatorDelegate,
    std::weak_ptr<QBTestSuiteUIReadyDelegate> uiReadyDelegate, std::weak_ptr<QBTestSuiteOnClosedDelegate> onCloseDelegate) {
  return std::shared_ptr<QBTestSuiteScriptMessageHandler>(new QBTestSuiteScriptMessageHandler(
      std::move(adsManager), std::move(jsEvaluatorDelegate), std::move(uiReadyDelegate), std::move(onCloseDelegate)));
}

void QBTestSuiteScriptMessageHandler::didReceiveScriptMessage(platform::UserContentController& /*controller*/,
                                                              const platform::ScriptMessage& message) {
  userContentController(message.name, message.body);
}

void QBTestSuiteScriptMessageHandler::userContentController(const std::string& name, const platform::Json& body) {
  if (name != kName || !body.is_object()) return;
  const auto method = platform::getString(body, "method");
  if (!method) return;
  const platform::Json& params = member(body, "params");
  const std::string& m = *method;
  if (m == "loadInterstitialAd") {
    loadInterstitialAd(params);
  } else if (m == "isInterstitialReady") {
    isInterstitialReady();
  } else if (m == "showInterstitialAd") {
    showInterstitialAd();
  } else if (m == "loadRewardedVideoAd") {
    loadRewardedVideoAd(params);
  } else if (m == "isRewardedVideoReady") {
    isRewardedVideoReady();
  } else if (m == "showRewardedVideoAd") {
    showRewardedVideoAd();
  } else if (m == "loadBannerAd") {
    loadBannerAd(params);
  } else if (m == "addBannerAdToScreen") {
    addBannerAdToScreen(params);
  } else if (m == "destroyBannerAd") {
    destroyBannerAd();
  } else if (m == "onDataLoaded") {
    onDataLoaded();
  } else if (m == "closeTestSuite") {
    closeTestSuite();
  }
}

std::shared_ptr<QBTestSuiteLoadAdConfig> QBTestSuiteScriptMessageHandler::createLoadAdConfigFromMethodParams(
    const platform::Json& params) {
  return QBTestSuiteLoadAdConfig::initWithAdNetwork(textParam(params, "adNetwork"), boolParam(params, "isBidding"),
                                                    boolParam(params, "isTest"),
                                                    boolParam(params, "retainViewController"));
}

void QBTestSuiteScriptMessageHandler::reply(const char* callbackName, const QBAdUnit& adUnit, bool ready) {
  if (auto evaluator = jsEvaluatorDelegate_.lock()) {
    evaluator->onAdCallbackReceived(callbackName, adUnit, platform::Json::array({ready}));
  }
}

void QBTestSuiteScriptMessageHandler::loadInterstitialAd(const platform::Json& params) {
  if (adsManager_) adsManager_->loadInterstitialAd(createLoadAdConfigFromMethodParams(params));
}

void QBTestSuiteScriptMessageHandler::isInterstitialReady() {
  reply("isInterstitialReady", QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), adsManager_ && adsManager_->isInterstitialReady());
}

void QBTestSuiteScriptMessageHandler::showInterstitialAd() {
  if (adsManager_) adsManager_->showInterstitialAd();
}

void QBTestSuiteScriptMessageHandler::loadRewardedVideoAd(const platform::Json& params) {
  if (adsManager_) adsManager_->loadRewardedVideoAd(createLoadAdConfigFromMethodParams(params));
}

void QBTestSuiteScriptMessageHandler::isRewardedVideoReady() {
  reply("isRewardedVideoReady", QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(),
        adsManager_ && adsManager_->isRewardedVideoReady());
}

void QBTestSuiteScriptMessageHandler::showRewardedVideoAd() {
  if (adsManager_) adsManager_->showRewardedVideoAd();
}

void QBTestSuiteScriptMessageHandler::loadBannerAd(const platform::Json& params) {
  if (!adsManager_) return;
  adsManager_->loadBannerAd(createLoadAdConfigFromMethodParams(params), textParam(params, "description").value_or(""),
                            int32Param(params, "width"), int32Param(params, "height"));
}

void QBTestSuiteScriptMessageHandler::addBannerAdToScreen(const platform::Json& params) {
  if (adsManager_) adsManager_->addBannerAdToScreen(platform::looseDouble(member(params, "marginPercentageFromTop")));
}

void QBTestSuiteScriptMessageHandler::destroyBannerAd() {
  if (adsManager_) adsManager_->destroyBannerAd();
}

void QBTestSuiteScriptMessageHandler::onDataLoaded() {
  if (auto delegate = uiReadyDelegate_.lock()) delegate->onUIReady();
}

void QBTestSuiteScriptMessageHandler::closeTestSuite() {
  if (auto delegate = onCloseDelegate_.lock()) delegate->onClosed();
}
