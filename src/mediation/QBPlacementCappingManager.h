#pragma once
// Placement delivery, capping and pacing, with the show counters kept in the
// standard user defaults so that they survive restarts.
//
// Rules of one placement (QBPlacement):
//  * delivery off: every show is refused (answer 1);
//  * capping: at most cappingValue() shows per window; a window opens at the
//    first show after the previous window closed and lasts 24 hours ("d") or
//    one hour ("h") from that show (a fixed window, not a calendar day);
//  * pacing: at least pacingValue() seconds from the last show.
// A wall clock set back before a stored time closes the window and ends the
// pacing wait, so a changed clock never refuses shows forever.
//
// User-defaults keys (docs/mediation.md): "<ad-unit code>_<field>_<placement
// name>" with codes "RV", "IS", "BN", "OW" and fields "showCounter",
// "cappingWindowStart" and "lastShowTime" (times in ms since 1970).
//
// Thread-safe (one lock around each read-modify-write); answers on the
// calling thread.
#include <cstdint>
#include <mutex>
#include <string>

#include "core/QBPlacement.h"
#include "quillborne/QBAdUnit.h"

class QBPlacementCappingManager {
 public:
  // placementCappingStatus answers.
  static constexpr int kDeliveryDisabled = 1;
  static constexpr int kCapped = 2;
  static constexpr int kPaced = 3;
  static constexpr int kNotCapped = 4;

  static constexpr const char* kShowCounterField = "showCounter";
  static constexpr const char* kWindowStartField = "cappingWindowStart";
  static constexpr const char* kLastShowTimeField = "lastShowTime";

  static QBPlacementCappingManager& sharedManager();
  // Removes every counter of the current standard user defaults.
  void resetForTesting();

  // 1 delivery disabled, 2 capped, 3 paced, 4 not capped, checked in that
  // order.
  int placementCappingStatus(const QBPlacement& placement, const QBAdUnit& adUnit) const;
  // True unless the status is 4 (not capped).
  bool isPlacementCapped(const QBPlacement& placement, const QBAdUnit& adUnit) const;
  // Counts one show of the placement now.
  void incrementShowCounter(const QBPlacement& placement, const QBAdUnit& adUnit);

  // "RV", "IS", "BN", "OW" ("" for an unknown ad unit).
  static std::string adUnitCode(const QBAdUnit& adUnit);
  // The user-defaults key of one field of one placement.
  static std::string keyFor(const QBAdUnit& adUnit, const std::string& field, const std::string& placementName);

 private:
  QBPlacementCappingManager() = default;

  mutable std::mutex mutex_;
};
