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

}  // namespace qbtest
