#include "core/QBPlacementsRepository.h"

#include <algorithm>

std::shared_ptr<QBPlacementsRepository> QBPlacementsRepository::initWithArray(
    std::vector<std::shared_ptr<const QBPlacement>> placements) {
  std::shared_ptr<QBPlacementsRepository> repo(new QBPlacementsRepository());
  std::erase(placements, nullptr);
  repo->placements_ = std::move(placements);
  const auto& all = repo->placements_;
  if (all.empty()) return repo;
  auto flagged = std::find_if(all.begin(), all.end(), [](const auto& p) { return p->isDefault(); });
  if (flagged == all.end()) {
    flagged = std::find_if(all.begin(), all.end(), [](const auto& p) { return p->placementId() == 0; });
  }
  repo->defaultPlacement_ = flagged != all.end() ? *flagged : all.front();
  return repo;
}

std::shared_ptr<const QBPlacement> QBPlacementsRepository::placementForName(const std::string& name) const {
  for (const auto& placement : placements_) {
    if (placement->placementName() == name) return placement;
  }
  return defaultPlacement_;
}
