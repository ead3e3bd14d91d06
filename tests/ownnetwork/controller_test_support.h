#pragma once
// The controller manager against the sandbox's controller page, running in a
// real web view: a recording publisher and a fixture that starts the page.
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
#include "platform/ui/application.h"
#include "support/sandbox_controller.h"

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

// One sandbox for the suite: stopping a server waits for the session's idle
// keep-alive connection to time out.
class ControllerTest : public OwnNetworkStorageTest {
 protected:
  static void SetUpTestSuite() {
    shared = new SandboxServer();
    shared->start();
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }

  ControllerTest() : server(*shared) {
    server.clearRequests();
    server.clearFaults();
    PMEReachabilityManager::resetForTesting();
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    env.runUntilIdle();
    platform::resetUIForTesting();
    window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
    browsing->setAllowFileAccessFromFileURLs(true);
    auto connectivity = std::make_shared<PMWVConnectivityConfiguration>();
    connectivity->setMessageHandlerName("plovermarkMainMsgHandler");
    publisher->webView = PMWVWebViewFactory::defaultWebViewWithFrame(platform::Rect::make(0, 0, 320, 480),
                                                                     connectivity, browsing);
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMutex);
      evaluated.push_back(line);
    });
  }
  ~ControllerTest() override {
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr);
    manager.reset();
    publisher->webView.reset();
    env.runUntilIdle();
    platform::resetUIForTesting();
    PMEReachabilityManager::resetForTesting();
  }

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

  // A value of the page, read by evaluating `expression` in it.
  platform::Json page(const std::string& expression) {
    std::optional<platform::ScriptEvaluation> result;
    publisher->webView->evaluateJavaScript(expression,
                                           [&result](const platform::ScriptEvaluation& r) { result = r; });
    env.runUntilIdle();
    return result && result->ok() ? result->value : platform::Json();
  }

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(linesMutex);
    return evaluated;
  }

  // A command with both callback names.
  void send(const std::string& name, const platform::Json& params = platform::Json::object(), bool decodeFirst = false) {
    manager->runCommand(name, params, name + "Success", name + "Fail", decodeFirst);
  }

  static inline SandboxServer* shared = nullptr;
  SandboxServer& server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<RecordingPublisher> publisher = std::make_shared<RecordingPublisher>();
  std::shared_ptr<QBNControllerManager> manager;
  std::vector<std::optional<platform::Error>> completions;
  std::vector<bool> completionOnMain;
  std::mutex linesMutex;
  std::vector<std::string> evaluated;
};

}  // namespace qbtest
