#pragma once
// The fixture of the store features' tests: a page that records every reply
// and notice with its encoding option, the publisher the overlay events go
// through, the store stand-in, the overlay holder, the class registry and the
// UI put back before and after each test, and a key window in a connected
// window scene.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/device.h"
#include "platform/runtime.h"
#include "platform/storekit/storekit_control.h"
#include "platform/ui.h"
#include "scriptfeatures/storekit/QBNOverlaysHolder.h"

namespace storekittest {

using platform::Json;

// One call of a page function.
struct Sent {
  std::string function;
  Json params;
  int option = 0;  // QBNControllerAPIData's encoding option
  bool callbacks = false;

  // "<function> option <n>", then the failure's "errMsg" and "errCode" when
  // there are any.
  std::string line() const {
    std::string out = function + " option " + std::to_string(option);
    if (params.contains("errMsg")) out += " errMsg=" + params["errMsg"].get<std::string>();
    if (params.contains("errCode")) out += " errCode=" + platform::dumpJson(params["errCode"]);
    return out + (callbacks ? " +callbacks" : "");
  }
};

class RecordingPage : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& function, const Json& parameters, const std::optional<std::string>& success,
                  const std::optional<std::string>& fail, bool decodeFirst) override {
    runCommand(QBNControllerAPIData(function)
                   .setFunctionParameters(parameters)
                   .setSuccessCallback(success)
                   .setFailCallback(fail)
                   .setEncodingOptions(decodeFirst ? 2 : 0));
  }
  void runCommand(const QBNControllerAPIData& data) override {
    {
      std::lock_guard lock(mutex_);
      sent_.push_back(Sent{data.functionName(), data.functionParameters(), data.encodingOptions(),
                           data.successCallback() || data.failCallback()});
    }
    changed_.notify_all();
  }

  // What reached the page since the last take.
  std::vector<Sent> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(sent_, {});
  }
  std::vector<std::string> takeLines() {
    std::vector<std::string> out;
    for (const auto& sent : take()) out.push_back(sent.line());
    return out;
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return sent_.size();
  }
  // Real mode: waits until `n` calls arrived (false after `limit`).
  bool waitFor(size_t n, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return sent_.size() >= n; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Sent> sent_;
};

// The publisher the overlay events find (QBNPublisherAgent::sharedInstance).
class EventsPublisher : public handlertest::FakePublisher {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return page; }
  std::shared_ptr<RecordingPage> page = std::make_shared<RecordingPage>();
};

inline void resetStoreFeatures() {
  platform::StoreKitControl::shared().resetForTesting();
  platform::ClassRegistry::shared().resetForTesting();
  QBNOverlaysHolder::sharedHolder().resetForTesting();
  platform::resetDeviceFactsForTesting();
  platform::NotificationCenter::resetDefaultForTesting();
  platform::resetUIForTesting();
  QBNPublisherAgent::registerSharedInstance({});
}

// The system's version, as the device reports it.
inline void setSystemVersion(const std::string& version) {
  platform::DeviceFacts facts;
  facts.osVersion = version;
  platform::setDeviceFactsForTesting(facts);
}

// The command's query text as the dispatcher reads it, with `params` as the
// page writes a JSON argument: escaped.
inline Json request(const std::string& query) { return PMAHelperMethods::dictionaryFromQueryStringParameters(query); }
inline std::string escaped(const Json& value) {
  return PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(value));
}

// A key window showing `root`, in a connected and active scene.
struct SceneWindow {
  std::shared_ptr<platform::WindowScene> scene = platform::WindowScene::create("main");
  std::shared_ptr<platform::ViewController> root = std::make_shared<platform::ViewController>();
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));

  SceneWindow() {
    platform::Application::shared().connectScene(scene);
    scene->activate();
    window->setWindowScene(scene);
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
};

}  // namespace storekittest
