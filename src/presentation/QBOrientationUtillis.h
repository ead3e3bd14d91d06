#pragma once
// Conversions between controller strings, orientation masks, interface
// orientations and locked states. Main queue only (the status-bar readings).
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui/geometry.h"
#include "presentation/QBOrientation.h"

class QBOrientationUtillis {
 public:
  // A text whose integer reading (leading blanks, an optional sign, digits)
  // is not 0 is the mask itself ("24" gives 24); else the name table:
  // "portrait" 6, "landscape" 24, "portraitFront" 2, "portraitUpsideDown" 4,
  // "landscapeLeft" 16, "landscapeRight" 8, "allButUpsideDown" 26, "free" 30,
  // anything else 0.
  static QBOrientation convertControllerStringOrientationToQBOrientation(const std::string& orientation);
  static QBOrientation orientationNumberToQBOrientation(int64_t number);
  static QBOrientation orientationNameToQBOrientation(const std::string& name);
  // 1 -> 2, 2 -> 4, 3 -> 8, 4 -> 16, anything else 0.
  static QBOrientation UIInterfaceOrientation2QBOrientation(int64_t interfaceOrientation);
  // The platform's orientation mask: the value AND 30.
  static uint64_t QBOrientation2UIInterfaceOrientation(QBOrientation orientation);
  // 3 with portrait and landscape bits, 1 portrait only, 2 landscape only,
  // else 0.
  static QBOrientationLockedState orientationLockedStateFromOrientation(uint64_t mask);
  // "unknown", "portrait", "landscape", "none" for 0 to 3; none otherwise.
  static std::optional<std::string> lockedStateAsControllerString(QBOrientationLockedState state);
  // The information dictionary's orientations as a mask, read once per
  // process; while that mask is 0, the status bar's orientation decides at
  // each call (0 or 1 -> 2, 2 -> 4, 3 -> 8, 4 -> 16, else 0).
  static QBOrientation plistSupportedOrientationMask();
  static void resetPlistSupportedOrientationMaskForTesting();
  // The main screen's bounds turned for the status bar's orientation
  // (portrait for 1 and 2).
  static platform::Rect orientationDependantFullScreenRect();
  // Width the shorter side and height the longer one for portrait, the other
  // way otherwise; the origin is the bounds' origin with x and y exchanged.
  static platform::Rect orientationDependantFullScreenRect(bool portrait);
  static bool orientationsHasSharedOrientation(uint64_t a, uint64_t b) { return (a & b) != 0; }
  static uint64_t sharedOrientationsBetweenOrientation(uint64_t a, uint64_t b) { return a & b; }
};
