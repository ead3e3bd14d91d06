// Queries, properties and event data of the waterfall instance.
#include <charconv>
#include <utility>

#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "adunits/QBBaseAdUnitSmash.h"
#include "core/QBAdapterConfig.h"
#include "core/QBPlacement.h"
#include "events/QBEventKinds.h"
#include "platform/runtime.h"

// ---- queries ----

bool QBBaseAdUnitSmash::isBidder() const { return adapterConfig_ && adapterConfig_->isBidder(); }

std::string QBBaseAdUnitSmash::getInstanceName() const {
  return adapterConfig_ ? adapterConfig_->providerName() : std::string();
}

int QBBaseAdUnitSmash::getInstanceType() const {
  if (!adapterConfig_ || !adapterConfig_->instanceType()) return 1;
  const std::string& text = *adapterConfig_->instanceType();
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 1;
  return value;
}

std::string QBBaseAdUnitSmash::getNameForReflection() const {
  return adapterConfig_ ? adapterConfig_->reflectionName() : std::string();
}

int32_t QBBaseAdUnitSmash::getMaxAdsPerSession() const {
  return adapterConfig_ ? static_cast<int32_t>(adapterConfig_->maxAdsPerSession()) : kNoLimit;
}

const std::string& QBBaseAdUnitSmash::getAuctionId() const { return smashData_->auctionId(); }

std::string QBBaseAdUnitSmash::getCurrentPlacementName() const {
  auto placement = currentPlacement();
  return placement ? placement->placementName() : std::string();
}

bool QBBaseAdUnitSmash::isWaitingForInitResponse() const {
  return state() == QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS;
}

bool QBBaseAdUnitSmash::isLoadingInProgress() const {
  const QBSmashState current = state();
  return current == QBSmashState::QB_SMASH_STATE_INIT_IN_PROGRESS || current == QBSmashState::QB_SMASH_STATE_LOADING;
}

bool QBBaseAdUnitSmash::isLoaded() const { return state() == QBSmashState::QB_SMASH_STATE_LOADED; }

bool QBBaseAdUnitSmash::isShowingAd() const { return state() == QBSmashState::QB_SMASH_STATE_SHOWING; }

bool QBBaseAdUnitSmash::isReadyToLoad() const { return state() != QBSmashState::QB_SMASH_STATE_FAILED; }

// ---- properties ----

std::string QBBaseAdUnitSmash::dynamicDemandSourceId() const {
  std::lock_guard lock(dataMutex_);
  return dynamicDemandSourceId_;
}

std::shared_ptr<QBAdData> QBBaseAdUnitSmash::currentAdData() const {
  std::lock_guard lock(dataMutex_);
  return currentAdData_;
}

void QBBaseAdUnitSmash::setCurrentAdData(std::shared_ptr<QBAdData> adData) {
  std::lock_guard lock(dataMutex_);
  currentAdData_ = std::move(adData);
}

std::shared_ptr<const QBPlacement> QBBaseAdUnitSmash::currentPlacement() const {
  std::lock_guard lock(dataMutex_);
  return currentPlacement_;
}

void QBBaseAdUnitSmash::setCurrentPlacement(std::shared_ptr<const QBPlacement> placement) {
  std::lock_guard lock(dataMutex_);
  currentPlacement_ = std::move(placement);
}

std::optional<uint32_t> QBBaseAdUnitSmash::adExpirationTimestamp() const {
  std::lock_guard lock(dataMutex_);
  return adExpirationTimestamp_;
}

// ---- event data ----

bool QBBaseAdUnitSmash::shouldAddAuctionParams(int eventKind) const {
  using namespace QBEventKind;
  switch (eventKind) {
    case LOAD_AD:
    case LOAD_AD_SUCCESS:
    case LOAD_AD_FAILED:
    case LOAD_AD_FAILED_WITH_REASON:
    case LOAD_AD_NO_FILL:
    case SHOW_AD:
    case SHOW_AD_FAILED:
    case AD_OPENED:
    case AD_CLICKED:
    case AD_CLOSED:
    case AD_REWARDED:
      return true;
    default:
      return false;
  }
}

platform::Json QBBaseAdUnitSmash::getEventsAdditionalDataDictionary(int eventKind) {
  platform::Json data = platform::Json::object();
  auto network = networkAdapter();
  // Version getters are adapter code: what they throw is logged, and the keys
  // not set by then stay out.
  if (auto caught = platform::guard([&] {
        data["providerAdapterVersion"] = network ? network->adapterVersion() : std::string();
        data["providerSDKVersion"] = network ? network->networkSDKVersion() : std::string();
      })) {
    logFailure(__func__, "Could not get adapter version for event data " + signature_ + ", exception = " +
                             caught->name + " " + caught->reason);
  }
  data["spId"] = adapterConfig_ ? adapterConfig_->subAdapterId() : std::string();
  data["provider"] = adapterConfig_ ? adapterConfig_->adSourceNameForEvent() : std::string();
  data["instanceType"] = getInstanceType();
  data["programmatic"] = getProgrammaticValue();
  if (std::string dynamicDemandSource = dynamicDemandSourceId(); !dynamicDemandSource.empty()) {
    data["dynamicDemandSource"] = dynamicDemandSource;
  }
  data["sessionDepth"] = smashData_->sessionDepth();
  if (!smashData_->genericParams().empty()) data["genericParams"] = smashData_->genericParams();
  if (!smashData_->auctionId().empty()) data["auctionId"] = smashData_->auctionId();
  if (shouldAddAuctionParams(eventKind)) {
    data["auctionTrials"] = smashData_->auctionTrial();
    if (!smashData_->auctionFallback().empty()) data["auctionFallback"] = smashData_->auctionFallback();
  }
  if (adapterConfig_ && !adapterConfig_->customNetwork().empty()) data["customNetwork"] = adapterConfig_->customNetwork();
  return data;
}
