#include "platform/storekit/ad_impression.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "platform/runtime.h"
#include "platform/storekit/storekit_control.h"
#include "platform/storekit/storekit_internal.h"
#include "platform/ui/ui_device.h"

namespace platform {
namespace {

struct Setter {
  const char* selector;
  const char* property;
  bool number;
  const char* since;  // the first system version that answers it
};

constexpr Setter kSetters[] = {
    {"setSourceAppStoreItemIdentifier:", "sourceAppStoreItemIdentifier", true, "14.5"},
    {"setAdvertisedAppStoreItemIdentifier:", "advertisedAppStoreItemIdentifier", true, "14.5"},
    {"setSourceIdentifier:", "sourceIdentifier", true, "16.1"},
    {"setAdNetworkIdentifier:", "adNetworkIdentifier", false, "14.5"},
    {"setVersion:", "version", false, "14.5"},
    {"setTimestamp:", "timestamp", true, "14.5"},
    {"setSignature:", "signature", false, "14.5"},
    {"setAdImpressionIdentifier:", "adImpressionIdentifier", false, "14.5"},
    {"setAdCampaignIdentifier:", "adCampaignIdentifier", true, "14.5"},
    {"setAdType:", "adType", false, "14.5"},
    {"setAdDescription:", "adDescription", false, "14.5"},
    {"setAdPurchaserName:", "adPurchaserName", false, "14.5"},
};

const Setter* findSetter(const std::string& selector) {
  for (const auto& setter : kSetters) {
    if (selector == setter.selector) return &setter;
  }
  return nullptr;
}

constexpr char kStartImpression[] = "startImpression:completionHandler:";
constexpr char kEndImpression[] = "endImpression:completionHandler:";

}  // namespace

// ------------------------------------------------------------- the impression

bool SKAdImpression::respondsToSelector(const std::string& selector) const {
  const Setter* setter = findSetter(selector);
  return setter && Device::current().isSystemVersionAtLeast(setter->since);
}

bool SKAdImpression::performSetter(const std::string& selector, const Json& value) {
  const Setter* setter = findSetter(selector);
  if (!setter || !respondsToSelector(selector)) return false;
  if (setter->number ? !value.is_number() : !value.is_string()) return false;
  properties_[setter->property] = value;
  return true;
}

std::optional<Json> SKAdImpression::value(const char* property) const {
  const auto it = properties_.find(property);
  if (it == properties_.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> SKAdImpression::text(const char* property) const {
  const auto found = value(property);
  if (!found || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

std::string SKAdImpression::description() const { return "<SKAdImpression: " + dumpJson(properties_) + ">"; }

// ---------------------------------------------------------------- the network

bool SKAdNetwork::respondsToSelector(const std::string& selector) {
  return (selector == kStartImpression || selector == kEndImpression) &&
         Device::current().isSystemVersionAtLeast("14.5");
}

void SKAdNetwork::startImpression(const std::shared_ptr<SKAdImpression>& impression, SKAdNetworkCompletion completion) {
  StoreKitControl::shared().receiveImpressionCall("startImpression", impression, std::move(completion));
}

void SKAdNetwork::endImpression(const std::shared_ptr<SKAdImpression>& impression, SKAdNetworkCompletion completion) {
  StoreKitControl::shared().receiveImpressionCall("endImpression", impression, std::move(completion));
}

void registerStoreKitClasses(ClassRegistry& registry) {
  registry.registerClass<SKAdImpression>("SKAdImpression", [] { return std::make_shared<SKAdImpression>(); });
  registry.registerClass<SKAdNetwork>("SKAdNetwork", [] { return std::make_shared<SKAdNetwork>(); });
  // Overlays are made with their configuration (SKOverlay::initWithConfiguration);
  // the name stands for the class being there.
  registry.registerClass<SKOverlay>("SKOverlay", [] { return std::shared_ptr<SKOverlay>(); });
}

// ---------------------------------------------------------------- the control

void StoreKitControl::setImpressionAnswer(SKAdNetworkAnswer answer) {
  std::lock_guard lock(m_);
  impressionAnswer_ = std::move(answer);
}

void StoreKitControl::failNextImpressionCall(Error error) {
  std::lock_guard lock(m_);
  nextImpressionError_ = std::move(error);
}

void StoreKitControl::throwOnNextImpressionCall(std::string reason) {
  std::lock_guard lock(m_);
  nextImpressionThrow_ = std::move(reason);
}

std::vector<SKAdNetworkCallRecord> StoreKitControl::impressionCalls() const {
  std::lock_guard lock(m_);
  return impressionCalls_;
}

void StoreKitControl::receiveImpressionCall(const char* method, const std::shared_ptr<SKAdImpression>& impression,
                                            SKAdNetworkCompletion completion) {
  SKAdNetworkAnswer answer;
  size_t index;
  uint64_t generation;
  {
    std::lock_guard lock(m_);
    if (nextImpressionThrow_) {
      const std::string reason = std::exchange(nextImpressionThrow_, std::nullopt).value();
      throw std::invalid_argument(reason);
    }
    answer = impressionAnswer_;
    if (nextImpressionError_) answer.error = std::exchange(nextImpressionError_, std::nullopt);
    auto started = std::find(startedImpressions_.begin(), startedImpressions_.end(), impression);
    const bool start = std::string_view(method) == "startImpression";
    if (!start && !answer.error && (!impression || started == startedImpressions_.end())) {
      answer.error = Error{kSKANErrorDomain, SKANError::ImpressionNotFound,
                           "The operation couldn\u2019t be completed. (SKANErrorDomain error 4.)"};
    }
    if (!answer.error) {
      if (start && impression && started == startedImpressions_.end()) startedImpressions_.push_back(impression);
      if (!start) startedImpressions_.erase(started);
    }
    index = impressionCalls_.size();
    impressionCalls_.push_back(SKAdNetworkCallRecord{method, impression, impression ? impression->properties() : Json(),
                                                     currentQueueLabel(), answer.error, false});
    generation = generation_;
  }
  auto deliver = [index, generation, error = answer.error, completion = std::move(completion)] {
    auto& control = StoreKitControl::shared();
    {
      std::lock_guard lock(control.m_);
      if (generation != control.generation_) return;
      control.impressionCalls_[index].answered = true;
    }
    if (completion) completion(error);
  };
  storekit_internal::deliverOn(answer.thread, answer.delayMs, std::move(deliver));
}

}  // namespace platform
