#include "core/QBImpressionDataDelegates.h"

#include <algorithm>

namespace {

bool same(const std::weak_ptr<QBImpressionDataDelegate>& a, const std::shared_ptr<QBImpressionDataDelegate>& b) {
  // Owner comparison still identifies an entry whose object is gone.
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

bool QBImpressionDataDelegates::addDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate) {
  if (!delegate) return false;
  std::lock_guard lock(mutex_);
  std::erase_if(delegates_, [](const auto& d) { return d.expired(); });
  if (std::any_of(delegates_.begin(), delegates_.end(), [&](const auto& d) { return same(d, delegate); })) {
    return false;
  }
  delegates_.push_back(delegate);
  return true;
}

bool QBImpressionDataDelegates::removeDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate) {
  if (!delegate) return false;
  std::lock_guard lock(mutex_);
  return std::erase_if(delegates_, [&](const auto& d) { return same(d, delegate); }) > 0;
}

void QBImpressionDataDelegates::removeAllDelegates() {
  std::vector<std::weak_ptr<QBImpressionDataDelegate>> gone;
  std::lock_guard lock(mutex_);
  gone.swap(delegates_);
}

std::vector<std::shared_ptr<QBImpressionDataDelegate>> QBImpressionDataDelegates::allDelegates() const {
  std::vector<std::shared_ptr<QBImpressionDataDelegate>> live;
  std::lock_guard lock(mutex_);
  std::erase_if(delegates_, [](const auto& d) { return d.expired(); });
  for (const auto& d : delegates_) {
    if (auto strong = d.lock()) live.push_back(std::move(strong));
  }
  return live;
}

void QBImpressionDataDelegates::impressionDataDidSucceed(const std::shared_ptr<QBImpressionData>& data) const {
  if (!data) return;
  for (const auto& delegate : allDelegates()) delegate->impressionDataDidSucceed(data);
}
