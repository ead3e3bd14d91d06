#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"

#include <exception>
#include <mutex>

#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/dispatch.h"
#include "platform/script/script_literal.h"

using platform::Json;

namespace {

constexpr uint64_t kWarningLevel = 2;

struct Observer {
  std::mutex mutex;
  std::function<void(const std::string&)> observe;
};

Observer& observer() {
  static Observer& o = *new Observer();  // lives for the process
  return o;
}

// The page's entry point failed to run a command: logged as a warning
// whatever the own network's debug mode (nothing else tells of it; the
// operation waiting for the page's answer ends at its time-out).
void reportFailure(const std::string& name, const platform::ScriptEvaluation& result) {
  if (!result.error || result.error->domain != platform::kWebErrorDomain) return;
  const int code = result.error->code;
  if (code != platform::WebErrorCode::JavaScriptException && code != platform::WebErrorCode::ScriptTimeLimit &&
      code != platform::WebErrorCode::ResourceLimit) {
    return;  // it ran (a result without a JSON form), or the page is gone and the manager hears of that
  }
  std::string line = "QBNControllerAPIDispatcher | the controller page failed to run the command " + name + ": " +
                     result.error->message;
  if (code == platform::WebErrorCode::JavaScriptException && result.line > 0) {
    line += " (line " + std::to_string(result.line) + ")";
  }
  PlovermarkLogManager::systemLog(line, kWarningLevel);
}

void notifyObserver(const std::string& line) {
  std::function<void(const std::string&)> observe;
  {
    std::lock_guard<std::mutex> lock(observer().mutex);
    observe = observer().observe;
  }
  if (observe) observe(line);
}

}  // namespace

// ------------------------------------------------------------------ encoder

Json QBNEncoder::encodeDictionary(const Json& dictionary, int encodingOptions) {
  switch (encodingOptions) {
    case QBNControllerAPIData::kEncodingDecodeThenEncode:
      return PMAHelperMethods::deepEncodeValuesInDictionary(dictionary, true);
    case QBNControllerAPIData::kEncodingPercentEncode:
      return PMAHelperMethods::deepEncodeValuesInDictionary(dictionary, false);
    default:
      return dictionary;
  }
}

// ------------------------------------------------------------------ builder

std::string QBNControllerAPICommandBuilder::formatFunctionParams(const Json& params, int encodingOptions) {
  if (!params.is_object() || params.empty()) return {};
  const Json encoded = QBNEncoder::encodeDictionary(params, encodingOptions);
  platform::Error error;
  auto text = PMAHelperMethods::JSONStringFromDictionary(encoded, &error);
  if (!text) {
    PlovermarkLogManager::sharedManager().log(
        "QBNControllerAPIDispatcher | Failed to stringify function params with error: " +
            PMAHelperMethods::errorDescription(error) + "\nParameters JSON String: ",
        3, 6);
    return {};
  }
  return *text;
}

std::string QBNControllerAPICommandBuilder::formatFunctionParamsWithData(const QBNControllerAPIData& data,
                                                                          int encodingOptions) {
  const std::string json = formatFunctionParams(data.functionParameters(), encodingOptions);
  return json.empty() ? std::string() : "?parameters=" + json;
}

std::string QBNControllerAPICommandBuilder::formatCallbacksWithData(const QBNControllerAPIData& data) {
  if (!data.successCallback() || !data.failCallback()) return {};
  return ", " + platform::scriptStringLiteral(*data.successCallback(), '`') + ", " +
         platform::scriptStringLiteral(*data.failCallback(), '`');
}

std::string QBNControllerAPICommandBuilder::buildCommandFromData(const QBNControllerAPIData& data,
                                                                 int encodeOptions) {
  const std::string json = formatFunctionParams(data.functionParameters(), encodeOptions);
  const std::string call = json.empty() ? data.functionName() : data.functionName() + "?parameters=" + json;
  return std::string(kRunFunction) + "(" + platform::scriptStringLiteral(call, '`') + formatCallbacksWithData(data) +
         ")";
}

// ------------------------------------------------------------------ utils

std::optional<std::string> ControllerAPIUtils::extractDemandSourceIdFromDictionary(const Json& dictionary) {
  if (!dictionary.is_object()) return std::nullopt;
  for (const char* key : {"demandSourceId", "demandSourceName"}) {
    auto it = dictionary.find(key);
    if (it != dictionary.end()) return qbnjson::description(*it);
  }
  return std::nullopt;
}

std::string QBNControllerAPIDataDescription(const QBNControllerAPIData& data) {
  const auto orEmpty = [](const std::optional<std::string>& text) { return text ? *text : std::string("empty"); };
  Json description = Json::object();
  description["functionName"] = data.functionName().empty() ? std::string("empty") : data.functionName();
  description["functionParams"] =
      data.functionParameters().is_null() ? std::string("empty") : platform::dumpJson(data.functionParameters());
  description["successCallbackName"] = orEmpty(data.successCallback());
  description["failCallbackName"] = orEmpty(data.failCallback());
  description["options"] = data.encodingOptions();
  return platform::dumpJson(description);
}

// ------------------------------------------------------------------ dispatcher

QBNControllerAPIDispatcher::QBNControllerAPIDispatcher(std::weak_ptr<QBNControllerPublisherP> publisher)
    : publisher_(std::move(publisher)) {}

void QBNControllerAPIDispatcher::setEvaluationObserverForTesting(std::function<void(const std::string&)> observe) {
  std::lock_guard<std::mutex> lock(observer().mutex);
  observer().observe = std::move(observe);
}

void QBNControllerAPIDispatcher::dispatchCommandWithData(const QBNControllerAPIData& data, int encodeOptions) {
  const Json& params = data.functionParameters();
  // Lines that carry a "message" (acknowledgements of the page's log lines)
  // are not logged again.
  if (!(params.is_object() && params.contains("message"))) {
    PlovermarkLogManager::sharedManager().log("QBNControllerAPIDispatcher | command: " + data.functionName(), 1, 6);
  }
  std::string line;
  try {
    line = QBNControllerAPICommandBuilder::buildCommandFromData(data, encodeOptions);
  } catch (const std::exception& exception) {
    PlovermarkLogManager::sharedManager().log("QBNControllerAPIDispatcher | Couldn't run the command: " +
                                                  QBNControllerAPIDataDescription(data) +
                                                  "\nException: " + exception.what(),
                                              3, 8);
    data.taken();
    return;
  }
  const auto cause = data.answersPage() ? platform::EvaluationCause::AnswersPage : platform::EvaluationCause::Host;
  platform::mainQueue()->async([publisher = publisher_, line = std::move(line), name = data.functionName(),
                                taken = data.takenCallback(), cause] {
    auto owner = publisher.lock();
    auto webView = owner ? owner->webViewController() : nullptr;
    if (!webView) {
      if (taken) taken();
      return;
    }
    notifyObserver(line);
    // The completion comes after every message the page posted while it ran
    // the line, and before any it posts later: the page has taken the
    // command, whatever the line's outcome.
    webView->evaluateJavaScript(line, [name, taken](const platform::ScriptEvaluation& result) {
      reportFailure(name, result);
      if (taken) taken();
    }, cause);
  });
}
