#pragma once
// The check of the page's overlay configuration, and the overlay's on-screen
// operations in the window scene of the top-most view controller.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class SKOverlay;
}

class QBNOverlayUtils {
 public:
  // Fails (general domain, code 0) with "Missing overlay advertised app
  // track ID in config" without an "advertisedAppId" text, else with
  // "Missing overlayId in config" without a non-empty "overlayId" text.
  static platform::Status isValidJSOverlayConfig(const platform::Json& config);
};

class QBNOverlayPresenter {
 public:
  // Main queue only. The failure is known when they return: "Topmost view
  // controller is nil" without a top-most view controller, "Window scene is
  // nil" when its view's window belongs to no scene.
  // Presents the overlay in that scene (the overlay's delegate hears the rest).
  static platform::Status presentOverlayWithOverlay(const std::shared_ptr<platform::SKOverlay>& overlay);
  // Dismisses whatever overlay that scene shows (none: nothing happens).
  static platform::Status dismissOverlaysWithError();
};
