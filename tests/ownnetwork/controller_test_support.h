#pragma once
// The controller page of the sandbox running in a real web view: the fixture
// every such test stands on, and the controller manager's own with a
// recording publisher.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/controller/QBNNativeController.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/notifications.h"
#include "platform/ui/application.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_own_events.h"

namespace qbtest {

// What reached the publisher, in order. "page" entries are the page's
// commands (values percent-decoded, as the page escaped them), "native" the
// fallback's answers, "init" the after-initiation calls ("init <type> <code>"
// with "-" for no error), "closeAll" the termination's notice.
struct PublisherEntry {
  std::string kind;
  std::string command;
  platform::Json params;
};

// A stand-in for the publisher: routes the page's "initController" to the
// manager (values as they stood in the URL, like the dispatcher) and records
// everything else.
class RecordingPublisher : public QBNControllerPublisherP {
 public:
  std::weak_ptr<QBNControllerManager> manager;
  std::shared_ptr<PMWVWKWebView> webView;
  platform::Json initParams = platform::Json::object();

  std::vector<PublisherEntry> entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  // "<kind> <command>" of each entry.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const auto& e : entries()) out.push_back(e.kind + " " + e.command);
    return out;
  }
  std::vector<PublisherEntry> of(const std::string& kind) const {
    std::vector<PublisherEntry> out;
    for (const auto& e : entries()) {
      if (e.kind == kind) out.push_back(e);
    }
    return out;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

  void initUninitializedDemandSourcesForType(int64_t type, const std::optional<platform::Error>& error) override {
    add("init", std::to_string(type) + " " + (error ? std::to_string(error->code) : "-"), {});
  }
  void initNonDemandSourceProductsAfterInitController(const std::optional<platform::Error>& error) override {
    add("init", std::string("nonDemandSource ") + (error ? std::to_string(error->code) : "-"), {});
  }
  void notifyAdCloseAll() override { add("closeAll", "", {}); }

  bool handleControllerCallback(const platform::URLRequest& request, int) override {
    const std::string prefix = "plovermarkads://";
    if (request.url.rfind(prefix, 0) != 0) return true;  // the page itself loads
    const std::string rest = request.url.substr(prefix.size());
    const size_t q = rest.find('?');
    const std::string command = rest.substr(0, q);
    const std::string query = q == std::string::npos ? "" : rest.substr(q + 1);
    const platform::Json raw = PMAHelperMethods::dictionaryFromQueryStringParameters(query);
    if (command == "initController") {
      if (auto m = manager.lock()) m->handleInitControllerCallBack(true, raw, std::nullopt);
      return false;
    }
    platform::Json decoded = platform::Json::object();
    for (auto it = raw.begin(); it != raw.end(); ++it) {
      decoded[it.key()] = PMAHelperMethods::decodeFromPercentEscapeString(it.value().get<std::string>());
    }
    add("page", command, decoded);
    return false;
  }
  void handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                           const std::optional<std::string>&) override {
    add("native", command, PMAHelperMethods::dictionaryFromQueryStringParameters(parameters));
  }
  void handlePlovermarkCallbackWithCommand(const std::string& command, const platform::Json& parameters) override {
    add("native", command, parameters);
  }
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return webView; }
  platform::Json getSDKInitParams() const override { return initParams; }

 private:
  void add(std::string kind, std::string command, platform::Json params) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({std::move(kind), std::move(command), std::move(params)});
  }
  mutable std::mutex mutex_;
  std::vector<PublisherEntry> entries_;
};

inline std::string defaultControllerConfig() { return R"({"applicationKey":"appkey1","webviewType":"wk"})"; }

// What every test against the controller page in a real web view needs: one
// sandbox for the whole suite (stopping a server waits for the session's idle
// keep-alive connection to time out) that also answers the own network's
// events, reachability on Wi-Fi, a fresh key window, and the script lines the
// dispatcher evaluates.
class OwnPageTest : public WithOwnEventsSandbox<OwnNetworkStorageTest> {
 protected:
  OwnPageTest() : server(*WithOwnEventsSandbox<OwnNetworkStorageTest>::server) {
    server.clearRequests();
    server.clearFaults();
    platform::NotificationCenter::resetDefaultForTesting();
    PMEReachabilityManager::resetForTesting();
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    // The monitor learns the status on its first use; make that use here, not
    // on one of the threads a test starts.
    PMEReachabilityManager::sharedManager();
    env.runUntilIdle();
    platform::resetUIForTesting();
    window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window->makeKeyAndVisible();
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMutex);
      evaluated.push_back(line);
    });
  }
  // The derived fixture has released what it made.
  ~OwnPageTest() override {
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr);
    env.runUntilIdle();
    platform::NotificationCenter::resetDefaultForTesting();
    platform::resetUIForTesting();
    PMEReachabilityManager::resetForTesting();
  }

  // The web view the page runs in.
  virtual std::shared_ptr<PMWVWKWebView> pageView() const = 0;

  // A value of the page, read by evaluating `expression` in it.
  platform::Json page(const std::string& expression) {
    std::optional<platform::ScriptEvaluation> result;
    pageView()->evaluateJavaScript(expression, [&result](const platform::ScriptEvaluation& r) { result = r; });
    env.runUntilIdle();
    return result && result->ok() ? result->value : platform::Json();
  }

  // Every script line evaluated in the page, in order.
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(linesMutex);
    return evaluated;
  }

  SandboxServer& server;
  std::shared_ptr<platform::Window> window;
  std::mutex linesMutex;
  std::vector<std::string> evaluated;
};

// The controller manager with a recording publisher.
class ControllerTest : public OwnPageTest {
 protected:
  ControllerTest() { publisher->webView = makeControllerWebView(); }
  // A controller web view as the publisher makes it.
  static std::shared_ptr<PMWVWKWebView> makeControllerWebView() {
    auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
    browsing->setAllowFileAccessFromFileURLs(true);
    auto connectivity = std::make_shared<PMWVConnectivityConfiguration>();
    connectivity->setMessageHandlerName("plovermarkMainMsgHandler");
    return PMWVWebViewFactory::defaultWebViewWithFrame(platform::Rect::make(0, 0, 320, 480), connectivity, browsing);
  }
  ~ControllerTest() override {
    manager.reset();
    publisher->webView.reset();
  }
  std::shared_ptr<PMWVWKWebView> pageView() const override { return publisher->webView; }

  static std::string defaultConfig() { return defaultControllerConfig(); }

  // Makes the manager and creates the controller against the sandbox page.
  void start(const platform::Json& behaviour = platform::Json::object(),
             const std::optional<std::string>& config = defaultConfig()) {
    addControllerPage(server, behaviour);
    manager = QBNControllerManager::create();
    publisher->manager = manager;
    manager->initControllerWithcontrollerURL(server.url(kControllerPagePath), 0, QBNDataManager::init(), config,
                                             [this](const std::optional<platform::Error>& error) {
                                               completions.push_back(error);
                                               completionOnMain.push_back(platform::isMainThread());
                                             });
    manager->setPublisher(publisher);
    manager->createController();
  }

  // Pumps until the download has been answered and what follows has run.
  void settle() {
    env.runUntil([this] { return downloadAnswered(); });
    env.runUntilIdle();
  }
  bool downloadAnswered() const {
    return !publisher->webView->url().empty() || isNative() ||
           manager->controllerState() != QBNControllerState::None;
  }

  bool isNative() const { return std::dynamic_pointer_cast<QBNNativeController>(manager->controller()) != nullptr; }

  // A command with both callback names.
  void send(const std::string& name, const platform::Json& params = platform::Json::object(), bool decodeFirst = false) {
    manager->runCommand(name, params, name + "Success", name + "Fail", decodeFirst);
  }

  std::shared_ptr<RecordingPublisher> publisher = std::make_shared<RecordingPublisher>();
  std::shared_ptr<QBNControllerManager> manager;
  std::vector<std::optional<platform::Error>> completions;
  std::vector<bool> completionOnMain;
};

}  // namespace qbtest
