#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"

#include <algorithm>
#include <climits>

#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/handlers/QBNInfoHandlers.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/services/QBNProductType.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/storage.h"

using platform::Json;
using namespace qbnhandlers;

namespace {

// The offerwall's signature text: the integer value of "total" as the page's
// server writes it (a 32-bit decimal, saturated), the application key and the
// user id.
std::string signatureText(const Json& request, const std::string& appKey, const std::string& userId) {
  const int64_t total = qbnjson::integerValue(request, "total");
  const int64_t clamped = std::clamp<int64_t>(total, INT_MIN, INT_MAX);
  return std::to_string(clamped) + appKey + userId;
}

}  // namespace

QBNCreditAndWindowHandlers::QBNCreditAndWindowHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher)
    : publisher_(std::move(publisher)) {}

void QBNCreditAndWindowHandlers::handleAdCredited(const Json& request) {
  const auto productType = text(request, "productType");
  if (productType == "OfferWall") {
    handleOfferWallCredit(request);
    return;
  }
  auto publisher = publisher_.lock();
  const auto type = convertProductNameToProductType(productType);
  if (!type) {
    const std::string& message = type.error().message;
    reply(publisher, text(request, "fail"), {{"errMsg", message.empty() ? kPMAUnknownErrorReason : message}}, true);
    return;
  }
  auto demandSource = PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(
      type.value(), extractDemandSourceIdFromDictionary(request));
  if (!demandSource) return;
  const auto adInstance = demandSource->adInstance();
  if ((adInstance && adInstance->isRewarded()) || productType == "RewardedVideo") {
    Json credit = Json::object();
    if (has(request, "credits")) credit["credits"] = request["credits"];
    DemandSourceDelegateResponder::handleAdCreditedCallbackForDemandSource(demandSource, credit);
  }
}

void QBNCreditAndWindowHandlers::handleOfferWallCredit(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  Json credit = Json::object();
  if (has(request, "credits")) credit["credits"] = request["credits"];
  if (has(request, "total")) credit["totalCredits"] = request["total"];
  if (has(request, "totalCreditsFlag")) credit["totalCreditsFlag"] = request["totalCreditsFlag"];

  // Without the offerwall's key and user id no signature can be checked, so
  // no credit is accepted.
  const auto parameters = publisher->parametersForProductType(QBNProductType::OfferWall);
  const auto appKey = parameters ? parameters->appKey() : std::nullopt;
  const auto userId = parameters ? parameters->userId() : std::nullopt;
  const auto signature = text(request, "signature");
  if (!appKey || !userId || !signature ||
      *signature != PMAHelperMethods::getMD5Hash(signatureText(request, *appKey, *userId))) {
    reply(publisher, text(request, "fail"), {{"errorMsg", "Signature mismatch"}}, true);
    return;
  }
  const auto delegate = publisher->offerWallDelegate();
  if (PMAOfferWallCalls::pmaOfferWallDidReceiveCredit(delegate, credit)) {
    sendAdCreditedVerificationSuccess(text(request, "success"), text(request, "fail"), text(request, "timestamp"));
  }
}

void QBNCreditAndWindowHandlers::sendAdCreditedVerificationSuccess(const std::optional<std::string>& success,
                                                                   const std::optional<std::string>& fail,
                                                                   const std::optional<std::string>& timeStamp) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto parameters = publisher->parametersForProductType(QBNProductType::OfferWall);
  const auto appKey = parameters ? parameters->appKey() : std::nullopt;
  const auto userId = parameters ? parameters->userId() : std::nullopt;

  platform::UserDefaults& defaults = platform::UserDefaults::standard();
  std::optional<Json> userData;
  platform::Error parseError;
  bool parseFailed = false;
  if (auto stored = defaults.string(kPMAUserDataKey)) {
    userData = PMAHelperMethods::decodeJSONObject(PMAHelperMethods::decodeFromPercentEscapeString(*stored),
                                                  kPMAUTF8StringEncoding, &parseError);
    parseFailed = !userData;
  }
  Json* entry = nullptr;
  if (userData && userData->is_object() && appKey && userId) {
    auto app = userData->find(*appKey);
    if (app != userData->end() && app->is_object()) {
      auto user = app->find(*userId);
      if (user != app->end() && user->is_object()) entry = &*user;
    }
  }
  if (!entry) {
    const std::string message =
        parseFailed ? PMAHelperMethods::buildErrorMessageFromError(parseError, kPMAUnknownErrorReason)
                    : "missing entry in userDefaults";
    reply(publisher, fail, {{"errorMsg", message}}, true);
    return;
  }
  if (!timeStamp) {
    reply(publisher, fail, {{"errorMsg", "missing timestamp"}}, true);
    return;
  }
  (*entry)["timestamp"] = *timeStamp;
  const auto serialised = PMAHelperMethods::JSONStringFromDictionary(*userData, nullptr);
  if (!serialised) {
    reply(publisher, fail, {{"errorMsg", kPMAUnknownErrorReason}}, true);
    return;
  }
  defaults.setString(kPMAUserDataKey, PMAHelperMethods::encodeToPercentEscapeString(*serialised));
  (void)defaults.synchronize();
  reply(publisher, success, Json::object(), true);
}

void QBNCreditAndWindowHandlers::handleAdWindowsClosed(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto type = convertProductNameToProductType(text(request, "productType"));
  if (!type) {
    QBNInfoHandlers::sendFailCallbackToControllerWithErrorMsg(publisher, type.error().message,
                                                              text(request, "fail"));
    return;
  }
  auto demandSource = PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(
      type.value(), extractDemandSourceIdFromDictionary(request));
  switch (type.value()) {
    case QBNProductType::OfferWall: {
      PMAOfferWallCalls::pmaOfferWallDidClose(publisher->offerWallDelegate());
      break;
    }
    case QBNProductType::Interstitial:
      DemandSourceDelegateResponder::handleAdClosedCallbackForDemandSource(demandSource,
                                                                           {{"productType", "Interstitial"}});
      break;
    case QBNProductType::RewardedVideo:
      DemandSourceDelegateResponder::handleAdClosedCallbackForDemandSource(demandSource,
                                                                           {{"productType", "RewardedVideo"}});
      break;
    default:
      break;
  }
}

void QBNCreditAndWindowHandlers::handleSetWebViewHidden(const Json& request) {
  if (!has(request, "hidden")) return;
  auto publisher = publisher_.lock();
  auto webView = publisher ? publisher->webViewController() : nullptr;
  if (auto view = webView ? webView->view() : nullptr) {
    view->setHidden(qbnjson::boolValue(request["hidden"]).value_or(false));
  }
}

void QBNCreditAndWindowHandlers::handleDisplayWebViewWithparameters(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const std::string self = publisherMethod("handleDisplayWebViewWithparameters:");
  log(self + ": " + qbnjson::description(request), 1, kTagNative);
  if (auto orientation = publisher->orientationJSInterfaceHandler()) orientation->setAppOrientation(request, false);

  if (!qbnjson::boolValue(request, "hybridView").value_or(false)) {
    log(self + ": presenting using received view controller", 1, kTagNative);
    if (auto presenter = publisher->presenterJSInterfaceHandler()) presenter->handleWebViewVisibility(request);
    return;
  }
  log(self + ": presenting using top most view controller", 1, kTagNative);
  if (!has(request, "productType") || !has(request, "display")) return;
  log(self + ": " + qbnjson::description(request), 3, kTagNative);
  if (!qbnjson::boolValue(request, "display").value_or(false)) {
    closeWebViewIsSecondaryWebview(false, request);
    return;
  }
  const auto type = convertProductNameToProductType(text(request, "productType"));
  if (!type) {
    QBNInfoHandlers::sendFailCallbackToControllerWithErrorMsg(publisher, type.error().message,
                                                              text(request, "fail"));
    return;
  }
  if (auto hybrid = publisher->hybridAdPresenter()) hybrid->showHybridViewControllerWithDictionary(request, type.value());
}

void QBNCreditAndWindowHandlers::closeWebViewIsSecondaryWebview(bool isSecondaryWebview, const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  if (isSecondaryWebview) {
    if (auto secondary = publisher->secondaryWebViewJSHandler()) secondary->moveSecondaryToFrontAndSendCloseMessage();
  } else if (qbnjson::boolValue(request, "hybridView").value_or(false)) {
    if (auto hybrid = publisher->hybridAdPresenter()) hybrid->hideHybridAd();
  }
}
