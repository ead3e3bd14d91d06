#pragma once
// Whole-ad-unit capped flags, set from the "isAdUnitCapped" configuration of
// auction answers. One object per manager; in memory only.
//
// Thread-safe; answers on the calling thread.
#include <mutex>
#include <string>
#include <unordered_map>

#include "quillborne/QBAdUnit.h"

class QBAdUnitCappingManager {
 public:
  QBAdUnitCappingManager() = default;

  void updateAdUnitCapping(const QBAdUnit& adUnit, bool isCapped);
  // False for an ad unit never set.
  bool isAdUnitCapped(const QBAdUnit& adUnit) const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, bool> capped_;
};
