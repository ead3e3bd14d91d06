#pragma once
// The controller that runs the controller page: downloads it into the disk
// cache, loads the cached file in the publisher's hidden controller web view
// with a query that tells the page about the SDK and the device, watches the
// load with a 10 s timer, forwards the web view's callbacks to its delegate
// (the controller manager) and sends commands to the page.
//
// Failures reach the delegate's handleInitControllerCallBack(false, {}, error)
// on the main queue, never inside the call that caused them: 1006 without a
// connection (nothing is requested), 1002 when the download or the storing
// fails, 1003 when the page has not reported "loaded" 10 s after its load
// began. docs/controller-page.md describes the page's side.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/controller/QBNControllerProtocols.h"
#include "ownnetwork/web/PMWVWebViewP.h"
#include "platform/dispatch.h"

class QBNControllerPublisherP;
class QBNDataManagerProtocol;

inline constexpr char kQBNControllerFolderName[] = "mobileController";
inline constexpr char kQBNControllerFileName[] = "mobileController.html";
inline constexpr double kQBNControllerDownloadTimeoutSeconds = 5.0;
inline constexpr int64_t kQBNControllerLoadTimeoutMs = 10'000;

class QBNWebController : public QBNController,
                         public PMWVWebViewDelegate,
                         public PMWVWebViewLoadDecision,
                         public std::enable_shared_from_this<QBNWebController> {
 public:
  // The dispatcher is made afterwards on the main queue
  // (createControllerAPIDispatcher): the page can send nothing before then,
  // since its load is posted to the main queue later (docs/controller-page.md).
  static std::shared_ptr<QBNWebController> create(std::weak_ptr<QBNControllerPublisherP> publisher);
  ~QBNWebController() override;

  // Hands the command to the dispatcher with the command's encoding option;
  // nothing before the dispatcher exists (the command's taken callback then
  // runs at once). Any thread.
  void runCommand(const QBNControllerAPIData& command) override;
  // Stops the load timer. Any thread.
  void clearTimers() override;
  std::shared_ptr<QBNControllerDelegate> controllerDelegate() const override;
  void setControllerDelegate(std::weak_ptr<QBNControllerDelegate> delegate) override;

  // Downloads the page (a 5 s request that ignores local cache data, answered
  // on the main queue), stores it as mobileController/mobileController.html
  // under the cache root, then loads it. On 1006 and 1002 the global init
  // timer is cancelled. Any thread.
  void downloadControllerFromURL(const std::string& url, const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                                 std::weak_ptr<platform::Timer> globalInitTimer,
                                 const std::optional<std::string>& controllerConfig, int64_t debugMode);
  // Loads the cached page (on the main queue) and starts the load timer.
  void loadControllerFromURL(const std::string& url, const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                             const std::optional<std::string>& controllerConfig, int64_t debugMode);

  // The page address: the cached file's URL, "?" and SDKVersion, deviceOSVersion,
  // deviceOs, protocol, domain, debug, webviewType, sessionid and
  // controllerConfig as key=value joined with "&", each value percent-escaped
  // (every byte but A-Z a-z 0-9 - . _ ~).
  std::string createRequestURLforController(const std::string& url, const std::optional<std::string>& controllerConfig,
                                            const std::shared_ptr<QBNDataManagerProtocol>& dataManager,
                                            int64_t debugMode) const;
  // The JSON text of "applicationKey", "webviewType" and "isSecured" (as a
  // boolean) of the configuration, those present; none with an error (general
  // domain, code 0) when the text is absent or no JSON object.
  static std::optional<std::string> controllerConfigMandatoryParams(const std::optional<std::string>& controllerConfig,
                                                                    platform::Error* error);

  // Whether the load timer runs.
  bool hasLoadTimer() const;

  // The fallback took over: the page in the controller web view is torn down
  // (its scripts and timers stop, its later requests go nowhere) and the web
  // view no longer reports to this controller. On the main queue (posted
  // there from another thread).
  void tearDownPage();

  // PMWVWebViewDelegate / PMWVWebViewLoadDecision (main queue).
  void loadSuccessfully(const std::shared_ptr<PMWVWebViewP>& webView) override;
  void failedToLoadWithError(const platform::Error& error, const std::shared_ptr<PMWVWebViewP>& webView) override;
  void webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>& webView) override;
  bool shouldLoadRequestForWebview(const std::shared_ptr<PMWVWebViewP>& webView, const platform::URLRequest& request,
                                   int navigationType) override;

 private:
  explicit QBNWebController(std::weak_ptr<QBNControllerPublisherP> publisher);
  void createControllerAPIDispatcher();
  std::shared_ptr<QBNControllerAPIDispatcher> controllerAPIDispatcher() const;
  void controllerLoadTimerFired(const std::string& url);
  void loadOnMainQueue(const std::string& address, const std::string& readAccessURL);
  // Tells the delegate of a failure, on the main queue, later.
  void reportFailure(platform::Error error);

  const std::weak_ptr<QBNControllerPublisherP> publisher_;
  mutable std::mutex mutex_;
  std::shared_ptr<QBNControllerAPIDispatcher> controllerAPIDispatcher_;
  std::weak_ptr<QBNControllerDelegate> delegate_;
  std::shared_ptr<platform::Timer> loadTimer_;
};
