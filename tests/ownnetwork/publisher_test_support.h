#pragma once
// The publisher against the sandbox's controller page running in a real web
// view: a fixture that starts the one publisher and reads back what reached
// the page.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/notifications.h"
#include "platform/ui.h"
#include "support/sandbox_controller.h"

namespace qbtest {

class PublisherTest : public OwnNetworkStorageTest {
 protected:
  static void SetUpTestSuite() {
    shared = new SandboxServer();
    shared->start();
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }

  PublisherTest() : server(*shared) {
    server.clearRequests();
    PlovermarkAdsPublisher::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
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
  ~PublisherTest() override {
    QBNControllerAPIDispatcher::setEvaluationObserverForTesting(nullptr);
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
    env.runUntilIdle();
    platform::NotificationCenter::resetDefaultForTesting();
    platform::resetUIForTesting();
    PMEReachabilityManager::resetForTesting();
  }

  // Creates the publisher against the sandbox page and waits until the page
  // is ready (or the fallback took over).
  void start(const platform::Json& behaviour = platform::Json::object()) {
    addControllerPage(server, behaviour);
    PlovermarkAdsPublisher::setControllerURL(server.url(kControllerPagePath));
    PlovermarkAdsPublisher::setControllerConfig(R"({"applicationKey":"appkey1","webviewType":"wk"})");
    publisher = PlovermarkAdsPublisher::sharedInstanceWithApplicationKey("appkey1", "user1", platform::Json::object());
    ASSERT_TRUE(env.runUntil([this] { return state() == QBNControllerState::Ready; }));
    env.runUntilIdle();
  }

  QBNControllerState state() const { return publisher->concreteControllerManager()->controllerState(); }

  // The page's record of every call it received, by name.
  std::vector<std::string> pageReceived() {
    std::vector<std::string> names;
    for (const auto& entry : page("PMA_CORE.received")) names.push_back(entry.value("name", ""));
    return names;
  }
  platform::Json page(const std::string& expression) {
    std::optional<platform::ScriptEvaluation> result;
    publisher->webViewController()->evaluateJavaScript(
        expression, [&result](const platform::ScriptEvaluation& r) { result = r; });
    env.runUntilIdle();
    return result && result->ok() ? result->value : platform::Json();
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(linesMutex);
    return evaluated;
  }

  // A page message, as the web view offers it.
  bool message(const std::string& url) {
    platform::URLRequest request;
    request.url = url;
    return publisher->handleControllerCallback(request, -1);
  }

  static inline SandboxServer* shared = nullptr;
  SandboxServer& server;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<PlovermarkAdsPublisher> publisher;
  std::mutex linesMutex;
  std::vector<std::string> evaluated;
};

}  // namespace qbtest
