#include "presentation/QBNAdViewWebPresenter.h"

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PMEUrlHandler.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/ui/application.h"
#include "platform/web/url.h"
#include "presentation/QBNViewVisibilityParameters.h"

namespace {

constexpr char kClass[] = "QBNAdViewWebPresenter";

void log(const std::string& line, uint64_t level = 1) { PlovermarkLogManager::sharedManager().log(line, level, 5); }

// The handler the user-content controller holds: it reaches the presenter
// weakly, so that the presenter, its web view and the web view's
// configuration do not keep each other alive.
class MessageForwarder : public platform::ScriptMessageHandler {
 public:
  explicit MessageForwarder(std::weak_ptr<QBNAdViewWebPresenter> presenter) : presenter_(std::move(presenter)) {}
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage& message) override {
    if (auto presenter = presenter_.lock()) presenter->didReceiveScriptMessage(message);
  }

 private:
  std::weak_ptr<QBNAdViewWebPresenter> presenter_;
};

double& scriptTimeLimitMs() {
  static double milliseconds = 0;  // main queue only
  return milliseconds;
}

std::shared_ptr<platform::View>& offscreenView() {
  static auto& view = *new std::shared_ptr<platform::View>();  // main queue only; lives for the process
  return view;
}

// The own network's cache root, where ad pages given as "./..." paths live;
// none when the folder cannot be made.
std::optional<std::string> cacheRoot() {
  const std::string root = PMADownloadManager::getInstanceRootDirectory();
  if (root.empty() || !platform::isDirectory(root)) return std::nullopt;
  return root;
}

std::string describe(const platform::WebView& view) {
  const auto f = view.frame();
  return "<WebView: frame = (" + std::to_string(f.origin.x) + " " + std::to_string(f.origin.y) + "; " +
         std::to_string(f.size.width) + " " + std::to_string(f.size.height) + "); url = " + view.url() + ">";
}

}  // namespace

QBNAdViewWebPresenter::QBNAdViewWebPresenter(std::string identifier, std::shared_ptr<QBNAdSize> adSize)
    : identifier_(std::move(identifier)), adSize_(std::move(adSize)) {}

QBNAdViewWebPresenter::~QBNAdViewWebPresenter() = default;

std::shared_ptr<QBNAdViewWebPresenter> QBNAdViewWebPresenter::create(std::string identifier,
                                                                     std::shared_ptr<QBNAdSize> adSize,
                                                                     bool shouldUseOffScreenView) {
  std::shared_ptr<QBNAdViewWebPresenter> presenter(new QBNAdViewWebPresenter(std::move(identifier), std::move(adSize)));
  presenter->createWebViewObjectWithSize(shouldUseOffScreenView);
  presenter->adViewLogic_ = std::make_shared<QBNAdViewLogic>();
  presenter->adViewLogic_->setWebView(presenter->webView_);
  return presenter;
}

void QBNAdViewWebPresenter::createWebViewObjectWithSize(bool shouldUseOffScreenView) {
  platform::WebViewConfiguration configuration;
  configuration.mediaTypesRequiringUserActionForPlayback = platform::MediaTypes::None;
  configuration.allowsInlineMediaPlayback = true;
  configuration.preferences->setValue(platform::Preferences::kAllowFileAccessFromFileURLs, true);
  if (scriptTimeLimitMs() > 0) configuration.scriptTimeLimitMs = scriptTimeLimitMs();
  configuration.userContentController->addScriptMessageHandler(
      std::make_shared<MessageForwarder>(weak_from_this()), kQBNContainerMessageHandlerName);
  const double width = adSize_ ? adSize_->width() : 0, height = adSize_ ? adSize_->height() : 0;
  webView_ = std::make_shared<platform::WebView>(platform::Rect::make(0, 0, width, height), configuration);
  webView_->setBackgroundColor(platform::Color::clear());
  webView_->setAutoresizingMask(63);
  webView_->setOpaque(false);
  webView_->scrollView()->setBounces(false);
  webView_->setNavigationDelegate(weak_from_this());
  if (shouldUseOffScreenView) retainViewOffscreen(webView_);
  log(std::string(kClass) + " | created new webview object | description: " + describe(*webView_));
}

void QBNAdViewWebPresenter::fail(const QBNAdViewCompletion& completion, const std::string& reason) const {
  if (completion) {
    completion(PMAHelperMethods::errorWithReason(
        "WPAD - loadAdWithURL:completionHandler: | loadAdWithURL failed | " + reason, 0, std::nullopt));
  }
}

void QBNAdViewWebPresenter::loadAdWithURL(const std::optional<std::string>& url, QBNAdViewCompletion completion) {
  const auto root = cacheRoot();
  if (!root) return fail(completion, "fileSystemLocation is nil");
  const std::string rootURL = platform::fileURLFromPath(*root, true);
  std::string text = url.value_or("");
  const bool inCacheRoot = !text.empty() && text.front() == '.';
  if (inCacheRoot) {
    // "./dir/page.html" names <root>/dir/page.html; a "." path without "/"
    // names nothing in the root.
    const auto slash = text.find('/');
    text = slash == std::string::npos ? std::string() : rootURL + text.substr(slash + 1);
  }
  const std::string scheme = platform::isValidURL(text) ? platform::urlScheme(text) : "";
  bool started = false;
  if (webView_ && !inCacheRoot && (scheme == "http" || scheme == "https")) {
    webView_->loadRequest(platform::URLRequest{.url = text});
    started = true;
  } else if (webView_ && scheme == "file") {
    // Only file URLs reach the file loader, and only inside the cache root.
    started = webView_->loadFileURL(text, rootURL);
  }
  if (!started) return fail(completion, "loadFileURL return null");
  pageFailed_ = false;
  if (completion) completion(std::nullopt);
}

void QBNAdViewWebPresenter::sendMessage(const std::optional<std::string>& message) {
  if (adViewLogic_) adViewLogic_->sendMessageToAdunit(message);
}

void QBNAdViewWebPresenter::sendHandleGetViewVisibility() {
  if (!webView_ || !adViewLogic_) return;
  auto params = QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(webView_);
  params["adViewId"] = identifier_;
  adViewLogic_->reportHandleGetViewVisibilityWithParam(params, communicatorDelegate());
}

void QBNAdViewWebPresenter::performCleanup() {
  log(std::string(kClass) + " " + identifier_ + " | perform cleanup");
  if (adViewLogic_) adViewLogic_->perfromCleanup();
  adViewLogic_.reset();
  if (webView_) webView_->removeFromSuperview();
  cleanUpOffscreenView();
  if (webView_) {
    webView_->setUIDelegate({});
    webView_->setNavigationDelegate({});
  }
  webView_.reset();
  communicatorDelegate_.reset();
}

void QBNAdViewWebPresenter::performWebViewActionWithActionName(const std::optional<std::string>& actionName,
                                                               QBNAdViewCompletion completion) {
  if (actionName == "onPause" || actionName == "onResume") {
    if (webView_) {
      if (*actionName == "onPause") {
        webView_->stopLoading();
      } else {
        pageFailed_ = false;
        webView_->reload();
      }
    }
    if (completion) completion(std::nullopt);
    return;
  }
  if (completion) {
    completion(PMAHelperMethods::errorWithReason(
        "performWebViewActionWithActionName failed. action is not supported", 0, std::nullopt));
  }
}

void QBNAdViewWebPresenter::didReceiveScriptMessage(const platform::ScriptMessage& message) {
  if (webView_) webView_->setUIDelegate(weak_from_this());
  // The page may post any value; only a string that parses to an object is a
  // message.
  std::optional<platform::Error> error;
  platform::Json body;
  if (!message.body.is_string()) {
    error = platform::Error{kPMAErrorDomain, 0, "message body is not a string"};
  } else {
    platform::Error parseError;
    auto parsed = PMAHelperMethods::dictionaryFromJsonString(message.body.get<std::string>(), &parseError);
    if (!parsed) {
      error = parseError;
    } else if (!parsed->is_object()) {
      error = platform::Error{kPMAErrorDomain, 0, "message is not a JSON object"};
    } else {
      body = std::move(*parsed);
    }
  }
  if (error) {
    log(std::string(kClass) + " | userContentController:didReceiveScriptMessage: | userContentController JSON Error | "
                              "description: " + (error->message.empty() ? "unknown" : error->message),
        3);
    return;
  }
  if (body.empty()) return;
  const auto method = body.contains("method") && body["method"].is_string()
                          ? std::optional<std::string>(body["method"].get<std::string>())
                          : std::nullopt;
  if (adViewLogic_ && QBNAdViewLogic::shouldHandeleMessageInContainer(method)) {
    const platform::Json answer{
        {"id", body.contains("id") ? body["id"] : platform::Json()},
        {"data", QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(webView_)}};
    if (auto text = PMAHelperMethods::JSONStringFromDictionary(answer, nullptr)) adViewLogic_->sendMessageToAdunit(*text);
    return;
  }
  log("WPAD - userContentController:didReceiveScriptMessage: | sending message | description: " + platform::dumpJson(body));
  if (adViewLogic_) adViewLogic_->messageHandlerFromAdContainer(method.value_or(""), body, communicatorDelegate());
}

void QBNAdViewWebPresenter::decidePolicyForNavigationAction(platform::WebView&, const platform::NavigationAction& action,
                                                            platform::PolicyDecisionHandler decisionHandler) {
  const auto type = action.navigationType;
  if (type != platform::NavigationType::LinkActivated && type != platform::NavigationType::FormSubmitted) {
    decisionHandler(platform::NavigationActionPolicy::Allow);
    return;
  }
  decisionHandler(platform::NavigationActionPolicy::Cancel);
  handleLinkActivationOnWebviewWithUrl(action.request.url);
}

void QBNAdViewWebPresenter::didFinishNavigation(platform::WebView&) {
  log("WPAD - webView:didFinishNavigation: | webview id " + identifier_);
}

void QBNAdViewWebPresenter::didFailNavigation(platform::WebView&, const platform::Error& error) {
  log("WPAD - webView:didFailNavigation:withError: | webview id " + identifier_);
  adPageFailed(error);
}

void QBNAdViewWebPresenter::webContentProcessDidTerminate(platform::WebView&) {
  QBNEventsTracker::logEvent(QBNEvents::webViewTerminated(),
                             platform::Json{{"callfailreason", "webViewWebContentProcessDidTerminate-presenter"}});
  handleTerminationSwitch();
  adPageFailed(platform::Error{platform::kWebErrorDomain, platform::WebErrorCode::ContentTerminated,
                               "the ad page's content was terminated"});
}

void QBNAdViewWebPresenter::handleTerminationSwitch() {
  if (!QBNFeaturesManager::sharedManager().shouldHandleWebViewTerminated()) return;
  const auto publisher = QBNPublisherAgent::sharedInstance();
  if (!publisher) return;
  publisher->notifyAdCloseAll();
  if (auto manager = publisher->controllerManager()) {
    manager->runCommand("webViewTerminated", platform::Json{{"class", "webPresenter"}}, std::nullopt, std::nullopt,
                        false);
  }
}

void QBNAdViewWebPresenter::adPageFailed(const platform::Error& error) {
  if (pageFailed_ || !webView_) return;
  pageFailed_ = true;
  log(std::string(kClass) + " " + identifier_ + " | the ad page failed: " + error.message, 3);
  if (adViewLogic_) {
    adViewLogic_->reportAdViewFailed(
        platform::Json{{"adViewId", identifier_}, {"errCode", error.code}, {"errMsg", error.message}},
        communicatorDelegate());
  }
  platform::NotificationCenter::defaultCenter().post(kQBNAdViewPageFailedNotification,
                                                     platform::Json{{"adViewId", identifier_}});
}

std::shared_ptr<platform::WebView> QBNAdViewWebPresenter::createWebView(platform::WebView&,
                                                                        const platform::WebViewConfiguration&,
                                                                        const platform::NavigationAction& action,
                                                                        const platform::WindowFeatures&) {
  if (!action.request.url.empty() && (!action.targetFrame || !action.targetFrame->isMainFrame)) {
    handleLinkActivationOnWebviewWithUrl(action.request.url);
  }
  return nullptr;
}

void QBNAdViewWebPresenter::handleLinkActivationOnWebviewWithUrl(const std::string& url) {
  if (!QBNFeaturesManager::sharedManager().allowExternalLinksActivationInWPAD()) {
    log(std::string(kClass) + " | link blocked - link activation is disabled");
    return;
  }
  if (adViewLogic_) {
    adViewLogic_->reportAdContainerLinkActivation(platform::Json{{"adViewId", identifier_}, {"url", url}},
                                                  communicatorDelegate());
  }
  PMEUrlHandler::openURL(url, [url](bool opened) {
    log(std::string("adunit webview: ") + kClass + " | handleLinkActivationOnWebviewWithUrl: | external url: " + url +
        " opened with result: " + (opened ? "success" : "failure"));
  });
}

void QBNAdViewWebPresenter::retainViewOffscreen(const std::shared_ptr<platform::View>& view) {
  auto& container = offscreenView();
  if (!container) {
    // A zero-size view that clips: what it holds is in a window, not on screen.
    container = std::make_shared<platform::View>(platform::Rect{});
    container->setClipsToBounds(true);
    if (auto window = PMAHelperMethods::applicationKeyWindow()) window->addSubview(container);
  }
  if (view) container->addSubview(view);
}

std::shared_ptr<platform::View> QBNAdViewWebPresenter::getOffScreenView() { return offscreenView(); }

void QBNAdViewWebPresenter::cleanUpOffscreenView() {
  auto& container = offscreenView();
  if (!container || !container->subviews().empty()) return;
  container->removeFromSuperview();
  container.reset();
}

void QBNAdViewWebPresenter::setScriptTimeLimitMsForTesting(double milliseconds) { scriptTimeLimitMs() = milliseconds; }

void QBNAdViewWebPresenter::resetOffscreenViewForTesting() {
  auto& container = offscreenView();
  if (container) container->removeFromSuperview();
  container.reset();
}

bool QBNAdViewWebPresenter::isAbsoluteUrl(const std::string& url) { return !platform::urlScheme(url).empty(); }

bool QBNAdViewWebPresenter::isValidUrlScheme(const std::string& url) {
  const auto scheme = platform::urlScheme(url);
  return scheme == "http" || scheme == "https" || scheme == "file";
}

bool QBNAdViewWebPresenter::isRelativeUrl(const std::string& url) {
  return url.rfind("../", 0) == 0 || url.rfind("./", 0) == 0;
}
