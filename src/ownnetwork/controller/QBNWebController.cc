#include "ownnetwork/controller/QBNWebController.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/device.h"
#include "platform/script/script_literal.h"
#include "platform/ui/view.h"
#include "platform/web/url.h"

using platform::Json;

namespace {

void log(const std::string& message, uint64_t level, int tag) {
  PlovermarkLogManager::sharedManager().log(message, level, tag);
}

platform::Error controllerError(int code, const std::string& message) {
  return PMAHelperMethods::errorWithReason(message, code, std::string(kPMAErrorDomain));
}

}  // namespace

QBNWebController::QBNWebController(std::weak_ptr<QBNControllerPublisherP> publisher) : publisher_(std::move(publisher)) {}

QBNWebController::~QBNWebController() { clearTimers(); }

std::shared_ptr<QBNWebController> QBNWebController::create(std::weak_ptr<QBNControllerPublisherP> publisher) {
  auto controller = std::shared_ptr<QBNWebController>(new QBNWebController(std::move(publisher)));
  platform::mainQueue()->async([weakSelf = std::weak_ptr<QBNWebController>(controller)] {
    if (auto self = weakSelf.lock()) self->createControllerAPIDispatcher();
  });
  return controller;
}

void QBNWebController::createControllerAPIDispatcher() {
  auto dispatcher = std::make_shared<QBNControllerAPIDispatcher>(publisher_);
  std::lock_guard<std::mutex> lock(mutex_);
  controllerAPIDispatcher_ = std::move(dispatcher);
}

std::shared_ptr<QBNControllerAPIDispatcher> QBNWebController::controllerAPIDispatcher() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerAPIDispatcher_;
}

void QBNWebController::runCommand(const QBNControllerAPIData& command) {
  if (auto dispatcher = controllerAPIDispatcher()) {
    dispatcher->dispatchCommandWithData(command, command.encodingOptions());
  } else {
    command.taken();  // dropped: no page can hear it
  }
}

void QBNWebController::clearTimers() {
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timer = std::move(loadTimer_);
  }
  if (timer) timer->cancel();
}

bool QBNWebController::hasLoadTimer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loadTimer_ && loadTimer_->isValid();
}

std::shared_ptr<QBNControllerDelegate> QBNWebController::controllerDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_.lock();
}

void QBNWebController::setControllerDelegate(std::weak_ptr<QBNControllerDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_ = std::move(delegate);
}

void QBNWebController::reportFailure(platform::Error error) {
  if (auto delegate = controllerDelegate()) delegate->handleInitControllerCallBack(false, Json::object(), error);
}

void QBNWebController::tearDownPage() {
  if (!platform::isMainThread()) {
    platform::mainQueue()->async([self = shared_from_this()] { self->tearDownPage(); });
    return;
  }
  auto publisher = publisher_.lock();
  auto webView = publisher ? publisher->webViewController() : nullptr;
  if (!webView) return;
  if (webView->webViewDelegate().get() == static_cast<PMWVWebViewDelegate*>(this)) webView->setWebViewDelegate({});
  webView->stopLoading();
  webView->terminateWebContentProcess();
  log("QBNWebController | the controller page was torn down: the native controller took over", 1, 5);
}

// ------------------------------------------------------------------ download

void QBNWebController::downloadControllerFromURL(const std::string& url,
                                                 const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                                                 std::weak_ptr<platform::Timer> globalInitTimer,
                                                 const std::optional<std::string>& controllerConfig,
                                                 int64_t debugMode) {
  std::weak_ptr<QBNWebController> weakSelf = weak_from_this();
  const auto stopGlobalTimer = [globalInitTimer] {
    if (auto timer = globalInitTimer.lock()) timer->cancel();
  };
  if (!PMEReachabilityManager::checkReachability()) {
    stopGlobalTimer();
    // The caller may be creating the publisher under its lock: the manager
    // hears of it from the main queue, like of every other init step.
    platform::mainQueue()->async([weakSelf] {
      if (auto self = weakSelf.lock()) {
        self->reportFailure(controllerError(kQBNControllerNoConnectionCode, kQBNControllerNoConnectionMessage));
      }
    });
    return;
  }
  if (!url.empty()) {
    log("PlovermarkAdsPublisher downloadController: setting controller url to value received from server", 1, 5);
  } else {
    log("did not receive controller download url", 3, 5);
  }
  log("downloading controller from " + url, 0, 5);
  if (!dataManager) return;

  platform::URLRequest request;
  request.url = url;
  request.timeoutSeconds = kQBNControllerDownloadTimeoutSeconds;
  request.ignoreLocalCache = true;
  dataManager->sendDataRequest(
      std::move(request), platform::mainQueue(),
      [weakSelf, dataManager, url, controllerConfig, debugMode, stopGlobalTimer](platform::DataTaskResult result) {
        auto self = weakSelf.lock();
        if (!self) return;
        const auto failed = [&](const std::optional<platform::Error>& cause) {
          stopGlobalTimer();
          const std::string message =
              cause && !cause->message.empty() ? cause->message : std::string(kQBNControllerDownloadFailedMessage);
          self->reportFailure(controllerError(kQBNControllerDownloadFailedCode, message));
        };
        if (result.error) {
          failed(result.error);
          return;
        }
        auto downloadMgr = dataManager->downloadMgr();
        platform::Error storeError;
        const bool stored = downloadMgr && downloadMgr->storeData(result.body, true, kQBNControllerFileName,
                                                                  std::string(kQBNControllerFolderName), true, true,
                                                                  &storeError);
        if (!stored) {
          // Reported whether or not the store explained itself: the global
          // timer would otherwise be the only way out, 200 s later.
          failed(storeError.message.empty() ? std::nullopt : std::optional<platform::Error>(storeError));
          return;
        }
        self->loadControllerFromURL(url, dataManager, controllerConfig, debugMode);
      });
}

// ------------------------------------------------------------------ load

void QBNWebController::loadControllerFromURL(const std::string& url,
                                             const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                                             const std::optional<std::string>& controllerConfig, int64_t debugMode) {
  std::string address = createRequestURLforController(url, controllerConfig, dataManager, debugMode);
  auto downloadMgr = dataManager ? dataManager->downloadMgr() : nullptr;
  if (!downloadMgr) downloadMgr = std::make_shared<PMADownloadManager>();
  std::string readAccessURL = PMADownloadManager::fileURLWithPath(downloadMgr->getInstanceCacheFolderUseRoot(true), true);
  std::weak_ptr<QBNWebController> weakSelf = weak_from_this();
  platform::mainQueue()->async(
      [weakSelf, address = std::move(address), readAccessURL = std::move(readAccessURL)] {
        if (auto self = weakSelf.lock()) self->loadOnMainQueue(address, readAccessURL);
      });
}

void QBNWebController::loadOnMainQueue(const std::string& address, const std::string& readAccessURL) {
  auto publisher = publisher_.lock();
  auto webView = publisher ? publisher->webViewController() : nullptr;
  if (webView) {
    webView->stopLoading();
    webView->setWebViewDelegate(std::static_pointer_cast<PMWVWebViewDelegate>(shared_from_this()));
  }
  log("loading webview with parameters:\n" + address, 1, 5);

  std::weak_ptr<QBNWebController> weakSelf = weak_from_this();
  auto timer = platform::Timer::once(platform::mainQueue(), kQBNControllerLoadTimeoutMs, [weakSelf, address] {
    if (auto self = weakSelf.lock()) self->controllerLoadTimerFired(address);
  });
  std::shared_ptr<platform::Timer> previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::exchange(loadTimer_, std::move(timer));
  }
  if (previous) previous->cancel();
  if (!webView) return;

  // The address is already a valid URL: the file URL escapes its path, and
  // every query value is escaped on its own.
  platform::URLRequest request;
  request.url = address;
  if (webView->webViewClass() == "WKWebView") {
    auto view = webView->view();
    view->setHidden(true);
    if (auto window = PMAHelperMethods::applicationKeyWindow()) window->insertSubview(view, 0);
  }
  webView->loadFileRequest(request, readAccessURL);
}

void QBNWebController::controllerLoadTimerFired(const std::string& url) {
  (void)url;
  log("controllerLoadTimerFired, fails", 1, 5);
  clearTimers();
  reportFailure(controllerError(kQBNControllerLoadFailedCode, kQBNControllerLoadFailedMessage));
}

// ------------------------------------------------------------------ page address

std::optional<std::string> QBNWebController::controllerConfigMandatoryParams(
    const std::optional<std::string>& controllerConfig, platform::Error* error) {
  const auto fail = [error](const char* reason) -> std::optional<std::string> {
    if (error) *error = PMAHelperMethods::errorWithReason(std::string(reason), 0, std::string(kPMAErrorDomain));
    return std::nullopt;
  };
  if (!controllerConfig) return fail("invalid json data");
  auto parsed = platform::parseJson(*controllerConfig);
  if (!parsed) return fail("cannot serialize controller config as JSON");
  const Json& config = parsed.value();
  if (!config.is_object()) return fail("Failed to parse mandatory controller data");
  Json mandatory = Json::object();
  for (const char* key : {"applicationKey", "webviewType"}) {
    if (config.contains(key)) mandatory[key] = config[key];
  }
  if (config.contains("isSecured")) {
    auto secured = qbnjson::boolValue(config["isSecured"]);
    if (!secured) return fail("Failed to parse mandatory controller data");
    mandatory["isSecured"] = *secured;
  }
  auto text = PMAHelperMethods::JSONStringFromDictionary(mandatory, nullptr);
  if (!text) return fail("failed to create mandatory controller config as JSON");
  return text;
}

std::string QBNWebController::createRequestURLforController(const std::string& url,
                                                            const std::optional<std::string>& controllerConfig,
                                                            const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                                                            int64_t debugMode) const {
  auto downloadMgr = dataManager ? dataManager->downloadMgr() : nullptr;
  if (!downloadMgr) downloadMgr = std::make_shared<PMADownloadManager>();
  const std::string fileURL =
      downloadMgr->getUrlFileByName(kQBNControllerFileName, std::string(kQBNControllerFolderName), true)
          .value_or(downloadMgr->getControllerUrl());

  const auto components = platform::urlComponents(url);
  std::string sessionId;
  if (auto publisher = publisher_.lock()) {
    const Json params = publisher->getSDKInitParams();
    if (auto id = platform::getString(params, "sessionid")) sessionId = *id;
  }
  platform::Error error;
  auto mandatory = controllerConfigMandatoryParams(controllerConfig, &error);
  if (!mandatory) {
    log("QBNWebController | createRequestURLforController:controllerConfig:dataManager:debugMode: | failed to fetch "
        "mandatory controller config data " +
            error.message,
        1, 6);
  }
  const std::vector<std::pair<const char*, std::string>> items = {
      {"SDKVersion", kQBNSDKVersion},
      {"deviceOSVersion", platform::deviceFacts().facts().osVersion},
      {"deviceOs", "ios"},
      {"protocol", (components ? components->scheme : std::string()) + ":"},
      {"domain", components ? components->host : std::string()},
      {"debug", std::to_string(debugMode)},
      {"webviewType", "wk"},
      {"sessionid", sessionId},
      {"controllerConfig", mandatory.value_or("{}")},
  };
  std::string address = fileURL + "?";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) address += '&';
    address += items[i].first;
    address += '=';
    address += PMAHelperMethods::encodeToPercentEscapeString(items[i].second);
  }
  return address;
}

// ------------------------------------------------------------------ web view

void QBNWebController::loadSuccessfully(const std::shared_ptr<PMWVWebViewP>& webView) {
  if (!webView) return;
  auto view = webView->view();
  auto window = view ? view->window() : nullptr;
  if (window && window->bounds().width() > view->bounds().width()) {
    char width[32];
    std::snprintf(width, sizeof width, "%d", static_cast<int>(view->bounds().width()));
    webView->evaluateJavaScript(std::string("var viewport = document.querySelector('meta[name=viewport]');") +
                                "viewport.setAttribute('content', " +
                                platform::scriptStringLiteral(std::string("width=") + width +
                                                              ", initial-scale=1.0, user-scalable=1") +
                                ");");
  }
  if (auto scrollView = webView->scrollView()) scrollView->setContentOffset(platform::Point{0, 0});
}

void QBNWebController::failedToLoadWithError(const platform::Error& error, const std::shared_ptr<PMWVWebViewP>&) {
  // The load timer decides.
  log("WebView failed to load with error: " + PMAHelperMethods::errorDescription(error), 1, 5);
}

void QBNWebController::webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>&) {
  if (auto delegate = std::dynamic_pointer_cast<QBNWebControllerDelegate>(controllerDelegate())) {
    delegate->handleWebViewTerminated();
  }
}

bool QBNWebController::shouldLoadRequestForWebview(const std::shared_ptr<PMWVWebViewP>&,
                                                   const platform::URLRequest& request, int navigationType) {
  auto delegate = std::dynamic_pointer_cast<QBNWebControllerDelegate>(controllerDelegate());
  return delegate ? delegate->handleControllerCallback(request, navigationType) : false;
}
