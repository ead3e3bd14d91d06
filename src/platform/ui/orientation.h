#pragma once
// Interface orientations and orientation masks of the headless UI layer, with
// the platform's values.
#include <cstdint>

namespace platform {

// UIInterfaceOrientation. The status bar and view controllers answer in these.
enum class InterfaceOrientation : int {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4,
};

// Bits of an interface-orientation mask (1 << the interface orientation).
namespace InterfaceOrientationMask {
constexpr uint64_t Portrait = 1u << 1;            // 2
constexpr uint64_t PortraitUpsideDown = 1u << 2;  // 4
constexpr uint64_t LandscapeRight = 1u << 3;      // 8
constexpr uint64_t LandscapeLeft = 1u << 4;       // 16
constexpr uint64_t Landscape = LandscapeLeft | LandscapeRight;  // 24
constexpr uint64_t AllButUpsideDown = Portrait | Landscape;     // 26
constexpr uint64_t All = AllButUpsideDown | PortraitUpsideDown; // 30
}  // namespace InterfaceOrientationMask

// Posted on the default notification centre, on the caller's thread, when the
// device's orientation changes (Device::setOrientation).
inline constexpr const char* kUIDeviceOrientationDidChangeNotification =
    "UIDeviceOrientationDidChangeNotification";

// The application information dictionary's key listing the supported
// orientations, and the mask its strings make: "UIInterfaceOrientationPortrait"
// 2, "UIInterfaceOrientationPortraitUpsideDown" 4,
// "UIInterfaceOrientationLandscapeLeft" 16, "UIInterfaceOrientationLandscapeRight"
// 8, combined; other entries are ignored. 0 when the key is absent or lists
// none of them. Read from platform::appInfo() at each call.
inline constexpr const char* kUISupportedInterfaceOrientationsKey = "UISupportedInterfaceOrientations";
uint64_t supportedInterfaceOrientationsFromAppInfo();

}  // namespace platform
