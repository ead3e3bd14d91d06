#include "mediation/QBPlacementCappingManager.h"

#include <vector>

#include "platform/clock.h"
#include "platform/storage.h"

namespace {

constexpr int64_t kHourMs = 60LL * 60 * 1000;
constexpr int64_t kDayMs = 24 * kHourMs;

int64_t windowLengthMs(const QBPlacement& placement) {
  return placement.cappingType() == QBPlacement::kCappingPerHour ? kHourMs : kDayMs;
}

// The window is open when it started, not in the future, less than its
// length ago.
bool windowOpen(int64_t start, int64_t now, int64_t lengthMs) {
  return start > 0 && start <= now && now - start < lengthMs;
}

}  // namespace

QBPlacementCappingManager& QBPlacementCappingManager::sharedManager() {
  static QBPlacementCappingManager& manager = *new QBPlacementCappingManager();  // never destroyed
  return manager;
}

std::string QBPlacementCappingManager::adUnitCode(const QBAdUnit& adUnit) {
  switch (adUnit.getAdUnitId()) {
    case QBAdUnit::kRewardedVideoId: return "RV";
    case QBAdUnit::kInterstitialId: return "IS";
    case QBAdUnit::kBannerId: return "BN";
    case QBAdUnit::kOfferwallId: return "OW";
    default: return "";
  }
}

std::string QBPlacementCappingManager::keyFor(const QBAdUnit& adUnit, const std::string& field,
                                              const std::string& placementName) {
  return adUnitCode(adUnit) + "_" + field + "_" + placementName;
}

void QBPlacementCappingManager::resetForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& defaults = platform::UserDefaults::standard();
  const auto all = defaults.dictionaryRepresentation();
  std::vector<std::string> doomed;
  for (const auto& [key, value] : all.items()) {
    for (const char* field : {kShowCounterField, kWindowStartField, kLastShowTimeField}) {
      if (key.find(std::string("_") + field + "_") != std::string::npos) doomed.push_back(key);
    }
  }
  for (const auto& key : doomed) defaults.removeObject(key);
}

int QBPlacementCappingManager::placementCappingStatus(const QBPlacement& placement, const QBAdUnit& adUnit) const {
  if (!placement.isDeliveryEnabled()) return kDeliveryDisabled;
  const int64_t now = platform::nowWallMs();
  const auto& name = placement.placementName();
  std::lock_guard<std::mutex> lock(mutex_);
  auto& defaults = platform::UserDefaults::standard();
  if (placement.isCappingEnabled()) {
    const int64_t start = defaults.integer(keyFor(adUnit, kWindowStartField, name));
    const int64_t count = defaults.integer(keyFor(adUnit, kShowCounterField, name));
    if (windowOpen(start, now, windowLengthMs(placement)) && count >= placement.cappingValue()) return kCapped;
  }
  if (placement.isPacingEnabled()) {
    const int64_t last = defaults.integer(keyFor(adUnit, kLastShowTimeField, name));
    if (last > 0 && last <= now && now - last < placement.pacingValue() * 1000) return kPaced;
  }
  return kNotCapped;
}

bool QBPlacementCappingManager::isPlacementCapped(const QBPlacement& placement, const QBAdUnit& adUnit) const {
  return placementCappingStatus(placement, adUnit) != kNotCapped;
}

void QBPlacementCappingManager::incrementShowCounter(const QBPlacement& placement, const QBAdUnit& adUnit) {
  const int64_t now = platform::nowWallMs();
  const auto& name = placement.placementName();
  const auto startKey = keyFor(adUnit, kWindowStartField, name);
  const auto countKey = keyFor(adUnit, kShowCounterField, name);
  std::lock_guard<std::mutex> lock(mutex_);
  auto& defaults = platform::UserDefaults::standard();
  // Shows are counted whatever the rules say now, so a configuration that
  // switches capping on mid-window finds the shows already made.
  if (windowOpen(defaults.integer(startKey), now, windowLengthMs(placement))) {
    defaults.setInteger(countKey, defaults.integer(countKey) + 1);
  } else {
    defaults.setInteger(startKey, now);
    defaults.setInteger(countKey, 1);
  }
  defaults.setInteger(keyFor(adUnit, kLastShowTimeField, name), now);
}
