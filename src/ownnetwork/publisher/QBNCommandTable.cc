#include "ownnetwork/publisher/QBNCommandTable.h"

#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"
#include "ownnetwork/handlers/QBNFileHandlers.h"
#include "ownnetwork/handlers/QBNInfoHandlers.h"
#include "ownnetwork/handlers/QBNStoreAndUrlHandlers.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/web/PMWVWKWebView.h"

using platform::Json;

namespace {

using Call = QBNCommandCall;

std::string text(const Json& parameters, const char* key) {
  return platform::getString(parameters, key).value_or("(null)");
}

// A feature command with its sub-command inside, for a handler that may be
// missing.
void invoke(const std::shared_ptr<QBNJSInterfaceHandlerP>& handler, const Json& parameters) {
  if (handler) handler->invokeAPIWithJSParams(parameters);
}

template <class F>
void withJS(const Call& c, F f) {
  if (auto handler = c.publisher.jsInterfaceHandler()) f(*handler);
}

const std::vector<QBNCommandRow>& table() {
  static const auto& rows = *new std::vector<QBNCommandRow>{
      {"initController", true,
       [](const Call& c) {
         if (auto manager = c.publisher.concreteControllerManager()) {
           manager->handleInitControllerCallBack(true, c.parameters, std::nullopt);
         }
       }},
      {"getUserData", false, [](const Call& c) { c.publisher.infoHandlers().handleGetUserData(c.parameters); }},
      {"setUserData", false, [](const Call& c) { c.publisher.infoHandlers().handleSetUserDate(c.parameters); }},
      {"getOrientation", false, [](const Call& c) { c.publisher.infoHandlers().handleGetOrientation(c.parameters); }},
      {"getAppOrientationData", false,
       [](const Call& c) { c.publisher.infoHandlers().handleGetAppOrientationData(c.parameters); }},
      {"setWebviewBackgroundColor", false,
       [](const Call& c) { c.publisher.infoHandlers().handleSetBackgroundColor(c.parameters); }},
      {"setUserUniqueId", false, [](const Call& c) { c.publisher.infoHandlers().handleSetUserUniqueId(c.parameters); }},
      {"getUserUniqueId", false, [](const Call& c) { c.publisher.infoHandlers().handleGetUserUniqueId(c.parameters); }},
      {"getControllerConfig", true,
       [](const Call& c) {
         withJS(c, [&](PMAJSInterfaceHandlerP& h) {
           h.getControllerConfig(c.parameters, PlovermarkAdsPublisher::getControllerConfig().value_or(""));
         });
       }},
      {"setOrientation", false,
       [](const Call& c) {
         PlovermarkLogManager::sharedManager().log("setOrientation: " + text(c.parameters, "orientation"), 1, 9);
         if (auto h = c.publisher.orientationJSInterfaceHandler()) h->setPresentationOrientation(c.parameters, true);
       }},
      {"setAppOrientation", false,
       [](const Call& c) {
         PlovermarkLogManager::sharedManager().log("setAppOrientation: " + text(c.parameters, "appOrientation"), 1, 9);
         if (auto h = c.publisher.orientationJSInterfaceHandler()) h->setAppOrientation(c.parameters, true);
       }},
      {"navigationModeChange", false,
       [](const Call& c) {
         if (platform::getString(c.parameters, "state") != "false") return;
         if (auto h = c.publisher.secondaryWebViewJSHandler()) h->animateSecondaryClose(false);
       }},
      {"controlSecondaryWebView", false,
       [](const Call& c) {
         const auto action = platform::getString(c.parameters, "action");
         if (!action) return;
         if (auto h = c.publisher.secondaryWebViewJSHandler()) h->handleSecondaryWebViewCallbackWithAction(*action);
       }},
      {"preLoadAppPage", false, [](const Call& c) { c.publisher.storeAndUrlHandlers().preLoadAppPage(c.parameters); }},
      {"clearAppPage", false,
       [](const Call& c) { c.publisher.storeAndUrlHandlers().clearStoreKitAppPage(c.parameters); }},
      {"openUrl", false, [](const Call& c) { c.publisher.storeAndUrlHandlers().handleOpenUrl(c.parameters); }},
      {"setForceClose", false,
       [](const Call& c) {
         if (!c.parameters.is_object() || c.parameters.empty()) return;
         auto webView = c.publisher.webViewController();
         if (!webView) return;
         auto view = webView->view();
         const platform::Rect frame = view ? view->frame() : platform::Rect{};
         webView->setFrameForCloseButton(PMAHelperMethods::frameForButtonFromParamsDictionary(c.parameters, frame));
       }},
      {"initRewardedVideo", false,
       [](const Call& c) { c.publisher.handleInitRewardedVideoWithCommand(c.command, c.parameters); }},
      {"initInterstitial", false,
       [](const Call& c) { c.publisher.handleInitInterstitialWithCommand(c.command, c.parameters); }},
      {"loadInterstitial", false, [](const Call& c) { c.publisher.handleLoadInterstitial(c.command, c.parameters); }},
      {"initOfferWall", false,
       [](const Call& c) { c.publisher.handleInitOfferWallWithCommand(c.command, c.parameters); }},
      {"showOfferWall", false, [](const Call& c) { c.publisher.handleShowOWWithCommand(c.command, c.parameters); }},
      {"initBanner", false, [](const Call& c) { c.publisher.handleInitBannerWithCommand(c.command, c.parameters); }},
      {"loadBanner", false, [](const Call& c) { c.publisher.handleLoadBannerWithCommand(c.command, c.parameters); }},
      {"getDeviceStatus", false, [](const Call& c) { c.publisher.handleGetDeviceStatus(c.parameters); }},
      {"getApplicationInfo", false,
       [](const Call& c) { c.publisher.infoHandlers().handleGetApplicationInfo(c.parameters); }},
      {"getUserCredits", false,
       [](const Call& c) { c.publisher.handleGetUserCreditsWithCommand(c.command, c.parameters); }},
      {"displayWebView", false,
       [](const Call& c) { c.publisher.creditAndWindowHandlers().handleDisplayWebViewWithparameters(c.parameters); }},
      {"showRewardedVideo", false, [](const Call& c) { c.publisher.handleShowRewardedVideo(c.command, c.parameters); }},
      {"showInterstitial", false, [](const Call& c) { c.publisher.handleShowInterstitial(c.command, c.parameters); }},
      {"saveFile", false, [](const Call& c) { c.publisher.fileHandlers().handleSaveFile(c.parameters); }},
      {"deleteFolder", false, [](const Call& c) { c.publisher.fileHandlers().handleDeleteFolder(c.parameters); }},
      {"deleteFile", false, [](const Call& c) { c.publisher.fileHandlers().handleDeleteFile(c.parameters); }},
      {"getCachedFilesMap", false,
       [](const Call& c) { c.publisher.fileHandlers().handleGetCachedFilesMap(c.parameters, c.query); }},
      {"adUnitsReady", false, [](const Call& c) { c.publisher.handleAdUnitsReady(c.parameters); }},
      {"callPlovermarkAdsFunction", false,
       [](const Call& c) { c.publisher.handleCallPlovermarkAdsFunction(c.command, c.parameters); }},
      {"adCredited", false, [](const Call& c) { c.publisher.creditAndWindowHandlers().handleAdCredited(c.parameters); }},
      {"onAdWindowsClosed", false,
       [](const Call& c) { c.publisher.creditAndWindowHandlers().handleAdWindowsClosed(c.parameters); }},
      {"setWebViewHidden", false,
       [](const Call& c) { c.publisher.creditAndWindowHandlers().handleSetWebViewHidden(c.parameters); }},
      {"adClicked", false, [](const Call& c) { withJS(c, [&](PMAJSInterfaceHandlerP& h) { h.adClicked(c.parameters); }); }},
      {"adLeaveApplication", false,
       [](const Call& c) { withJS(c, [&](PMAJSInterfaceHandlerP& h) { h.adLeaveApplication(c.parameters); }); }},
      {"sendHttpRequest", false,
       [](const Call& c) { withJS(c, [&](PMAJSInterfaceHandlerP& h) { h.sendHTTPRequest(c.parameters); }); }},
      {"checkInstalledApps", false, [](const Call& c) { c.publisher.checkInstalledApps(c.parameters); }},
      {"hybridChangeRatio", false,
       [](const Call& c) {
         if (auto h = c.publisher.hybridAdPresenter()) h->handleHybridViewRatioConstrains(c.parameters);
       }},
      {"postAdEventNotification", false,
       [](const Call& c) { withJS(c, [&](PMAJSInterfaceHandlerP& h) { h.handleAdEventNotification(c.parameters); }); }},
      {"omidAPI", false,
       [](const Call& c) {
         if (auto h = c.publisher.omidHandlerMadeOnFirstUse()) h->invokeAPIWithParams(c.parameters);
       }},
      {"getDeviceVolume", false, [](const Call& c) { c.publisher.infoHandlers().handleGetDeviceVolume(c.parameters); }},
      {"setAllowFileAccessFromFileURLs", false,
       [](const Call& c) { c.publisher.infoHandlers().handleAllowFileAccessFromFileURLs(c.parameters); }},
      {"getDemandSourceState", false,
       [](const Call& c) { c.publisher.infoHandlers().handleGetDemandSourceState(c.parameters); }},
      {"ringerSwitchAPI", false,
       [](const Call& c) { invoke(c.publisher.ringerButtonJSInterfaceHandler(), c.parameters); }},
      {"setNativeConfiguration", false,
       [](const Call& c) { c.publisher.handleSetNativeSessionConfiguration(c.parameters); }},
      {"bannerViewAPI", false, [](const Call& c) { invoke(c.publisher.qbnAdViewJSInterfaceHandler(), c.parameters); }},
      {"iabTokenAPI", true, [](const Call& c) { invoke(c.publisher.tokenJSInterfaceHandler(), c.parameters); }},
      {"deviceDataAPI", true, [](const Call& c) { invoke(c.publisher.deviceDataJSInterfaceHandler(), c.parameters); }},
      {"adViewAPI", false, [](const Call& c) { invoke(c.publisher.wpadJSInterfaceHandler(), c.parameters); }},
      {"SKAdImpressionAPI", false,
       [](const Call& c) { invoke(c.publisher.adImpressionJSInterfaceHandler(), c.parameters); },
       [](const PlovermarkAdsPublisher& p) { return p.adImpressionJSInterfaceHandler() != nullptr; }},
      {"SKOverlayAPI", true, [](const Call& c) { invoke(c.publisher.overlayJSInterfaceHandler(), c.parameters); }},
      {"fileSystemAPI", false, [](const Call& c) { invoke(c.publisher.fileSystemJSHandler(), c.parameters); }},
      {"audioSessionAPI", false, [](const Call& c) { invoke(c.publisher.audioSessionJSHandler(), c.parameters); }},
  };
  return rows;
}

}  // namespace

const std::vector<QBNCommandRow>& QBNCommandTable() { return table(); }

std::optional<size_t> QBNMatchCommandRow(const std::string& command, const PlovermarkAdsPublisher* publisher) {
  const auto& rows = table();
  for (size_t i = 0; i < rows.size(); ++i) {
    const QBNCommandRow& row = rows[i];
    const bool matches = row.exact ? command == row.name : command.rfind(row.name, 0) == 0;
    if (!matches) continue;
    if (row.present && !(publisher && row.present(*publisher))) continue;
    return i;
  }
  return std::nullopt;
}
