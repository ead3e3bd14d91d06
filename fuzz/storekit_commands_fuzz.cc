// The page's store commands ("SKAdImpressionAPI", "SKOverlayAPI") with
// arbitrary sub-commands and arguments, against the store stand-in, a key
// window in a window scene and the test clock.
// Input: a JSON array of commands (at most 64), each an object:
//   "api": "overlay" for "SKOverlayAPI", anything else "SKAdImpressionAPI";
//   "name": the "functionName" value as it is (absent: none);
//   "data": the "impressionData" / "functionParams" value: a text goes into
//           the request as it is (bad escapes, bad JSON), anything else as its
//           escaped JSON text; absent: none.
// Checks, per command (each names its own "success" and "fail"):
//  - an impression command is answered exactly once, unless it has no text
//    "functionName" or names another sub-command with readable data (then
//    never); a success repeats the request; a failure carries a text
//    "errMsg" and an integer "errCode";
//  - an overlay command is answered at most once and never with a success
//    for "presentOverlay" or "dismissOverlay"; every other command is
//    answered exactly once; a failure carries a text "errMsg";
//  - the holder never keeps more than its cap; every overlay event is one of
//    the five and carries "overlayId" only as a text.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/json.h"
#include "platform/storekit/storekit_control.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "scriptfeatures/storekit/QBNAdImpressionJSInterfaceHandler.h"
#include "scriptfeatures/storekit/QBNOverlayJSInterfaceHandler.h"
#include "scriptfeatures/storekit/QBNOverlaysHolder.h"
#include "support/fuzz_support.h"
#include "support/stub_publisher.h"

namespace {

using platform::Json;

using Publisher = qbfuzz::StubPublisher<QBNPublisherAgent>;

struct World {
  std::shared_ptr<Publisher> publisher = std::make_shared<Publisher>();
  std::shared_ptr<platform::WindowScene> scene = platform::WindowScene::create("fuzz");
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
};

World& world() {
  static World& w = *[] {
    auto* made = new World();  // lives for the process
    QBNPublisherAgent::registerSharedInstance(made->publisher);
    platform::Application::shared().connectScene(made->scene);
    made->scene->activate();
    made->window->setWindowScene(made->scene);
    made->window->setRootViewController(std::make_shared<platform::ViewController>());
    made->window->makeKeyAndVisible();
    return made;
  }();
  return w;
}

bool isEvent(const std::string& name) {
  return name == "overlayLoadFailed" || name == "overlayWillStartPresentation" ||
         name == "overlayDidFinishPresentation" || name == "overlayWillStartDismissal" ||
         name == "overlayDidFinishDismissal";
}

// Whether an impression command's data reads as a JSON object.
bool readable(const Json& request) {
  const auto it = request.find("impressionData");
  if (it == request.end() || !it->is_string()) return false;
  const auto parsed = PMAHelperMethods::dictionaryFromJsonString(
      PMAHelperMethods::decodeFromPercentEscapeString(it->get<std::string>()), nullptr);
  return parsed && parsed->is_object();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  (void)world();
  return 0;
}

QB_FUZZ_JSON_MUTATOR()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Json input = Json::parse(data, data + size, nullptr, false);
  if (!input.is_array()) return 0;
  World& w = world();
  platform::StoreKitControl::shared().resetForTesting();
  QBNOverlaysHolder::sharedHolder().resetForTesting();
  w.publisher->page->calls.clear();

  platform::TestEnvironment env;
  auto impressions = std::make_shared<QBNAdImpressionJSInterfaceHandler>(w.publisher->page);
  auto overlays = std::make_shared<QBNOverlayJSInterfaceHandler>(w.publisher->page);
  struct Sent {
    bool overlay;
    std::optional<std::string> name;  // none when missing or no text
    Json request;
  };
  std::vector<Sent> sent;
  for (const auto& command : input) {
    if (sent.size() >= 64) break;
    if (!command.is_object()) continue;
    const bool overlay = command.value("api", Json()) == Json("overlay");
    Json request = Json::object();
    const std::string n = std::to_string(sent.size());
    request["success"] = "ok" + n;
    request["fail"] = "ko" + n;
    if (const auto name = command.find("name"); name != command.end()) request["functionName"] = *name;
    if (const auto arg = command.find("data"); arg != command.end()) {
      request[overlay ? "functionParams" : "impressionData"] =
          arg->is_string() ? arg->get<std::string>()
                           : PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(*arg));
    }
    const auto name = request.find("functionName");
    std::optional<std::string> text;
    if (name != request.end() && name->is_string()) text = name->get<std::string>();
    sent.push_back({overlay, text, request});
    if (overlay) {
      overlays->invokeAPIWithJSParams(request);
    } else {
      impressions->invokeAPIWithJSParams(request);
    }
    env.runUntilIdle();
    QB_FUZZ_CHECK(QBNOverlaysHolder::sharedHolder().heldOverlaysCount() <= QBNOverlaysHolder::kMaxHeldOverlays);
  }
  env.advance(10'000);
  env.runUntilIdle();

  std::map<std::string, std::vector<Json>> replies;
  for (const auto& [name, params] : w.publisher->page->calls) {
    if (isEvent(name)) {
      const auto id = params.find("overlayId");
      QB_FUZZ_CHECK(id == params.end() || id->is_string());
      continue;
    }
    replies[name].push_back(params);
  }
  for (size_t i = 0; i < sent.size(); ++i) {
    const auto& s = sent[i];
    const auto& ok = replies["ok" + std::to_string(i)];
    const auto& ko = replies["ko" + std::to_string(i)];
    for (const auto& failure : ko) {
      QB_FUZZ_CHECK(failure.contains("errMsg") && failure["errMsg"].is_string());
      if (!s.overlay) QB_FUZZ_CHECK(failure.contains("errCode") && failure["errCode"].is_number_integer());
    }
    if (s.overlay) {
      QB_FUZZ_CHECK(ok.size() + ko.size() <= 1);
      if (s.name == "presentOverlay" || s.name == "dismissOverlay") {
        QB_FUZZ_CHECK(ok.empty());
      } else {
        QB_FUZZ_CHECK(ok.size() + ko.size() == 1);
      }
      continue;
    }
    const bool known = s.name == "startImpression" || s.name == "endImpression";
    const bool silent = !s.name || (!known && readable(s.request));
    QB_FUZZ_CHECK(ok.size() + ko.size() == (silent ? 0u : 1u));
    for (const auto& success : ok) QB_FUZZ_CHECK(success == s.request);
  }
  impressions.reset();
  overlays.reset();
  env.runUntilIdle();
  return 0;
}
