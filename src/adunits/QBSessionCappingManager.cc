#include "adunits/QBSessionCappingManager.h"

#include <utility>

QBSessionCappingInstance::QBSessionCappingInstance(std::string instanceName, int32_t maxAdsPerSession)
    : maxAdsPerSession_(maxAdsPerSession), instanceName_(std::move(instanceName)) {}

std::shared_ptr<QBSessionCappingInstance> QBSessionCappingInstance::initWithInstanceName(std::string instanceName,
                                                                                         int32_t maxAdsPerSession) {
  return std::make_shared<QBSessionCappingInstance>(std::move(instanceName), maxAdsPerSession);
}

QBSessionCappingManager::QBSessionCappingManager(
    const std::vector<std::shared_ptr<QBSessionCappingDelegate>>& smashes) {
  for (const auto& smash : smashes) {
    if (!smash || smash->getMaxAdsPerSession() == QBSessionCappingDelegate::kNoLimit) continue;
    instanceToShowCount_[smash->getInstanceName()] = 0;
  }
}

std::shared_ptr<QBSessionCappingManager> QBSessionCappingManager::initWithSmashes(
    const std::vector<std::shared_ptr<QBSessionCappingDelegate>>& smashes) {
  return std::make_shared<QBSessionCappingManager>(smashes);
}

void QBSessionCappingManager::increaseShowCounter(const std::shared_ptr<QBSessionCappingDelegate>& smash) {
  if (!smash) return;
  const std::string name = smash->getInstanceName();
  std::lock_guard lock(mutex_);
  auto it = instanceToShowCount_.find(name);
  if (it == instanceToShowCount_.end()) return;
  ++it->second;
  countedShows_.store(true, std::memory_order_release);
}

bool QBSessionCappingManager::isCapped(const std::shared_ptr<QBSessionCappingDelegate>& smash) const {
  if (!smash) return false;
  // The limit is read from the instance at each question, never stored.
  return isCapped(smash->getInstanceName(), smash->getMaxAdsPerSession());
}

bool QBSessionCappingManager::isCapped(const std::string& instanceName, int64_t limit) const {
  if (limit > 0 && !hasCountedShows()) return false;
  const auto count = showCount(instanceName);
  return count && *count >= limit;
}

std::optional<int64_t> QBSessionCappingManager::showCount(const std::string& instanceName) const {
  std::lock_guard lock(mutex_);
  auto it = instanceToShowCount_.find(instanceName);
  if (it == instanceToShowCount_.end()) return std::nullopt;
  return it->second;
}

std::map<std::string, int64_t> QBSessionCappingManager::instanceToShowCount() const {
  std::lock_guard lock(mutex_);
  return {instanceToShowCount_.begin(), instanceToShowCount_.end()};
}
