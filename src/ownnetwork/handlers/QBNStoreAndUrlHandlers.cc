#include "ownnetwork/handlers/QBNStoreAndUrlHandlers.h"

#include <exception>

#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PMEUrlHandler.h"
#include "ownnetwork/services/QBNJsonValues.h"

using platform::Json;
using namespace qbnhandlers;

namespace {

// The text of a caught exception; "" when it carries none.
std::string describe(const std::exception_ptr& caught) {
  try {
    std::rethrow_exception(caught);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "";
  }
}

}  // namespace

std::shared_ptr<QBNStoreAndUrlHandlers> QBNStoreAndUrlHandlers::create(
    std::weak_ptr<QBNPublisherHandlerContext> publisher) {
  return std::shared_ptr<QBNStoreAndUrlHandlers>(new QBNStoreAndUrlHandlers(std::move(publisher)));
}

QBNStoreAndUrlHandlers::QBNStoreAndUrlHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher)
    : publisher_(std::move(publisher)) {}

void QBNStoreAndUrlHandlers::preLoadAppPage(const Json& request) {
  const std::string self = publisherMethod("preLoadAppPage:");
  try {
    const auto appId = text(request, "appId");
    const auto viewUniqueId = text(request, "viewUniqueId");
    if (PMAHelperMethods::isStringExistAndNotEmpty(appId) && PMAHelperMethods::isStringExistAndNotEmpty(viewUniqueId)) {
      if (auto session = QBAppStoreInsideSessionP::sharedInstance()) {
        session->setDelegate(weak_from_this());
        session->loadStoreWithAppId(appId, viewUniqueId, request, false);
      }
      return;
    }
    log(self + ": appId or viewUniqueID is null or empty", 3, kTagNative);
    reply(publisher_.lock(), text(request, "fail"), request, true);
  } catch (...) {
    log(self + ": " + describe(std::current_exception()), 3, kTagNative);
  }
}

void QBNStoreAndUrlHandlers::clearStoreKitAppPage(const Json& request) {
  const auto viewUniqueId = text(request, "viewUniqueId");
  if (auto session = QBAppStoreInsideSessionP::sharedInstance(); session && viewUniqueId) {
    session->cleanupForViewUniqueId(*viewUniqueId);
  }
  log(publisherMethod("clearStoreKitAppPage:") + ": for viewUniqueID: " + viewUniqueId.value_or("(null)"), 1,
      kTagNative);
}

void QBNStoreAndUrlHandlers::handleOpenUrl(const Json& request) {
  if (!has(request, "url") || !has(request, "method")) return;
  auto publisher = publisher_.lock();
  if (!publisher) return;
  const std::string url = PMAHelperMethods::decodeFromPercentEscapeString(text(request, "url").value_or(""));
  const std::string frames =
      PMAHelperMethods::decodeFromPercentEscapeString(text(request, "controlFrames").value_or(""));
  std::optional<Json> controlFrames = Json::array();
  if (!frames.empty()) {
    // Only a list (or an object) of frames counts; anything else gives none.
    auto parsed = PMAHelperMethods::decodeJSONObject(frames, kPMAUTF8StringEncoding, nullptr);
    const bool container = parsed && (parsed->is_array() || parsed->is_object());
    controlFrames = container ? std::move(parsed) : std::nullopt;
  }

  const auto method = text(request, "method");
  if (method == "webview") {
    auto secondary = publisher->secondaryWebViewJSHandler();
    if (!secondary) return;
    std::weak_ptr<QBNPublisherHandlerContext> weakPublisher = publisher_;
    secondary->openSecondaryWebviewWithUrl(url, controlFrames, false, [weakPublisher] {
      reply(weakPublisher.lock(), std::string("openUrl") + "Success", Json::object(), true);
    });
  } else if (method == "store") {
    openStorePage(request, url);
  } else if (method == "external_browser") {
    openExternalUrl(url);
  }
}

void QBNStoreAndUrlHandlers::openStorePage(const Json& request, const std::string& url) {
  auto publisher = publisher_.lock();
  try {
    auto presenting = publisher ? publisher->getPresentedViewController() : nullptr;
    if (!presenting) presenting = PMAHelperMethods::topMostController();
    auto session = QBAppStoreInsideSessionP::sharedInstance();
    const std::string viewUniqueId = text(request, "viewUniqueId").value_or("");
    if (presenting && session && session->hasAppStorePageForViewUniqueId(viewUniqueId)) {
      session->setViewControllerToPresentFrom(presenting);
      session->showStoreForUniqueId(viewUniqueId);
    } else {
      openExternalUrl(url);
    }
  } catch (...) {
    const std::string description = describe(std::current_exception());
    log(publisherMethod("handleOpenUrl:") + ": " + description, 3, kTagNative);
    reply(publisher, text(request, "fail"), {{"errMsg", description.empty() ? "unknown error" : description}}, true);
  }
}

void QBNStoreAndUrlHandlers::openExternalUrl(const std::string& url) {
  PMEUrlHandler::openURL(url, [url](bool opened) {
    log("PlovermarkAdsPublisher: openExternalUrl: | external url: " + url +
            " opened with result: " + (opened ? "success" : "failure"),
        1, kTagNative);
  });
}

void QBNStoreAndUrlHandlers::report(const std::string& command, const std::string& logLine, const Json& parameters) {
  auto session = QBAppStoreInsideSessionP::sharedInstance();
  const auto converted = session ? session->storeKitDataToController(parameters) : std::nullopt;
  std::string line = logLine;
  const std::string shown = converted ? qbnjson::description(*converted) : "parameters are null";
  if (auto at = line.find("%@"); at != std::string::npos) line.replace(at, 2, shown);
  log(line, 1, kTagNative);
  reply(publisher_.lock(), command, converted.value_or(Json::object()), true);
}

void QBNStoreAndUrlHandlers::didStartAppStoreInsideSessionWithParameters(const Json& parameters) {
  report("appStoreInsideStarted",
         publisherMethod("didStartAppStoreInsideSessionWithParameters:") + " with parameters: %@", parameters);
}

void QBNStoreAndUrlHandlers::didFinishAppStoreInsideSessionWithParameters(const Json& parameters) {
  report("appStoreInsideClosed",
         publisherMethod("didFinishAppStoreInsideSessionWithParameters:") + " with parameters: %@", parameters);
}

void QBNStoreAndUrlHandlers::didLoadAppStoreInsideSessionWithParameters(const Json& parameters) {
  report("appStoreInsideLoaded", "loading StoreKit finished with parameters: %@", parameters);
}

void QBNStoreAndUrlHandlers::didShowAppStoreInsideWithParameters(const Json& parameters) {
  report("appStoreInsideDisplayStoreKit",
         publisherMethod("didShowAppStoreInsideWithParameters:") + " with parameters: %@", parameters);
}

void QBNStoreAndUrlHandlers::didFailedToDisplayAppStoreInsideWithError(const platform::Error& /*error*/,
                                                                       const Json& storekitData) {
  const bool hasError = storekitData.is_object() && storekitData.contains("error");
  const std::string error = hasError ? qbnjson::description(storekitData["error"]) : "(null)";
  report("appStoreFailedToDisplayStoreKit",
         publisherMethod("didFailedToDisplayAppStoreInsideWithError:storekitData:") +
             " with parameters: %@, with error:" + error,
         storekitData);
}
