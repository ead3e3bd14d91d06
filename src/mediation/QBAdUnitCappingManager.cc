#include "mediation/QBAdUnitCappingManager.h"

void QBAdUnitCappingManager::updateAdUnitCapping(const QBAdUnit& adUnit, bool isCapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  capped_[adUnit.value()] = isCapped;
}

bool QBAdUnitCappingManager::isAdUnitCapped(const QBAdUnit& adUnit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = capped_.find(adUnit.value());
  return it != capped_.end() && it->second;
}
