#include "scriptfeatures/storekit/QBNAdImpressionService.h"

#include <utility>

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/runtime.h"
#include "platform/storekit/ad_impression.h"

namespace {

using platform::Json;
using platform::SKAdImpression;

// The page's keys, in the order they are applied, with their setters.
struct Property {
  const char* key;
  bool number;
  const char* selector;
};

constexpr Property kProperties[] = {
    {"adNetworkSourceAppStoreIdentifier", true, "setSourceAppStoreItemIdentifier:"},
    {"id", true, "setAdvertisedAppStoreItemIdentifier:"},
    {"sourceIdentifier", true, "setSourceIdentifier:"},
    {"adNetworkId", false, "setAdNetworkIdentifier:"},
    {"adNetworkPayloadVersion", false, "setVersion:"},
    {"adNetworkImpressionTimestamp", true, "setTimestamp:"},
    {"adNetworkAttributionSignature", false, "setSignature:"},
    {"adNetworkNonce", false, "setAdImpressionIdentifier:"},
    {"adNetworkCampaignId", true, "setAdCampaignIdentifier:"},
    {"adType", false, "setAdType:"},
    {"adDescription", false, "setAdDescription:"},
    {"adPurchaserName", false, "setAdPurchaserName:"},
};

constexpr char kStartSelector[] = "startImpression:completionHandler:";
constexpr char kEndSelector[] = "endImpression:completionHandler:";

void log(const std::string& message) { PlovermarkLogManager::sharedManager().log(message, 1, 5); }

}  // namespace

QBNAdImpressionService::QBNAdImpressionService()
    : queue_(platform::createSerialQueue("com.plovermark.adimpression.queue")) {}

std::shared_ptr<QBNAdImpressionService> QBNAdImpressionService::create() {
  return std::shared_ptr<QBNAdImpressionService>(new QBNAdImpressionService());
}

platform::Error QBNAdImpressionService::error(const std::string& message) {
  return platform::Error{kQBNAdImpressionErrorDomain, kQBNAdImpressionErrorCode, message};
}

bool QBNAdImpressionService::isSKAdImpressionExists() {
  return platform::ClassRegistry::shared().classExists("SKAdImpression");
}

std::shared_ptr<SKAdImpression> QBNAdImpressionService::createAdImpressionInstance() {
  return platform::ClassRegistry::shared().create<SKAdImpression>("SKAdImpression");
}

void QBNAdImpressionService::setProperty(const Json* value, bool number, const std::string& selector,
                                         SKAdImpression& impression) {
  if (!value || selector.empty() || !impression.respondsToSelector(selector)) return;
  if (number ? !value->is_number() : !value->is_string()) return;
  impression.performSetter(selector, *value);
}

platform::Result<std::shared_ptr<SKAdImpression>> QBNAdImpressionService::createAdImpressionFromData(
    const std::optional<Json>& data) {
  if (!data || !data->is_object()) return error("missing data to create SKAdImpression instance");
  auto impression = createAdImpressionInstance();
  if (!impression) return error("failed to instantiate SKAdImpression");
  for (const auto& property : kProperties) {
    const auto it = data->find(property.key);
    setProperty(it == data->end() ? nullptr : &*it, property.number, property.selector, *impression);
  }
  return impression;
}

void QBNAdImpressionService::executeSKAdNetworkImpressionMethod(
    const std::string& selector, const std::shared_ptr<SKAdImpression>& impression,
    std::function<void(std::optional<platform::Error>)> completion) {
  if (!platform::ClassRegistry::shared().classExists("SKAdNetwork") ||
      !platform::SKAdNetwork::respondsToSelector(selector)) {
    return;
  }
  if (selector == kStartSelector) {
    platform::SKAdNetwork::startImpression(impression, std::move(completion));
  } else if (selector == kEndSelector) {
    platform::SKAdNetwork::endImpression(impression, std::move(completion));
  }
}

void QBNAdImpressionService::startImpression(const std::optional<Json>& data, Completion completion) {
  auto created = createAdImpressionFromData(data);
  adImpressionInstance_ = created ? created.value() : nullptr;
  if (!created) {
    completion(created.error());
    return;
  }
  log("QBNAdImpressionService | startImpression - SKAdImpression instance: " + adImpressionInstance_->description() +
      " with parameters: " + platform::dumpJson(*data));
  // The network may answer on any thread; the answer is passed on from the
  // service's queue.
  const platform::QueueRef queue = queue_;
  executeSKAdNetworkImpressionMethod(
      kStartSelector, adImpressionInstance_,
      [queue, completion = std::move(completion)](std::optional<platform::Error> error) mutable {
        queue->async([completion = std::move(completion), error = std::move(error)] { completion(error); });
      });
}

void QBNAdImpressionService::endImpressionWithcompletionHandler(Completion completion) {
  // The end takes the held impression: whatever the network answers, the
  // commands received after this one find none (or their own).
  const auto ended = std::exchange(adImpressionInstance_, nullptr);
  if (!ended) {
    completion(error("missing SKAdImpression instance for endImpression"));
    return;
  }
  log("QBNAdImpressionService | endImpression - SKAdImpression instance: " + ended->description());
  const platform::QueueRef queue = queue_;
  executeSKAdNetworkImpressionMethod(
      kEndSelector, ended, [queue, completion = std::move(completion)](std::optional<platform::Error> error) mutable {
        queue->async([completion = std::move(completion), error = std::move(error)] { completion(error); });
      });
}
