#include "adapters/QBBaseAdAdapter.h"

#include "adapters/QBAdapterRepository.h"

QBBaseAdInteractionAdapter* QBBaseAdAdapter::asInteractionAdapter() {
  return dynamic_cast<QBBaseAdInteractionAdapter*>(this);
}

void QBBaseAdAdapter::initWithAdUnit(const QBAdUnit& adUnit, const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  std::lock_guard lock(mutex_);
  adUnit_ = adUnit;
  adapterConfig_ = adapterConfig;
}

std::optional<QBAdUnit> QBBaseAdAdapter::adUnit() const {
  std::lock_guard lock(mutex_);
  return adUnit_;
}

std::shared_ptr<QBAdapterConfig> QBBaseAdAdapter::adapterConfig() const {
  std::lock_guard lock(mutex_);
  return adapterConfig_;
}

std::shared_ptr<QBBaseNetworkAdapter> QBBaseAdAdapter::getNetworkAdapter() const {
  auto config = adapterConfig();
  auto unit = adUnit();
  if (!config || !unit) return nullptr;
  return QBAdapterRepository::sharedRepository().getNetworkAdapter(config, *unit);
}

void QBBaseRewardedVideo::init(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  initWithAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), adapterConfig);
}

void QBBaseInterstitial::init(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  initWithAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), adapterConfig);
}
