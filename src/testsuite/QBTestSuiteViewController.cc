#include "testsuite/QBTestSuiteViewController.h"

#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "quillborne/QBError.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

namespace {
constexpr int kTagApi = 0;
constexpr char kCannotPresentMessage[] = "TestSuite cannot be launched, the view controller cannot present it";
}  // namespace

std::shared_ptr<QBTestSuiteViewController> QBTestSuiteViewController::init() {
  return std::shared_ptr<QBTestSuiteViewController>(new QBTestSuiteViewController());
}

bool QBTestSuiteViewController::presentTestSuiteViewController(const platform::ViewControllerRef& presenting,
                                                               const std::string& controllerUrl,
                                                               const platform::Json& data) {
  auto self = std::static_pointer_cast<QBTestSuiteViewController>(sharedController());
  adsManager_ = QBTestSuiteAdsManager::initWithWebController(self);
  webViewWrapper_ = QBTestSuiteWebViewWrapper::initWithViewController(
      self, adsManager_, std::weak_ptr<QBTestSuiteOnClosedDelegate>(self), controllerUrl, data);
  adsDelegateManager_ = QBTestSuiteAdsDelegateManager::initWithAdsManager(adsManager_, webViewWrapper_);
  setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  if (presenting && presenting->presentViewController(self, true)) return true;

  // Nothing is on screen: the suite must not count as open.
  QBLoggerManager::sharedInstance().dynamicLog(__func__, kCannotPresentMessage, 3, kTagApi);
  QBTestSuiteMediationSdkProxy::onTestSuiteClosed();
  QBTestSuiteEventsManager::onTestSuiteLaunchFailed(kCannotPresentErrorCode);
  webViewWrapper_.reset();
  adsDelegateManager_.reset();
  return false;
}

void QBTestSuiteViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  if (adsDelegateManager_) adsDelegateManager_->setupTestSuiteDelegates();
  if (webViewWrapper_) webViewWrapper_->setupWebView();
}

void QBTestSuiteViewController::onClosed() {
  std::weak_ptr<QBTestSuiteViewController> weak =
      std::static_pointer_cast<QBTestSuiteViewController>(sharedController());
  platform::mainQueue()->async([weak] {
    if (auto self = weak.lock()) self->close(true);
  });
}

void QBTestSuiteViewController::viewDidDisappear(bool animated) {
  platform::ViewController::viewDidDisappear(animated);
  // Still presented: covered, not gone.
  if (presentingViewController()) return;
  // Dismissed without the page's close: nobody can see or close the page any
  // more, so the bridges must not keep the application's ad callbacks, nor the
  // load requests steer its loads, nor the suite count as open.
  close(false);
}

void QBTestSuiteViewController::close(bool dismiss) {
  if (!adsDelegateManager_ && !webViewWrapper_) return;  // closed already
  if (webViewWrapper_) webViewWrapper_->performCleanup();
  webViewWrapper_.reset();
  // Before the bridges go: a banner the suite loaded would otherwise report to
  // the application's delegates.
  QBTestSuiteMediationSdkProxy::destroyTestSuiteBanner();
  if (adsDelegateManager_) adsDelegateManager_->performCleanup();
  adsDelegateManager_.reset();
  if (adsManager_) adsManager_->setRetainViewController(false);
  if (!dismiss) return;
  // From its presenter: the suite leaves together with whatever it presents
  // (an ad shown over it). Sent to the suite itself, the dismissal would take
  // only the ad and leave an emptied suite on screen.
  if (auto presenter = presentingViewController()) {
    presenter->dismissViewControllerAnimated(true);
  } else {
    dismissViewControllerAnimated(true);
  }
}

void QBTestSuiteViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
  if (adsManager_ && adsManager_->retainViewController()) {
    QBLoggerManager::sharedInstance().dynamicLog(__func__, "dismissal ignored while an ad retains the test suite", 1,
                                                 6);
    return;
  }
  platform::ViewController::dismissViewControllerAnimated(animated, std::move(completion));
}
