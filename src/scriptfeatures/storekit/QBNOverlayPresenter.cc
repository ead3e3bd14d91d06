#include "scriptfeatures/storekit/QBNOverlayPresenter.h"

#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/storekit/overlay.h"
#include "platform/ui/window_scene.h"

namespace {

platform::Error failure(const char* reason) { return PMAHelperMethods::errorWithReason(reason, 0, std::nullopt); }

// The window scene of the top-most view controller, or why there is none.
platform::Result<std::shared_ptr<platform::WindowScene>> topMostScene() {
  const auto top = PMAHelperMethods::topMostController();
  if (!top) return failure("Topmost view controller is nil");
  auto scene = PMAHelperMethods::avaibleWindowScene(top);
  if (!scene) return failure("Window scene is nil");
  return scene;
}

}  // namespace

platform::Status QBNOverlayUtils::isValidJSOverlayConfig(const platform::Json& config) {
  const auto isText = [&config](const char* key, bool nonEmpty) {
    if (!config.is_object()) return false;
    const auto it = config.find(key);
    return it != config.end() && it->is_string() && !(nonEmpty && it->get_ref<const std::string&>().empty());
  };
  if (!isText("advertisedAppId", false)) return failure("Missing overlay advertised app track ID in config");
  // An empty id names no overlay, as a missing one.
  if (!isText("overlayId", true)) return failure("Missing overlayId in config");
  return platform::Ok{};
}

platform::Status QBNOverlayPresenter::presentOverlayWithOverlay(const std::shared_ptr<platform::SKOverlay>& overlay) {
  auto scene = topMostScene();
  if (!scene) return scene.error();
  if (overlay) overlay->presentInScene(scene.value());
  return platform::Ok{};
}

platform::Status QBNOverlayPresenter::dismissOverlaysWithError() {
  auto scene = topMostScene();
  if (!scene) return scene.error();
  platform::SKOverlay::dismissOverlayInScene(scene.value());
  return platform::Ok{};
}
