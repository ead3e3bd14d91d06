#pragma once
// The application's orientation facts as the platform reports them now. Main
// queue only.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/json.h"
#include "presentation/QBOrientationData.h"

namespace platform {
class ViewController;
}

class PMEOrientationContext {
 public:
  static int64_t deviceOrientation();
  // The information dictionary's "UISupportedInterfaceOrientations" when it
  // is an array; none otherwise.
  static std::optional<platform::Json> supportedInterfaceOrientations();
  // Of the key window's root view controller: 0 / NO / 0 without one.
  static uint64_t topMostViewControllerOrientation();
  static bool topMostViewControlleShouldAutorotate();
  static int64_t preferredInterfaceOrientationForPresentation();
  static int64_t statusBarOrientation();
  // The application's own orientations for its key window (the delegate is
  // not asked).
  static uint64_t windowOrientation();
  // Whether the application has a delegate answering for a window's
  // orientations.
  static bool isWindowOrientationOverrided();
  // A new record of the eight facts above.
  static std::shared_ptr<QBOrientationData> applicationOrientationData();
  // The controller's supported orientations; every bit set for none.
  static uint64_t supportedOrientationForViewController(const std::shared_ptr<platform::ViewController>& controller);
  // applicationOrientationData, whose windowOrientation becomes the
  // delegate's answer for the key window when `allowed`, the record says the
  // delegate overrides it and the delegate (still) answers.
  static std::shared_ptr<QBOrientationData> applicationOrientationDataWithAppDelegateDataIfAllowed(bool allowed);
};

// The main screen's scale factor.
class PMEScreenContext {
 public:
  static double scale();
};
