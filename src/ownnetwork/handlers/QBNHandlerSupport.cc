#include "ownnetwork/handlers/QBNHandlerSupport.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"

namespace qbnhandlers {

std::optional<std::string> text(const platform::Json& request, const std::string& key) {
  return platform::getString(request, key);
}

bool has(const platform::Json& request, const std::string& key) {
  return request.is_object() && request.contains(key) && !request[key].is_null();
}

void reply(const std::shared_ptr<QBNPublisherAgent>& publisher, const std::optional<std::string>& name,
           const platform::Json& parameters, bool decodeFirst) {
  if (!publisher) return;
  if (auto manager = publisher->controllerManager()) {
    manager->runCommand(QBNControllerAPIData::reply(name.value_or(""), parameters, decodeFirst));
  }
}

std::optional<std::string> extractDemandSourceIdFromDictionary(const platform::Json& request) {
  if (auto id = text(request, "demandSourceId")) return id;
  return text(request, "demandSourceName");
}

platform::Result<uint32_t> convertProductNameToProductType(const std::optional<std::string>& name) {
  if (auto services = QBNPresentationServicesP::sharedInstance()) return services->convertProductNameToProductType(name);
  return PMAHelperMethods::errorWithReason("failed to find product type", 0, kPMAErrorDomain);
}

std::string publisherMethod(const std::string& operation) { return "-[PlovermarkAdsPublisher " + operation + "]"; }

void log(const std::string& message, uint64_t level, int tag) {
  PlovermarkLogManager::sharedManager().log(message, level, tag);
}

}  // namespace qbnhandlers
