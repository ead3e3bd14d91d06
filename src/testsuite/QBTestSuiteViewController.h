#pragma once
// The test suite's full-screen view controller: it owns the web-view wrapper,
// the ads manager and the ads delegate manager, is presented full screen from
// the application's view controller, refuses to be dismissed while an ad that
// asked for it is loaded or on screen over it, and tears the suite down when
// the page asks to close or when it has left the screen otherwise.
//
// Main queue only. docs/test-suite.md describes the launch and the close.
#include <functional>
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"
#include "testsuite/QBTestSuiteAdsDelegateManager.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteOnClosedDelegate.h"
#include "testsuite/QBTestSuiteWebViewWrapper.h"

class QBTestSuiteViewController : public platform::ViewController, public QBTestSuiteOnClosedDelegate {
 public:
  // The error code of a launch whose presentation cannot happen (no view
  // controller, or one that cannot present it).
  static constexpr int kCannotPresentErrorCode = 1723;

  static std::shared_ptr<QBTestSuiteViewController> init();

  // Makes the ads manager, the web-view wrapper (with the page address and the
  // page data) and the ads delegate manager, then asks `presenting` to present
  // this controller full screen, animated. When it refuses (none, not in a
  // window, already presenting something), the launch is undone: the SDK
  // object forgets the suite (its flag and load requests), event 72 with code
  // 1723 goes out and the refusal is logged (level 3, tag API). Returns
  // whether the controller is presented.
  bool presentTestSuiteViewController(const platform::ViewControllerRef& presenting, const std::string& controllerUrl,
                                      const platform::Json& data);

  // The page asked to close: on the main queue, in this order, the web views
  // go, the suite's banner is destroyed (so none of its callbacks reaches the
  // application), the bridges are removed and the SDK object forgets the
  // suite, the ads manager stops retaining the controller, and the controller
  // is dismissed (animated) with whatever it presents. Later calls do nothing.
  void onClosed() override;

  // The suite has left the screen: when it no longer has a presenter (it was
  // dismissed, by the page's close or by anyone else: the application, an
  // ad's code), the close's clean-up runs if it has not, without a dismissal.
  void viewDidDisappear(bool animated) override;

  // Ignored (neither dismissed nor completed) while the ads manager retains
  // the controller; otherwise the platform's dismissal.
  void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr) override;
  bool shouldAutorotate() const override { return false; }
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return platform::InterfaceOrientation::Portrait;
  }

  const std::shared_ptr<QBTestSuiteWebViewWrapper>& webViewWrapper() const { return webViewWrapper_; }
  const std::shared_ptr<QBTestSuiteAdsManager>& adsManager() const { return adsManager_; }
  const std::shared_ptr<QBTestSuiteAdsDelegateManager>& adsDelegateManager() const { return adsDelegateManager_; }

 protected:
  QBTestSuiteViewController() = default;
  // The bridges take over the ad callbacks, then the web views are set up.
  void viewDidLoad() override;

 private:
  // The clean-up of the close; `dismiss`: then the controller dismisses
  // itself. Nothing when it ran already.
  void close(bool dismiss);

  std::shared_ptr<QBTestSuiteWebViewWrapper> webViewWrapper_;
  std::shared_ptr<QBTestSuiteAdsManager> adsManager_;
  std::shared_ptr<QBTestSuiteAdsDelegateManager> adsDelegateManager_;
};
