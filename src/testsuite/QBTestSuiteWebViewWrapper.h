#pragma once
// The owner of the test suite's two web views inside the suite's view
// controller: the loading screen (a small page of the project's own, written
// into a blank page) and the test page, loaded from the configuration's
// address, which talks to native code through the "TestSuiteBridge" script
// message handler and hears TestSuiteJs.onDataReady(data) and
// TestSuiteJs.onCallbackReceived(name, adUnit, args).
//
// Timeline (main queue, the platform clock): set-up loads the test page and
// shows the loading screen; 2.0 s later the loading screen has been up long
// enough; 0.5 s after each finished navigation of the test page, and once
// more 10.0 s after set-up, the data is offered unless the page acknowledged
// it already ("onDataLoaded"); the acknowledgement switches to the test page
// at once when the 2.0 s are over, else at the first 0.5 s re-check after
// them. The switch puts the test page in place of the loading screen and
// sends event 73, once. A test page that fails to load sends event 74 and
// leaves the loading screen up. Every timer holds the wrapper weakly and does
// nothing once it is cleaned up.
//
// Main queue only. It refers to the view controller, the ads manager and the
// close delegate weakly.
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"
#include "platform/web/web_view.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteJavaScriptEvaluatorDelegate.h"
#include "testsuite/QBTestSuiteOnClosedDelegate.h"
#include "testsuite/QBTestSuiteUIReadyDelegate.h"

class QBTestSuiteWebViewWrapper : public QBTestSuiteJavaScriptEvaluatorDelegate,
                                  public QBTestSuiteUIReadyDelegate,
                                  public platform::NavigationDelegate,
                                  public std::enable_shared_from_this<QBTestSuiteWebViewWrapper> {
 public:
  static constexpr double kLoadingScreenMinimumMs = 2000;
  static constexpr double kDataOfferedAgainMs = 10000;
  static constexpr double kRecheckMs = 500;

  static std::shared_ptr<QBTestSuiteWebViewWrapper> initWithViewController(
      std::weak_ptr<platform::ViewController> viewController, std::weak_ptr<QBTestSuiteAdsManager> adsManager,
      std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl, platform::Json data);

  // Builds both web views with the view controller's view's frame (none:
  // zero), starts the test page's load, writes the loading screen and puts it
  // into the view, and starts the 2.0 s and 10.0 s timers. Once.
  void setupWebView();
  // A new configuration with default settings (the loading screen's).
  static platform::WebViewConfiguration webViewBasicConfiguration();
  // The basic configuration with a new user content controller holding a new
  // QBTestSuiteScriptMessageHandler under "TestSuiteBridge".
  platform::WebViewConfiguration appWebViewConfiguration();

  // The page's TestSuiteJs.onCallbackReceived(name, adUnit value, args).
  void onAdCallbackReceived(const std::string& callbackName, const QBAdUnit& adUnit,
                            const platform::Json& args) override;
  // The page acknowledged its data.
  void onUIReady() override;
  // Of the test page: the data is offered 0.5 s later; a failure sends event
  // 74 and logs it.
  void didFinishNavigation(platform::WebView& webView) override;
  void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;

  // After 0.5 s, unless acknowledged: TestSuiteJs.onDataReady(data).
  void sendDataToWebController();
  // Later on the main queue: the test page replaces the loading screen
  // (event 73), unless it is on screen already.
  void switchToAppWebView();
  // Later on the main queue, in the test page; the answer is dropped.
  void evalScript(std::string script);
  // "TestSuiteJs.<methodName>(<arguments>)" (QBTestSuiteUtils formats them).
  static std::string createJsScriptForMethodName(const std::string& methodName, const platform::Json& args);
  // The script that writes the loading screen into a blank page:
  // "document.write(atob('<the page in base64>'))".
  static std::string loadingScreenScript();

  // Both web views leave their superviews and are dropped, the script
  // message handler is unregistered; the timers do nothing from now on.
  void performCleanup();
  void destroyLoadingScreenWebView();
  void destroyAppWebView();

  const std::string& controllerUrl() const { return controllerUrl_; }
  const platform::Json& data() const { return data_; }
  bool dataInjected() const { return dataInjected_; }
  bool loadingScreenMinimumTimeExceeded() const { return loadingScreenMinimumTimeExceeded_; }
  const std::shared_ptr<platform::WebView>& loadingScreenWebView() const { return loadingScreenWebView_; }
  const std::shared_ptr<platform::WebView>& appWebView() const { return appWebView_; }
  bool isSetUp() const { return setUp_; }
  bool isCleanedUp() const { return cleanedUp_; }

 private:
  QBTestSuiteWebViewWrapper(std::weak_ptr<platform::ViewController> viewController,
                            std::weak_ptr<QBTestSuiteAdsManager> adsManager,
                            std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl,
                            platform::Json data);
  // Runs `step` on the main queue after `ms`, while the wrapper lives and is
  // not cleaned up.
  template <class Step>
  void after(double ms, Step step);
  bool isAppWebView(const platform::WebView& webView) const { return appWebView_.get() == &webView; }

  const std::weak_ptr<platform::ViewController> viewController_;
  const std::weak_ptr<QBTestSuiteAdsManager> adsManager_;
  const std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate_;
  const std::string controllerUrl_;
  const platform::Json data_;
  bool dataInjected_ = false;
  bool loadingScreenMinimumTimeExceeded_ = false;
  std::shared_ptr<platform::WebView> loadingScreenWebView_;
  std::shared_ptr<platform::WebView> appWebView_;
  bool setUp_ = false;
  bool cleanedUp_ = false;
};
