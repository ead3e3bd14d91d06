#include "scriptfeatures/QBNJSConventions.h"

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"

std::optional<std::string> QBNJSConventions::text(const platform::Json& request, const std::string& key) {
  if (!request.is_object()) return std::nullopt;
  const auto it = request.find(key);
  if (it == request.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::optional<std::string> QBNJSConventions::functionName(const platform::Json& request) {
  return text(request, "functionName");
}

platform::Json QBNJSConventions::functionParams(const platform::Json& request) {
  const auto escaped = text(request, "functionParams");
  if (!escaped) return platform::Json::object();
  auto parsed = PMAHelperMethods::dictionaryFromJsonString(PMAHelperMethods::decodeFromPercentEscapeString(*escaped),
                                                           nullptr);
  return parsed && parsed->is_object() ? std::move(*parsed) : platform::Json::object();
}

namespace {

// Where a reply to `function` goes; none when there is no page function to
// call, or the publisher or its controller manager is gone.
std::shared_ptr<QBNControllerManagerP> replyTarget(const std::weak_ptr<QBNPublisherAgent>& publisherAgent,
                                                   const std::optional<std::string>& function) {
  if (!function || function->empty()) return nullptr;
  const auto agent = publisherAgent.lock();
  return agent ? agent->controllerManager() : nullptr;
}

}  // namespace

void QBNJSConventions::reply(const std::weak_ptr<QBNPublisherAgent>& publisherAgent,
                             const std::optional<std::string>& function, const platform::Json& parameters,
                             bool decodeFirst) {
  if (const auto manager = replyTarget(publisherAgent, function)) {
    manager->runCommand(QBNControllerAPIData::reply(*function, parameters, decodeFirst));
  }
}

void QBNJSConventions::replyEncoded(const std::weak_ptr<QBNPublisherAgent>& publisherAgent,
                                    const std::optional<std::string>& function, const platform::Json& parameters) {
  const auto manager = replyTarget(publisherAgent, function);
  if (!manager) return;
  manager->runCommand(QBNControllerAPIData(*function)
                          .setFunctionParameters(parameters)
                          .setEncodingOptions(QBNControllerAPIData::kEncodingPercentEncode)
                          .setAnswersPage(true));
}

void QBNJSConventions::reply(const std::shared_ptr<QBNControllerManagerP>& controllerManager,
                             const std::optional<std::string>& function, const platform::Json& parameters,
                             int encodingOptions) {
  if (!function || function->empty() || !controllerManager) return;
  controllerManager->runCommand(QBNControllerAPIData(*function)
                                    .setFunctionParameters(parameters)
                                    .setEncodingOptions(encodingOptions)
                                    .setAnswersPage(true));
}

std::optional<std::string> QBNJSConventions::decodedText(const platform::Json& request, const std::string& key) {
  auto value = text(request, key);
  if (value) value = PMAHelperMethods::decodeFromPercentEscapeString(*value);
  return value;
}

platform::Json QBNJSConventions::decodedTexts(const platform::Json& request) {
  platform::Json out = request.is_object() ? request : platform::Json::object();
  for (auto& value : out) {
    if (value.is_string()) value = PMAHelperMethods::decodeFromPercentEscapeString(value.get<std::string>());
  }
  return out;
}
