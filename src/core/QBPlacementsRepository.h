#pragma once
// The placements of one ad unit and the choice of its default placement.
// Immutable once built; safe to share between threads.
#include <memory>
#include <string>
#include <vector>

#include "core/QBPlacement.h"

class QBPlacementsRepository {
 public:
  // Keeps the non-null placements in order. The default placement is the
  // first one flagged default, else the first with id 0, else the first one;
  // none when there are no placements.
  static std::shared_ptr<QBPlacementsRepository> initWithArray(
      std::vector<std::shared_ptr<const QBPlacement>> placements);

  // The placement named exactly `name` (case matters); the default placement
  // when none matches (none when the repository is empty).
  std::shared_ptr<const QBPlacement> placementForName(const std::string& name) const;
  std::shared_ptr<const QBPlacement> defaultPlacement() const { return defaultPlacement_; }
  const std::vector<std::shared_ptr<const QBPlacement>>& placements() const { return placements_; }
  bool isEmpty() const { return placements_.empty(); }

 private:
  QBPlacementsRepository() = default;

  std::vector<std::shared_ptr<const QBPlacement>> placements_;
  std::shared_ptr<const QBPlacement> defaultPlacement_;
};
