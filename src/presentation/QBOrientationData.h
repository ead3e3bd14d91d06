#pragma once
// One snapshot of the application's orientation facts (PMEOrientationContext
// fills it).
#include <cstdint>
#include <optional>

#include "platform/json.h"

class QBOrientationData {
 public:
  // The device's orientation (0 to 6).
  int64_t currentDeviceOrientation() const { return currentDeviceOrientation_; }
  void setCurrentDeviceOrientation(int64_t v) { currentDeviceOrientation_ = v; }
  // The information dictionary's "UISupportedInterfaceOrientations" array,
  // unchanged; none when absent.
  const std::optional<platform::Json>& plistOrientation() const { return plistOrientation_; }
  void setPlistOrientation(std::optional<platform::Json> v) { plistOrientation_ = std::move(v); }
  // Orientation masks.
  uint64_t windowOrientation() const { return windowOrientation_; }
  void setWindowOrientation(uint64_t v) { windowOrientation_ = v; }
  uint64_t topMostViewControllerOrientation() const { return topMostViewControllerOrientation_; }
  void setTopMostViewControllerOrientation(uint64_t v) { topMostViewControllerOrientation_ = v; }
  bool topMostViewControllerShouldAutorotate() const { return topMostViewControllerShouldAutorotate_; }
  void setTopMostViewControllerShouldAutorotate(bool v) { topMostViewControllerShouldAutorotate_ = v; }
  // Interface orientations.
  int64_t preferredInterfaceOrientationForPresentation() const { return preferredInterfaceOrientationForPresentation_; }
  void setPreferredInterfaceOrientationForPresentation(int64_t v) { preferredInterfaceOrientationForPresentation_ = v; }
  int64_t statusBarOrientation() const { return statusBarOrientation_; }
  void setStatusBarOrientation(int64_t v) { statusBarOrientation_ = v; }
  // Whether the application's delegate answers for the window's orientations.
  bool isWindowOrientationOverrided() const { return isWindowOrientationOverrided_; }
  void setIsWindowOrientationOverrided(bool v) { isWindowOrientationOverrided_ = v; }

  // The dictionary sent to the controller page: every value a text (numbers
  // in decimal, as signed 64-bit; booleans "true"/"false") except
  // "plistOrientation", the array itself, left out when there is none.
  platform::Json dictionaryRepresentation() const;

 private:
  int64_t currentDeviceOrientation_ = 0;
  std::optional<platform::Json> plistOrientation_;
  uint64_t windowOrientation_ = 0;
  uint64_t topMostViewControllerOrientation_ = 0;
  bool topMostViewControllerShouldAutorotate_ = false;
  int64_t preferredInterfaceOrientationForPresentation_ = 0;
  int64_t statusBarOrientation_ = 0;
  bool isWindowOrientationOverrided_ = false;
};
