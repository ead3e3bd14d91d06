// The controller page's feature commands with arbitrary parameters, through
// the real publisher's command table into every feature handler (the
// measurement sessions' "omidAPI" with an ad view "fuzzAd" to measure, the
// file store under the process's scratch data root, the silent switch), and
// the HTTP proxy's request and response conversions. The store features run
// with the key window in an active window scene.
//
// Input: JSON, one command or an array of them:
//   {"c": command (name, or index into kFeatures),
//    "s": sub-command (name, or index into the row's sub-commands),
//    "p": {parameters}, "q": raw query text (sent as it is, after "p"),
//    "r": {"url", "identifier", "method", "headers", "data", "cache",
//          "timeout", "status", "responseHeaders": [[name, value], ...],
//          "body"}}   (the proxy's conversions, called directly)
// Each command goes to the publisher as the page sends it: every value of
// "p" percent-escaped (objects and arrays as their JSON text), the
// sub-command under the row's key, "success" and "fail" named unless "p"
// names them. "http://127.0.0.1:0" stands for the sandbox, whose paths
// "/status/<n>" answer status n and "/echo" echoes the body; any other host
// is never reached (qbfuzz::setUpProcess).
//
// Checks: nothing crashes; every reply that reaches the page (a page of this
// target's own, which parses each call's parameters as the controller page
// does) carries parameters that parse as a JSON object; the proxy answers
// every request once it settles; a converted response's body is handed out
// only when it is UTF-8; no request that reaches the sandbox was framed or
// routed by the page (its Host is the sandbox's, and it carries none of the
// fields the proxy refuses), and a request the proxy would send has only
// field names that are HTTP tokens.
//
// A new feature joins by adding its row to kFeatures (and seeds under
// fuzz/corpus/feature_commands/, names in fuzz/dict/feature_commands.dict).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PMEReachability.h"
#include "foundation/QBGlobalDataManager.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/audio_session.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/storekit/storekit_control.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "platform/utf8.h"
#include "presentation/QBNAdViewsManager.h"
#include "scriptfeatures/PMAJSInterfaceHandler.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "scriptfeatures/http/QBControllerAPIRequest.h"
#include "scriptfeatures/storekit/QBNOverlaysHolder.h"
#include "support/fuzz_support.h"
#include "support/sandbox_server.h"

namespace {

using platform::Json;

constexpr char kPlaceholder[] = "http://127.0.0.1:0";
constexpr char kPagePath[] = "/fuzz/controller.html";
constexpr char kAdViewId[] = "fuzzAd";

// The feature commands, with the key of their sub-command and the
// sub-commands they know. A later feature adds its row here.
struct Feature {
  const char* command;
  const char* subCommandKey;  // nullptr: the command has none
  std::vector<const char*> subCommands;
};

const std::vector<Feature>& features() {
  static const auto& rows = *new std::vector<Feature>{
      {"sendHttpRequest", nullptr, {}},
      {"iabTokenAPI", "functionName", {"updateToken", "getToken"}},
      {"deviceDataAPI", "deviceDataFunction", {"getDeviceData"}},
      {"audioSessionAPI",
       "functionName",
       {"getAudioSessionData", "setAudioSessionData", "activateAudioSession", "deactivateAudioSession",
        "isOtherAppPlayingAudio", "getAvailableCategories", "getAvailableModes", "subscribeToInterruption",
        "unsubscribeInterruption"}},
      {"SKAdImpressionAPI", "functionName", {"startImpression", "endImpression"}},
      {"SKOverlayAPI", "functionName", {"createOverlay", "presentOverlay", "dismissOverlay", "removeOverlay"}},
      {"omidAPI", "omidFunction", {"activate", "startSession", "impressionOccurred", "finishSession", "getOmidData"}},
      // The file store works under the process's scratch data root.
      {"fileSystemAPI", "functionName",
       {"saveFile", "deleteFile", "deleteFolder", "getFiles", "getTotalSizeOfFiles", "updateAttributesOfFile"}},
      {"ringerSwitchAPI", "functionName", {"startListener", "stopListener"}},
  };
  return rows;
}

// The page: reports itself ready, then parses the parameters of every call
// as the controller page does and keeps the calls whose parameters are no
// JSON object.
constexpr char kPage[] = R"(<!DOCTYPE html><html><body><script>
var PMA_CHECK = {calls: 0, bad: []};
var PMA_CORE = {SDKController: {runFunction: function (line) {
  PMA_CHECK.calls++;
  var marker = '?parameters=';
  for (var at = line.indexOf(marker); at >= 0; at = line.indexOf(marker, at + 1)) {
    try {
      var params = JSON.parse(line.slice(at + marker.length));
      if (params && typeof params === 'object' && !Array.isArray(params)) return;
    } catch (e) {}
  }
  if (line.indexOf(marker) >= 0) PMA_CHECK.bad.push(line);
}}};
['loaded', 'ready'].forEach(function (stage) {
  window.webkit.messageHandlers.plovermarkMainMsgHandler.postMessage('plovermarkads://initController?stage=' + stage);
});
</script></body></html>)";

struct World {
  qbtest::SandboxServer server;
  platform::TestEnvironment* env = nullptr;
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::WindowScene> scene = platform::WindowScene::create("fuzz");  // for store overlays
  std::shared_ptr<PlovermarkAdsPublisher> publisher;
};

World& world() {
  static World& w = *[] {
    auto* made = new World();  // lives for the process
    qbfuzz::check(made->server.start(), "the sandbox server starts");
    std::atexit([] { world().server.stop(); });
    made->server.answer(kPagePath, 200, kPage, {{"Content-Type", "text/html"}});
    made->server.route("*", "/status/*", [](const qbtest::RecordedRequest& request) {
      const int status = static_cast<int>(qbnjson::integerValue(Json(request.path.substr(8))));
      return qbtest::SandboxAnswer{status >= 100 && status <= 599 ? status : 200, "a+b%2Fc \xff", {{"X-Plus", "1e+5"}}};
    });
    made->server.route("*", "/echo", [](const qbtest::RecordedRequest& request) {
      return qbtest::SandboxAnswer{200, request.body, {{"Content-Type", "text/plain"}}};
    });

    made->env = new platform::TestEnvironment();  // lives for the process
    platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
    PMEReachabilityManager::sharedManager();
    made->window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
    made->window->makeKeyAndVisible();
    platform::Application::shared().connectScene(made->scene);
    made->scene->activate();
    made->window->setWindowScene(made->scene);
    qb::scriptfeatures::registerWithOwnNetwork();
    PlovermarkAdsPublisher::setControllerURL(made->server.url(kPagePath));
    PlovermarkAdsPublisher::setControllerConfig(R"({"applicationKey":"fuzzkey","webviewType":"wk"})");
    made->publisher = PlovermarkAdsPublisher::sharedInstanceWithApplicationKey("fuzzkey", "fuzzuser", Json::object());
    const auto manager = made->publisher->concreteControllerManager();
    qbfuzz::check(made->env->runUntil([&] { return manager->controllerState() == QBNControllerState::Ready; }),
                  "the page gets ready");
    made->env->runUntilIdle();
    // An ad view for "omidAPI" sessions ("startSession" with "adViewId"
    // "fuzzAd" reaches the measurement SDK).
    QBNAdViewsManager::sharedManager().loadUrlWithParams(
        QBNAdViewLoadParams(Json{{"adViewId", kAdViewId}, {"urlForWebView", "about:blank"}}), {},
        [](const std::optional<platform::Error>&) {});
    made->env->runUntilIdle();
    qbfuzz::check(QBNAdViewsManager::sharedManager().getAdUnitWebViewById(std::string(kAdViewId)) != nullptr,
                  "the ad view for measurement sessions is there");
    return made;
  }();
  return w;
}

std::string withSandbox(std::string text) {
  const std::string base = world().server.baseUrl();
  for (size_t at = text.find(kPlaceholder); at != std::string::npos; at = text.find(kPlaceholder, at + base.size())) {
    text.replace(at, std::string_view(kPlaceholder).size(), base);
  }
  return text;
}

// A value of the page.
Json page(const std::string& expression) {
  World& w = world();
  std::optional<platform::ScriptEvaluation> result;
  w.publisher->webViewController()->evaluateJavaScript(
      expression, [&result](const platform::ScriptEvaluation& r) { result = r; });
  w.env->runUntil([&] { return result.has_value(); });
  return result && result->ok() ? result->value : Json();
}

// The row an input names, by name or index; none for any other command
// (still sent, under its own name).
const Feature* featureOf(const Json& name) {
  const auto& rows = features();
  if (name.is_number_unsigned() && name.get<uint64_t>() < rows.size()) return &rows[name.get<uint64_t>()];
  if (!name.is_string()) return nullptr;
  for (const auto& row : rows) {
    if (name.get_ref<const std::string&>() == row.command) return &row;
  }
  return nullptr;
}

std::string escaped(const Json& value) {
  return PMAHelperMethods::encodeToPercentEscapeString(
      value.is_string() ? value.get<std::string>() : value.is_structured() ? platform::dumpJson(value)
                                                                         : qbnjson::description(value));
}

// The query the page would send for one input command.
std::string queryOf(const Json& entry, const Feature* feature) {
  Json params = entry.value("p", Json::object());
  if (!params.is_object()) params = Json::object();
  if (!params.contains("success")) params["success"] = "fuzzOk";
  if (!params.contains("fail")) params["fail"] = "fuzzKo";
  if (feature && feature->subCommandKey && !params.contains(feature->subCommandKey)) {
    const Json sub = entry.value("s", Json());
    const auto& names = feature->subCommands;
    if (sub.is_number_unsigned() && sub.get<uint64_t>() < names.size()) {
      params[feature->subCommandKey] = names[sub.get<uint64_t>()];
    } else if (!sub.is_null()) {
      params[feature->subCommandKey] = sub;
    }
  }
  std::string query;
  for (auto it = params.begin(); it != params.end(); ++it) {
    if (!query.empty()) query += '&';
    query += PMAHelperMethods::encodeToPercentEscapeString(it.key()) + "=" + escaped(it.value());
  }
  if (entry.contains("q") && entry["q"].is_string()) query += entry["q"].get<std::string>();
  return withSandbox(query);
}

void sendCommand(const Json& entry) {
  if (!entry.is_object()) return;
  const Json name = entry.value("c", Json());
  const Feature* feature = featureOf(name);
  const std::string command = feature ? feature->command : name.is_string() ? name.get<std::string>() : "";
  if (command.empty()) return;
  world().publisher->handlePlovermarkCallbackWithCommand(command, queryOf(entry, feature), std::nullopt);
}

// The proxy's conversions, called directly.
void convert(const Json& r) {
  if (!r.is_object()) return;
  const auto text = [&](const char* key) -> std::optional<std::string> {
    const auto it = r.find(key);
    if (it == r.end()) return std::nullopt;
    return it->is_string() ? withSandbox(it->get<std::string>()) : qbnjson::description(*it);
  };
  const Json timeout = r.value("timeout", Json(0));
  const auto request = QBControllerAPIRequest::requestWithUrlString(
      text("url"), text("identifier"), text("method"), r.value("headers", Json()), text("data"),
      qbnjson::boolValue(r, "cache").value_or(false), timeout.is_number() ? timeout.get<double>() : 0);
  if (request) {
    QB_FUZZ_CHECK(QBControllerAPIRequest::getQBuniqueIdentifier(*request) == text("identifier"));
    QB_FUZZ_CHECK(request->timeoutSeconds > 0 && request->timeoutSeconds <= kQBControllerAPIMaxTimeoutSeconds);
    (void)QBHTTPRequestsDispatcher::isvValidRequestScheme(*request);
    if (!QBHTTPRequestsDispatcher::refusedHeaderField(*request)) {
      for (const auto& [name, value] : request->headers) QB_FUZZ_CHECK(platform::isHTTPToken(name));
    }
  }
  platform::HTTPURLResponse response;
  response.statusCode = static_cast<int>(qbnjson::integerValue(r, "status"));
  for (const auto& header : r.value("responseHeaders", Json::array())) {
    if (header.is_array() && header.size() == 2 && header[0].is_string() && header[1].is_string()) {
      response.headers.emplace_back(header[0].get<std::string>(), header[1].get<std::string>());
    }
  }
  const auto serialized = QBControllerAPIResponse::serializeToControllerCallback(response);
  QB_FUZZ_CHECK(serialized && serialized->is_object());
  const std::string body = text("body").value_or("");
  const auto data = PMAJSInterfaceHandler::serializeData(body);
  QB_FUZZ_CHECK(!data || platform::utf8::isValid(*data));
  const Json reply = PMAJSInterfaceHandler::responseDictionaryFromSerializedResponse(*serialized, data, text("identifier"));
  QB_FUZZ_CHECK(platform::parseJson(platform::dumpJson(reply)).ok());
}

// Runs the queues until the proxy has answered every request, moving the
// clock over the retries' waits and the refusals' turns.
void settle() {
  World& w = world();
  const auto handler = std::dynamic_pointer_cast<PMAJSInterfaceHandler>(w.publisher->jsInterfaceHandler());
  if (!handler) return;
  const auto dispatcher = handler->requestsDispatcher();
  for (int round = 0; round <= QBHTTPRequestsDispatcher::kMaxRetries + 1; ++round) {
    // Every request answered, or waiting for its retry.
    w.env->runUntil([&] { return dispatcher->requestCount() == dispatcher->retriesWaitingCount(); }, 30'000);
    if (dispatcher->requestCount() == 0) break;
    w.env->advance(QBHTTPRequestsDispatcher::kRetryDelayMs);
  }
  // Refused requests are answered at the page's pace.
  for (size_t turn = 0; turn <= QBHTTPRequestsDispatcher::kMaxWaitingRefusals && dispatcher->refusalsWaitingCount() > 0;
       ++turn) {
    w.env->advance(QBHTTPRequestsDispatcher::kRefusalIntervalMs);
  }
  w.env->runUntilIdle();
  QB_FUZZ_CHECK(dispatcher->requestCount() == 0);
  QB_FUZZ_CHECK(dispatcher->refusalsWaitingCount() == 0);
}

// Every request that reached the sandbox went to it as the URL session
// framed and routed it: none of the fields only the session may write came
// from the page.
void checkFraming() {
  World& w = world();
  const std::string host = w.server.baseUrl().substr(std::string_view("http://").size());
  for (const auto& request : w.server.requests()) {
    QB_FUZZ_CHECK(request.header("Host") == host);
    for (const char* field : {"Transfer-Encoding", "Connection", "Upgrade", "TE", "Trailer", "Expect"}) {
      QB_FUZZ_CHECK(!request.header(field));
    }
    for (const auto& [name, value] : request.headers) {
      std::string prefix = name.substr(0, 6);
      for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      QB_FUZZ_CHECK(prefix != "proxy-");
    }
  }
}

}  // namespace

// The page runs in JavaScriptCore, which keeps blocks of the C heap that
// only its own (unscanned) heap points to: the leak checker would take each
// input that runs a script as leaking them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libjavascriptcoregtk-4.1.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  (void)world();
  return 0;
}

QB_FUZZ_JSON_MUTATOR()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto input = platform::parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!input) return 0;
  World& w = world();
  w.server.clearRequests();
  const Json entries = input.value().is_array() ? input.value() : Json::array({input.value()});
  for (const auto& entry : entries) {
    sendCommand(entry);
    if (entry.is_object() && entry.contains("r")) convert(entry["r"]);
  }
  // An interruption reaches a subscription the input made.
  platform::AudioSession::shared().postInterruption(platform::AudioSessionInterruptionType::Began);
  settle();
  checkFraming();

  const Json bad = page("PMA_CHECK.bad.splice(0)");
  if (bad.is_array() && !bad.empty()) {
    std::fprintf(stderr, "a reply's parameters are no JSON object: %s\n", platform::dumpJson(bad).c_str());
    QB_FUZZ_CHECK(bad.empty());
  }

  // The next input starts from the same state.
  w.publisher->handlePlovermarkCallbackWithCommand("audioSessionAPI", "functionName=unsubscribeInterruption",
                                                   std::nullopt);
  w.publisher->handlePlovermarkCallbackWithCommand("ringerSwitchAPI", "functionName=stopListener", std::nullopt);
  w.publisher->handlePlovermarkCallbackWithCommand(
      "omidAPI", "omidFunction=finishSession&omidParams=" + PMAHelperMethods::encodeToPercentEscapeString(
                                                                R"({"adViewId":"fuzzAd"})"),
      std::nullopt);
  platform::AudioSession::shared().resetForTesting();
  platform::StoreKitControl::shared().resetForTesting();
  QBNOverlaysHolder::sharedHolder().resetForTesting();
  QBNTokenService::sharedService().resetForTesting();
  QBGlobalDataManager::sharedInstance().resetForTesting();
  w.env->runUntilIdle();
  return 0;
}
