#pragma once
// The owner of the test suite's web views (the loading screen and the test
// page) inside the suite's view controller. It keeps the page address and the
// page data it hands over, refers to the view controller, the ads manager and
// the close delegate weakly, and is set up once when the suite's view has
// loaded and cleaned up once when the suite closes.
//
// This version shows no web view: set-up records the call and clean-up lets
// go of what set-up made.
//
// Main queue only.
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteOnClosedDelegate.h"

class QBTestSuiteWebViewWrapper {
 public:
  static std::shared_ptr<QBTestSuiteWebViewWrapper> initWithViewController(
      std::weak_ptr<platform::ViewController> viewController, std::weak_ptr<QBTestSuiteAdsManager> adsManager,
      std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl, platform::Json data);
  virtual ~QBTestSuiteWebViewWrapper() = default;

  // Builds and starts the web views.
  virtual void setupWebView();
  // Removes the web views and unregisters the page's script handler.
  virtual void performCleanup();

  const std::string& controllerUrl() const { return controllerUrl_; }
  const platform::Json& data() const { return data_; }
  bool isSetUp() const { return setUp_; }
  bool isCleanedUp() const { return cleanedUp_; }

 protected:
  QBTestSuiteWebViewWrapper(std::weak_ptr<platform::ViewController> viewController,
                            std::weak_ptr<QBTestSuiteAdsManager> adsManager,
                            std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl,
                            platform::Json data);

  const std::weak_ptr<platform::ViewController> viewController_;
  const std::weak_ptr<QBTestSuiteAdsManager> adsManager_;
  const std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate_;
  const std::string controllerUrl_;
  const platform::Json data_;
  bool setUp_ = false;
  bool cleanedUp_ = false;
};
