#include "ownnetwork/handlers/QBNInfoHandlers.h"

#include <algorithm>
#include <array>

#include "foundation/PMEDeviceStatus.h"
#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"
#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/services/QBNProductType.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/storage.h"
#include "platform/ui/application.h"

using platform::Json;
using namespace qbnhandlers;

namespace {

// The own network's keys: the page reaches them under their own names.
constexpr std::array<const char*, 10> kOwnNetworkKeys = {
    kPMAUserDataKey,
    "userUniqueIdRV",
    "userUniqueIdIS",
    "userUniqueIdOW",
    "applicationUserId_RewardedVideo",
    "applicationKey_RewardedVideo",
    "applicationUserId_Interstitial",
    "applicationKey_Interstitial",
    "applicationUserId_OfferWall",
    "applicationKey_OfferWall",
};

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

}  // namespace

QBNInfoHandlers::QBNInfoHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher)
    : publisher_(std::move(publisher)) {}

void QBNInfoHandlers::sendFailCallbackToControllerWithErrorMsg(const std::shared_ptr<QBNPublisherAgent>& publisher,
                                                               const std::string& message,
                                                               const std::optional<std::string>& callbackName) {
  reply(publisher, callbackName, {{"errMsg", message}}, false);
}

std::optional<std::string> QBNInfoHandlers::userUniqueIdKey(const std::optional<std::string>& productType) {
  if (productType == "RewardedVideo") return "userUniqueIdRV";
  if (productType == "Interstitial") return "userUniqueIdIS";
  if (productType == "OfferWall") return "userUniqueIdOW";
  return std::nullopt;
}

std::string QBNInfoHandlers::userDefaultsKeyForPageKey(const std::string& key) {
  const bool own = std::find(kOwnNetworkKeys.begin(), kOwnNetworkKeys.end(), key) != kOwnNetworkKeys.end();
  return own ? key : kQBNPageUserDataPrefix + key;
}

void QBNInfoHandlers::handleGetOrientation(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  using platform::InterfaceOrientation;
  const InterfaceOrientation current = platform::Application::shared().statusBarOrientation();
  const bool landscape =
      current == InterfaceOrientation::LandscapeLeft || current == InterfaceOrientation::LandscapeRight;
  const std::string orientation = landscape ? "landscape" : "portrait";
  log("handleGetOrientation: " + orientation, 1, kTagLogic);
  reply(publisher, text(request, "success"), {{"orientation", orientation}}, true);
}

void QBNInfoHandlers::handleGetAppOrientationData(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  auto services = QBNPresentationServicesP::sharedInstance();
  const Json data =
      services ? services->applicationOrientationData(publisher->allowOrientationFromAppDelegate()) : Json::object();
  reply(publisher, text(request, "success"), data, true);
}

void QBNInfoHandlers::handleSetBackgroundColor(const Json& request) {
  const auto color = text(request, "color");
  if (!color) return;
  auto publisher = publisher_.lock();
  if (!publisher) return;
  std::string hex = PMAHelperMethods::decodeFromPercentEscapeString(*color);
  if (hex == "transparent") hex = "#00000000";
  const platform::Color background = PMAHelperMethods::colorWithHexString(hex);
  std::shared_ptr<platform::View> view;
  if (auto adViewId = text(request, "adViewId")) {
    auto services = QBNPresentationServicesP::sharedInstance();
    auto adView = services ? services->getAdUnitWebViewById(*adViewId) : std::nullopt;
    if (adView) view = adView->viewToPresent;
  } else if (auto webView = publisher->webViewController()) {
    view = webView->view();
  }
  if (view) view->setBackgroundColor(background);
}

void QBNInfoHandlers::handleSetUserUniqueId(const Json& request) {
  if (!request.is_object()) return;
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto productType = text(request, "productType");
  const auto key = userUniqueIdKey(productType);
  if (!key) {
    // Another product's id would land under a key of no product's (the
    // empty key), which the page could then use to replace any value.
    sendFailCallbackToControllerWithErrorMsg(publisher, "no user unique id for productType " + productType.value_or(""),
                                             text(request, "fail"));
    return;
  }
  if (has(request, "uniqueId")) {
    defaults().setObject(*key, request["uniqueId"]);
  } else {
    defaults().removeObject(*key);
  }
  (void)defaults().synchronize();
  Json answer = Json::object();
  if (productType) answer["productType"] = *productType;
  reply(publisher, text(request, "success"), answer, true);
}

void QBNInfoHandlers::handleGetUserUniqueId(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto productType = text(request, "productType");
  Json value = "";
  if (const auto key = userUniqueIdKey(productType)) {
    if (auto stored = defaults().object(*key)) value = std::move(*stored);
  }
  Json answer = {{"userUniqueId", value}};
  if (productType) answer["productType"] = *productType;
  reply(publisher, text(request, "success"), answer, true);
}

void QBNInfoHandlers::handleGetDeviceVolume(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  reply(publisher, text(request, "success"), {{"deviceVolume", PMEDeviceStatus().volume()}}, false);
}

void QBNInfoHandlers::handleAllowFileAccessFromFileURLs(const Json& request) {
  auto publisher = publisher_.lock();
  auto webView = publisher ? publisher->webViewController() : nullptr;
  if (!webView) return;
  const bool allow = has(request, "allowFileAccess") && qbnjson::boolValue(request["allowFileAccess"]).value_or(false);
  webView->allowFileAccessFromFileURLs(allow);
}

void QBNInfoHandlers::handleGetDemandSourceState(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto fail = text(request, "fail");
  const auto demandSourceId = extractDemandSourceIdFromDictionary(request);
  if (!demandSourceId) {
    sendFailCallbackToControllerWithErrorMsg(publisher, "missing demand source name and demand source id", fail);
    return;
  }
  const auto productType = text(request, "productType");
  const auto type = convertProductNameToProductType(productType);
  if (!type) {
    sendFailCallbackToControllerWithErrorMsg(publisher, type.error().message, fail);
    return;
  }
  auto demandSource = PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(type.value(),
                                                                                             demandSourceId);
  if (!demandSource) {
    sendFailCallbackToControllerWithErrorMsg(publisher, "demand source is not exist", fail);
    return;
  }
  reply(publisher, text(request, "success"),
        {{"demandSourceName", demandSource->name()},
         {"demandSourceId", demandSource->identifier()},
         {"productType", productType.value_or("")},
         {"state", demandSource->mediationState()}},
        false);
}

void QBNInfoHandlers::handleGetApplicationInfo(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto productType = text(request, "productType");
  const auto type = convertProductNameToProductType(productType);
  if (!type) {
    sendFailCallbackToControllerWithErrorMsg(publisher, type.error().message, text(request, "fail"));
    return;
  }
  Json info = {{"productType", productType.value_or("")}};
  const auto parameters = publisher->parametersForProductType(type.value());
  // A key or user id that was never given is left out.
  if (parameters && parameters->appKey()) info["applicationKey"] = *parameters->appKey();
  if (parameters && parameters->userId()) info["applicationUserId"] = *parameters->userId();
  const auto addAll = [&info](const std::optional<Json>& entries) {
    if (!entries || !entries->is_object()) return;
    for (const auto& [key, value] : entries->items()) info[key] = value;
  };
  if (type.value() == QBNProductType::OfferWall) {
    if (auto general = std::dynamic_pointer_cast<PMAGeneralParameters>(parameters)) {
      addAll(general->additionalParameters());
    }
  } else if (has(request, "demandSourceName")) {
    auto demandSource = PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(
        type.value(), extractDemandSourceIdFromDictionary(request));
    if (demandSource) {
      info["demandSourceName"] = demandSource->name();
      info["demandSourceId"] = demandSource->identifier();
      addAll(demandSource->extraParams());
    }
  }
  reply(publisher, text(request, "success"), info, false);
}

void QBNInfoHandlers::handleGetUserData(const Json& request) {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto key = text(request, "key");
  if (!key) {
    sendFailCallbackToControllerWithErrorMsg(publisher, "missing key", text(request, "fail"));
    return;
  }
  auto stored = defaults().object(userDefaultsKeyForPageKey(*key));
  reply(publisher, text(request, "success"), {{*key, stored ? std::move(*stored) : Json("{}")}}, true);
}

void QBNInfoHandlers::handleSetUserDate(const Json& request) {
  if (!request.is_object()) return;
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const auto key = text(request, "key");
  if (!key || !has(request, "value")) {
    reply(publisher, text(request, "fail"), Json::object(), false);
    return;
  }
  defaults().setObject(userDefaultsKeyForPageKey(*key), request["value"]);
  (void)defaults().synchronize();
  reply(publisher, text(request, "success"), {{"key", *key}, {"value", request["value"]}}, true);
}
