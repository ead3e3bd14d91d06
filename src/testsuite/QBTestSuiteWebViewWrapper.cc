#include "testsuite/QBTestSuiteWebViewWrapper.h"

#include <utility>

#include "platform/dispatch.h"
#include "platform/script/script_literal.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteScriptMessageHandler.h"
#include "testsuite/QBTestSuiteUtils.h"

namespace {

constexpr char kLoadFailedLog[] = "got error during TestSuite web controller loading ";

// An error as the platform describes it in logs.
std::string describe(const platform::Error& error) {
  return "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" + error.message + "\"";
}

std::shared_ptr<platform::WebView> makeWebView(const platform::Rect& frame, platform::WebViewConfiguration configuration) {
  auto webView = std::make_shared<platform::WebView>(frame, std::move(configuration));
  webView->setAllowsLinkPreview(false);
  return webView;
}

}  // namespace

QBTestSuiteWebViewWrapper::QBTestSuiteWebViewWrapper(std::weak_ptr<platform::ViewController> viewController,
                                                     std::weak_ptr<QBTestSuiteAdsManager> adsManager,
                                                     std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate,
                                                     std::string controllerUrl, platform::Json data)
    : viewController_(std::move(viewController)),
      adsManager_(std::move(adsManager)),
      closeDelegate_(std::move(closeDelegate)),
      controllerUrl_(std::move(controllerUrl)),
      data_(std::move(data)) {}

std::shared_ptr<QBTestSuiteWebViewWrapper> QBTestSuiteWebViewWrapper::initWithViewController(
    std::weak_ptr<platform::ViewController> viewController, std::weak_ptr<QBTestSuiteAdsManager> adsManager,
    std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl, platform::Json data) {
  return std::shared_ptr<QBTestSuiteWebViewWrapper>(new QBTestSuiteWebViewWrapper(
      std::move(viewController), std::move(adsManager), std::move(closeDelegate), std::move(controllerUrl),
      std::move(data)));
}

template <class Step>
void QBTestSuiteWebViewWrapper::after(double ms, Step step) {
  // Weakly, and nothing after the clean-up: the suite may close before a
  // timer fires, and its web views are gone then.
  auto block = [weak = weak_from_this(), step = std::move(step)]() mutable {
    auto self = weak.lock();
    if (self && !self->cleanedUp_) step(*self);
  };
  if (ms > 0) {
    platform::mainQueue()->after(ms, std::move(block));
  } else {
    platform::mainQueue()->async(std::move(block));
  }
}

platform::WebViewConfiguration QBTestSuiteWebViewWrapper::webViewBasicConfiguration() { return {}; }

platform::WebViewConfiguration QBTestSuiteWebViewWrapper::appWebViewConfiguration() {
  platform::WebViewConfiguration configuration = webViewBasicConfiguration();
  configuration.userContentController = std::make_shared<platform::UserContentController>();
  auto self = shared_from_this();
  configuration.userContentController->addScriptMessageHandler(
      QBTestSuiteScriptMessageHandler::initWithAdsManager(adsManager_.lock(), self, self, closeDelegate_),
      QBTestSuiteScriptMessageHandler::kName);
  return configuration;
}

void QBTestSuiteWebViewWrapper::setupWebView() {
  if (setUp_ || cleanedUp_) return;
  setUp_ = true;
  auto controller = viewController_.lock();
  const platform::Rect frame = controller ? controller->view()->frame() : platform::Rect{};

  loadingScreenWebView_ = makeWebView(frame, webViewBasicConfiguration());
  appWebView_ = makeWebView(frame, appWebViewConfiguration());
  appWebView_->setNavigationDelegate(weak_from_this());
  platform::URLRequest request;
  request.url = controllerUrl_;
  appWebView_->loadRequest(request);
  loadingScreenWebView_->evaluateJavaScript(loadingScreenScript(), nullptr);
  if (controller) controller->view()->addSubview(loadingScreenWebView_);

  after(kLoadingScreenMinimumMs, [](QBTestSuiteWebViewWrapper& self) { self.loadingScreenMinimumTimeExceeded_ = true; });
  after(kDataOfferedAgainMs, [](QBTestSuiteWebViewWrapper& self) {
    if (self.dataInjected_) {
      self.switchToAppWebView();
    } else {
      self.sendDataToWebController();
    }
  });
}

void QBTestSuiteWebViewWrapper::sendDataToWebController() {
  after(kRecheckMs, [](QBTestSuiteWebViewWrapper& self) {
    if (self.dataInjected_ || !self.appWebView_) return;
    self.appWebView_->evaluateJavaScript("TestSuiteJs.onDataReady(" + platform::scriptLiteral(self.data_) + ")", nullptr);
  });
}

void QBTestSuiteWebViewWrapper::onUIReady() {
  if (cleanedUp_) return;
  dataInjected_ = true;
  if (loadingScreenMinimumTimeExceeded_) {
    switchToAppWebView();
  } else {
    after(kRecheckMs, [](QBTestSuiteWebViewWrapper& self) { self.onUIReady(); });
  }
}

void QBTestSuiteWebViewWrapper::switchToAppWebView() {
  after(0, [](QBTestSuiteWebViewWrapper& self) {
    // A missing test page counts as one without a superview (the clean-up
    // check of after() keeps a closed suite from getting here).
    if (self.appWebView_ && self.appWebView_->superview()) return;
    self.destroyLoadingScreenWebView();
    auto controller = self.viewController_.lock();
    if (controller && self.appWebView_) controller->view()->addSubview(self.appWebView_);
    QBTestSuiteEventsManager::onTestSuiteWebControllerOpened();
  });
}

void QBTestSuiteWebViewWrapper::didFinishNavigation(platform::WebView& webView) {
  if (isAppWebView(webView)) sendDataToWebController();
}

void QBTestSuiteWebViewWrapper::didFailNavigation(platform::WebView& webView, const platform::Error& error) {
  if (!isAppWebView(webView)) return;
  const std::string description = describe(error);
  QBTestSuiteEventsManager::onTestSuiteWebControllerFailedToLoad(description);
  QBTestSuiteMediationSdkProxy::logInternalError(kLoadFailedLog + description);
}

std::string QBTestSuiteWebViewWrapper::createJsScriptForMethodName(const std::string& methodName,
                                                                   const platform::Json& args) {
  const bool hasArgs = args.is_array() && !args.empty();
  return "TestSuiteJs." + methodName + "(" + (hasArgs ? QBTestSuiteUtils::stringifyMethodArgs(args) : "") + ")";
}

void QBTestSuiteWebViewWrapper::evalScript(std::string script) {
  after(0, [script = std::move(script)](QBTestSuiteWebViewWrapper& self) {
    if (self.appWebView_) self.appWebView_->evaluateJavaScript(script, nullptr);
  });
}

void QBTestSuiteWebViewWrapper::onAdCallbackReceived(const std::string& callbackName, const QBAdUnit& adUnit,
                                                     const platform::Json& args) {
  evalScript(createJsScriptForMethodName(
      "onCallbackReceived", platform::Json::array({callbackName, adUnit.value(), args.is_array() ? args : platform::Json::array()})));
}

void QBTestSuiteWebViewWrapper::performCleanup() {
  cleanedUp_ = true;
  destroyLoadingScreenWebView();
  destroyAppWebView();
}

void QBTestSuiteWebViewWrapper::destroyLoadingScreenWebView() {
  if (!loadingScreenWebView_) return;
  loadingScreenWebView_->removeFromSuperview();
  loadingScreenWebView_.reset();
}

void QBTestSuiteWebViewWrapper::destroyAppWebView() {
  if (!appWebView_) return;
  appWebView_->removeFromSuperview();
  appWebView_->configuration().userContentController->removeScriptMessageHandler(QBTestSuiteScriptMessageHandler::kName);
  appWebView_->stopLoading();
  appWebView_.reset();
}
