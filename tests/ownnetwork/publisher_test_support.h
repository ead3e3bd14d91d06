#pragma once
// The publisher against the sandbox's controller page running in a real web
// view: a fixture that starts the one publisher and reads back what reached
// the page.
#include <memory>
#include <string>
#include <vector>

#include "ownnetwork/controller_test_support.h"
#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "platform/platform_support.h"
#include "platform/script/processor_budget.h"
#include "platform/ui.h"

namespace qbtest {

class PublisherTest : public OwnPageTest {
 protected:
  PublisherTest() {
    PlovermarkAdsPublisher::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
  }
  ~PublisherTest() override {
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
  }
  std::shared_ptr<PMWVWKWebView> pageView() const override { return publisher->webViewController(); }

  // Creates the publisher against the sandbox page and waits until the page
  // is ready (or the fallback took over).
  void start(const platform::Json& behaviour = platform::Json::object()) {
    addControllerPage(server, behaviour);
    PlovermarkAdsPublisher::setControllerURL(server.url(kControllerPagePath));
    PlovermarkAdsPublisher::setControllerConfig(defaultControllerConfig());
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

  // A page message, as the web view offers it.
  bool message(const std::string& url) {
    platform::URLRequest request;
    request.url = url;
    return publisher->handleControllerCallback(request, -1);
  }

  std::shared_ptr<PlovermarkAdsPublisher> publisher;
};

// The publisher against the page with a small processor budget (nothing
// given back) and the processor clock frozen: every task the page causes
// costs exactly what a task costs the host (ProcessorBudget::kTaskOverheadMs).
class BudgetedPublisherTest : public PublisherTest {
 protected:
  ~BudgetedPublisherTest() override {
    publisher.reset();
    PlovermarkAdsPublisher::resetForTesting();
    env.runUntilIdle();
    platform::setThreadProcessorClockForTesting(nullptr);
    PMWVWKWebView::setProcessorBudgetForTesting(-1, 0);
  }

  // Starts the publisher with `budgetMs` of budget for its page.
  void startWithBudget(double budgetMs) {
    PMWVWKWebView::setProcessorBudgetForTesting(budgetMs, 0);
    platform::setThreadProcessorClockForTesting(&frozenProcessorClock);
    start();
    webLog.emplace();
  }
  // The page was stopped by its budget.
  bool stoppedByBudget() const { return webLog && webLog->count("kept its web-content queue busy past its budget") > 0; }

 private:
  static double frozenProcessorClock() { return 1000.0; }
  // Made once the library's log manager has taken the web log.
  std::optional<platformtest::WebLogRecorder> webLog;
};

}  // namespace qbtest
