#pragma once
// The own network's orientation mask and locked states. The bits are those
// of the platform's interface-orientation masks.
#include <cstdint>

using QBOrientation = uint64_t;

inline constexpr QBOrientation QBOrientationUnknown = 0;
inline constexpr QBOrientation QBOrientationPortraitFront = 2;
inline constexpr QBOrientation QBOrientationPortraitUpsideDown = 4;
inline constexpr QBOrientation QBOrientationPortraitAll = 6;
inline constexpr QBOrientation QBOrientationLandscapeRight = 8;
inline constexpr QBOrientation QBOrientationLandscapeLeft = 16;
inline constexpr QBOrientation QBOrientationLandscapeAll = 24;
inline constexpr QBOrientation QBOrientationAll = 30;

// Whether a mask holds portrait bits, landscape bits, both ("none": nothing
// is locked) or neither.
using QBOrientationLockedState = int64_t;
inline constexpr QBOrientationLockedState QBOrientationLockedStateUnknown = 0;
inline constexpr QBOrientationLockedState QBOrientationLockedStatePortrait = 1;
inline constexpr QBOrientationLockedState QBOrientationLockedStateLandscape = 2;
inline constexpr QBOrientationLockedState QBOrientationLockedStateNone = 3;
