#include "mediation/QBSessionDepthManager.h"

namespace {
// Serialises the read-merge-write of one ad unit's "adunit_data" entry.
std::mutex& adUnitDataMutex() {
  static std::mutex& mutex = *new std::mutex();  // never destroyed
  return mutex;
}
}  // namespace

void QBSessionDepthGlobalDataWriter::setSessionDepth(const QBAdUnit& adUnit, int sessionDepth) {
  std::lock_guard<std::mutex> lock(adUnitDataMutex());
  platform::Json entry = platform::Json::object();
  if (auto all = QBGlobalDataManager::sharedInstance().valueForKey(QBGlobalDataKeys::kAdUnitData)) {
    if (auto existing = platform::getObject(*all, adUnit.value())) entry = std::move(*existing);
  }
  entry[QBGlobalDataKeys::kSessionDepth] = sessionDepth;
  writer_.extendData(platform::Json{{adUnit.value(), std::move(entry)}}, QBGlobalDataKeys::kAdUnitData);
}

QBSessionDepthManager& QBSessionDepthManager::sharedManager() {
  static QBSessionDepthManager& manager = *new QBSessionDepthManager();  // never destroyed
  return manager;
}

void QBSessionDepthManager::resetForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  depths_.clear();
}

int& QBSessionDepthManager::counterLocked(const QBAdUnit& adUnit) {
  auto [it, inserted] = depths_.try_emplace(adUnit.value(), 1);
  if (inserted) writer_.setSessionDepth(adUnit, 1);
  return it->second;
}

int QBSessionDepthManager::getSessionDepth(const QBAdUnit& adUnit) {
  std::lock_guard<std::mutex> lock(mutex_);
  return counterLocked(adUnit);
}

void QBSessionDepthManager::increaseSessionDepth(const QBAdUnit& adUnit) {
  std::lock_guard<std::mutex> lock(mutex_);
  int& depth = counterLocked(adUnit);
  ++depth;
  writer_.setSessionDepth(adUnit, depth);
}
