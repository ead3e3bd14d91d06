// The page's side of the publisher: page-to-native URLs, the notices sent to
// the page, and what is on screen.
#include <algorithm>
#include <cctype>

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"
#include "ownnetwork/handlers/QBNStoreAndUrlHandlers.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/publisher/PMAPageURL.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "ownnetwork/web/PMWVWebViewP.h"
#include "platform/dispatch.h"
#include "platform/script/script_literal.h"
#include "platform/web/url.h"

using platform::Json;

namespace {

constexpr char kCommandScheme[] = "plovermarkads";
constexpr char kForceCloseCommand[] = "removeCloseEventHandler";
constexpr char kControllerName[] = "mobileController";
// The route-change notice's reason (a number); 2: the old output device
// became unavailable.
constexpr char kRouteChangeReasonKey[] = "AVAudioSessionRouteChangeReasonKey";
constexpr int64_t kRouteChangeOldDeviceUnavailable = 2;

void log(const std::string& message, uint64_t level, int tag) {
  PlovermarkLogManager::sharedManager().log(message, level, tag);
}

std::string lowerCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

bool PlovermarkAdsPublisher::isControllerReady() const {
  const auto manager = concreteControllerManager();
  return manager && manager->controllerState() == QBNControllerState::Ready;
}

// ------------------------------------------------------------------ page-to-native URLs

bool PlovermarkAdsPublisher::handleControllerCallback(const platform::URLRequest& request, int navigationType) {
  // A text that is no URL has no scheme, host or query; only the prefix tests
  // of its own text can still apply.
  const auto url = PMAPageURL::parse(request.url);
  const std::string absolute = url ? url->absoluteString : request.url;
  const std::string lower = lowerCased(absolute);
  const std::string host = url ? url->host : std::string();
  const std::string query = url ? url->query : std::string();
  const Json parameters = PMAHelperMethods::dictionaryFromQueryStringParameters(query);

  if (!startsWith(lower, "logmessage:")) {
    log("main: " + absolute, 0, 9);
    log("main: " + (host.empty() ? absolute : host), 1, 9);
  }

  // Once the page runs, the controller web view never navigates away from it:
  // main-frame navigations, and links or forms in sub-frames, open in the
  // secondary web view instead (unless they lead to the page itself).
  if (isControllerReady() &&
      (request.mainDocumentURL == request.url || static_cast<uint64_t>(static_cast<int64_t>(navigationType)) <= 1)) {
    std::optional<std::string> controllerFile;
    const auto manager = dataManager();
    if (auto downloads = manager ? manager->downloadMgr() : nullptr) {
      controllerFile = downloads->getUrlFileByName(std::string(kControllerName) + ".html", kControllerName, true);
    }
    const auto controllerPath = controllerFile ? platform::filePathFromURL(*controllerFile) : std::nullopt;
    if (!url || !controllerPath || url->decodedPath() != *controllerPath) {
      if (auto secondary = secondaryWebViewJSHandler()) {
        secondary->openSecondaryWebviewWithUrl(absolute, std::nullopt, false, nullptr);
      }
    }
    return false;
  }

  if (url && url->scheme == kCommandScheme) {
    acknowledge(platform::getString(parameters, "acknowledgeWith"), host, query);
    if (host == kForceCloseCommand) {
      std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
      platform::mainQueue()->async([weakSelf, parameters] {
        auto self = weakSelf.lock();
        if (auto presenter = self ? self->presenterJSInterfaceHandler() : nullptr) presenter->handleForceCloseApi(parameters);
      });
    } else {
      handlePlovermarkCallbackWithCommand(host, query, lower);
    }
    return false;
  }

  const auto endMessage = [this](const std::string& kind) {
    if (auto webView = webViewController()) webView->evaluateJavaScript("PMA_CORE.Msg.Ios.endMessage(" + platform::scriptStringLiteral(kind) + ")");
  };
  if (startsWith(lower, "safarihttp:") || startsWith(lower, "safarihttps:")) {
    endMessage(startsWith(lower, "safarihttps:") ? "safarihttps" : "safarihttp");
    // The address behind the "safari" marker keeps its own scheme and every
    // part of it (a redirect in its query included).
    openExternalUrl(absolute.substr(6));
    return false;
  }
  if (startsWith(lower, "tel:")) {
    endMessage("tel");
    // An international number keeps its "+".
    openExternalUrl(lower);
    return false;
  }
  if (startsWith(lower, "mailto:")) {
    endMessage("mailto");
    openExternalUrl(absolute);
    return false;
  }
  if (startsWith(lower, "logmessage:")) {
    acknowledge(platform::getString(parameters, "acknowledgeWith"), host, query);
    log(PMAHelperMethods::decodeFromPercentEscapeString(platform::getString(parameters, "message").value_or("")), 1, 7);
    return false;
  }
  return true;
}

void PlovermarkAdsPublisher::acknowledge(const std::optional<std::string>& function, const std::string& host,
                                         const std::string& query) {
  // Without a function to receive it there is nobody to acknowledge to.
  const auto manager = concreteControllerManager();
  if (!function || function->empty() || !manager) return;
  manager->runCommand(*function, Json{{"message", host + "?" + query}},
                      host.empty() ? std::nullopt : std::optional<std::string>(host), std::nullopt, true);
}

void PlovermarkAdsPublisher::openExternalUrl(const std::string& url) { QBNStoreAndUrlHandlers::openExternalUrl(url); }

// ------------------------------------------------------------------ notices

void PlovermarkAdsPublisher::sendNotice(const std::string& command, const Json& parameters) {
  if (const auto manager = concreteControllerManager()) {
    manager->runCommand(command, parameters, std::nullopt, std::nullopt, true);
  }
}

void PlovermarkAdsPublisher::appDidEnterBackground() {
  if (!webViewController()) return;
  sendNotice("enterBackground", Json{{"action", "interrupt"}, {"type", "background"}});
}

void PlovermarkAdsPublisher::appWillEnterForeground() {
  if (!webViewController()) return;
  sendNotice("enterForeground", Json{{"active", false}, {"type", "foreground"}});
}

void PlovermarkAdsPublisher::appWillResignActive() {
  if (!webViewController()) return;
  sendNotice("enterForeground", Json{{"active", false}, {"type", "resignActive"}});
  sendNotice("viewableChange", Json{{"isViewable", false}, {"type", "resignActive"}});
}

void PlovermarkAdsPublisher::appDidBecomeActive() {
  if (!webViewController()) return;
  sendNotice("enterForeground", Json{{"active", true}, {"type", "becomeActive"}});
  if (isAnyViewPresented()) sendNotice("viewableChange", Json{{"isViewable", true}, {"type", "becomeActive"}});
}

void PlovermarkAdsPublisher::reachabilityChanged(std::shared_ptr<PMEReachability> reachability) {
  if (!reachability || !isControllerReady()) return;
  sendNotice("deviceStatusChanged", Json{{"connectionType", reachability->getDeviceReachabilityType()}});
}

void PlovermarkAdsPublisher::audioHardwareRouteChanged(const Json& userInfo) {
  if (!isControllerReady() || !webViewController()) return;
  const bool unplugged = qbnjson::integerValue(userInfo, kRouteChangeReasonKey) == kRouteChangeOldDeviceUnavailable;
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  platform::mainQueue()->async([weakSelf, unplugged] {
    if (auto self = weakSelf.lock()) {
      self->sendNotice("deviceStatusChanged", Json{{"earphonesConnected", unplugged ? "false" : "true"}});
    }
  });
}

// ------------------------------------------------------------------ on screen

bool PlovermarkAdsPublisher::isAnyViewPresented() const {
  if (auto hybrid = hybridAdPresenter(); hybrid && hybrid->isPresented()) return true;
  auto presenterHandler = presenterJSInterfaceHandler();
  auto presenter = presenterHandler ? presenterHandler->productPresenter() : nullptr;
  return presenter && presenter->isCurrentlyPresented();
}

std::shared_ptr<platform::ViewController> PlovermarkAdsPublisher::getPresentedViewController() const {
  if (auto hybrid = hybridAdPresenter(); hybrid && hybrid->isPresented()) return hybrid->presentedViewController();
  auto presenterHandler = presenterJSInterfaceHandler();
  auto presenter = presenterHandler ? presenterHandler->productPresenter() : nullptr;
  if (presenter && presenter->isCurrentlyPresented()) return presenter->presentedViewController();
  return nullptr;
}

void PlovermarkAdsPublisher::closeWebViewIsSecondaryWebview(bool isSecondaryWebview, const Json& parameters) {
  if (creditAndWindowHandlers_) creditAndWindowHandlers_->closeWebViewIsSecondaryWebview(isSecondaryWebview, parameters);
}
