#pragma once
// The publisher a fuzz target hands its feature handlers when it runs them
// without the controller page: every answer the handlers send the page is
// recorded, and the publisher's other parts answer "nothing" (no web view,
// nothing presented). `Base` is the publisher interface the handlers take.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "platform/json.h"
#include "platform/ui.h"

namespace qbfuzz {

// The page's side: every command sent to it, in order.
class RecordingPage : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& name, const platform::Json& parameters, const std::optional<std::string>&,
                  const std::optional<std::string>&, bool) override {
    std::lock_guard lock(mutex);
    calls.emplace_back(name, parameters);
  }
  void runCommand(const QBNControllerAPIData& data) override {
    runCommand(data.functionName(), data.functionParameters(), std::nullopt, std::nullopt, false);
  }
  std::mutex mutex;
  std::vector<std::pair<std::string, platform::Json>> calls;
};

template <class Base>
class StubPublisher : public Base {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return page; }
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return nullptr; }
  platform::Json resizeProperties() const override { return platform::Json::object(); }
  bool isOneToken() const override { return false; }
  void notifyAdCloseAll() override {}
  bool isAnyViewPresented() const override { return false; }
  std::shared_ptr<platform::ViewController> getPresentedViewController() const override { return nullptr; }

  std::shared_ptr<RecordingPage> page = std::make_shared<RecordingPage>();
};

}  // namespace qbfuzz
