#include "ownnetwork/services/QBEventsTracker.h"

#include "foundation/QBHttpService.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"

namespace {

using platform::Json;

// `text` with the value of each name=value pair (split at "&") percent-
// escaped; names and pairs without "=" stay as they are.
std::string queryWithEscapedValues(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(start, end - start);
    const size_t eq = pair.find('=');
    if (start > 0) out += '&';
    out += eq == std::string::npos
               ? pair
               : pair.substr(0, eq + 1) + PMAHelperMethods::encodeToPercentEscapeString(pair.substr(eq + 1));
    start = end + 1;
  }
  return out;
}

}  // namespace

platform::Result<std::shared_ptr<QBEventsTracker>> QBEventsTracker::init(
    const std::shared_ptr<const QBEventsConfiguration>& configuration,
    std::shared_ptr<const QBEventsBaseData> baseData) {
  if (!configuration) return platform::Error{kEventsConfigurationIsNil, 0, "Nil configuration not supported"};
  if (!configuration->formatter) return platform::Error{kEventsFormatterIsNil, 0, "Nil formatter is not supported"};
  return std::shared_ptr<QBEventsTracker>(new QBEventsTracker(*configuration, std::move(baseData)));
}

void QBEventsTracker::log(const std::string& name, const Json& data) const {
  if (!configuration_.areEventsEnabled || name.empty()) return;
  Json event = data.is_object() ? data : Json::object();
  event["eventname"] = name;
  if (baseData_) {
    const Json base = baseData_->getData();
    if (base.is_object()) {
      for (auto it = base.begin(); it != base.end(); ++it) event[it.key()] = it.value();
    }
  }
  QBHttpService::send(buildRequestForEvent(configuration_.formatter->format(event)), generateCompletionCallback());
}

platform::URLRequest QBEventsTracker::buildRequestForEvent(const std::string& formattedText) const {
  platform::URLRequest request;
  const std::string endpoint = configuration_.endpoint.value_or("");
  request.method = configuration_.httpMethod.value_or("POST");
  if (request.method.empty()) request.method = "POST";
  if (request.method == "GET") {
    request.url = endpoint + "?" + queryWithEscapedValues(formattedText);
  } else {
    request.url = endpoint;
    request.body = formattedText;
  }
  if (configuration_.requestHeaders && configuration_.requestHeaders->is_object()) {
    for (auto it = configuration_.requestHeaders->begin(); it != configuration_.requestHeaders->end(); ++it) {
      if (it.value().is_string()) request.headers.emplace_back(it.key(), it.value().get<std::string>());
    }
  }
  return request;
}

platform::DataTaskCompletion QBEventsTracker::generateCompletionCallback() const {
  const bool allowLogs = configuration_.allowLogs;
  return [allowLogs](platform::DataTaskResult result) {
    if (!allowLogs) return;
    if (result.response) {
      PlovermarkLogManager::systemLog("QBEventsTracker Response Status Code " +
                                      std::to_string(result.response->statusCode), 1);
    }
    if (result.error) PlovermarkLogManager::systemLog("QBEventsTracker Request Error " + result.error->message, 2);
  };
}
