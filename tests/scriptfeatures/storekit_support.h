#pragma once
// The fixture of the store features' tests: the script features' recording
// page with each reply as a line, the publisher the overlay events go
// through, the store stand-in, the overlay holder, the class registry and the
// UI put back before and after each test, and a key window in a connected
// window scene.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/device.h"
#include "platform/runtime.h"
#include "platform/storekit/storekit_control.h"
#include "platform/ui.h"
#include "scriptfeatures/scriptfeatures_test_support.h"
#include "scriptfeatures/storekit/QBNOverlaysHolder.h"

namespace storekittest {

using platform::Json;

// One call of a page function.
using Sent = sftest::Reply;

// "<function> option <n>", then the failure's "errMsg" and "errCode" when
// there are any.
inline std::string line(const Sent& sent) {
  std::string out = sent.function + " option " + std::to_string(sent.option);
  if (sent.params.contains("errMsg")) out += " errMsg=" + sent.params["errMsg"].get<std::string>();
  if (sent.params.contains("errCode")) out += " errCode=" + platform::dumpJson(sent.params["errCode"]);
  return out;
}

class RecordingPage : public sftest::RecordingPage {
 public:
  // What reached the page since the last take, one line each.
  std::vector<std::string> takeLines() {
    std::vector<std::string> out;
    for (const auto& sent : take()) out.push_back(line(sent));
    return out;
  }
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
