#include "platform/storekit/overlay.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "platform/storekit/storekit_control.h"
#include "platform/ui/application.h"
#include "platform/ui/window_scene.h"

namespace platform {
namespace {

// The overlay's frame: a banner at the bottom of the scene's first window
// (of the main screen without one), off screen below it when hidden.
SKOverlayTransitionContext transition(const std::shared_ptr<WindowScene>& scene, bool presenting) {
  const auto windows = scene ? scene->windows() : std::vector<std::shared_ptr<Window>>{};
  const Rect screen = windows.empty() ? Screen::main().bounds() : windows.front()->bounds();
  const double height = 90;
  const Rect shown = Rect::make(0, screen.size.height - height, screen.size.width, height);
  const Rect hidden = Rect::make(0, screen.size.height, screen.size.width, height);
  return presenting ? SKOverlayTransitionContext{hidden, shown} : SKOverlayTransitionContext{shown, hidden};
}

bool sameScene(const std::weak_ptr<WindowScene>& held, const std::shared_ptr<WindowScene>& scene) {
  return !held.owner_before(scene) && !scene.owner_before(held);
}

// Runs `step` with the overlay's delegate on a later main-queue turn (after
// `delayMs` when above 0), unless the control was reset meanwhile.
void tellLater(uint64_t generation, double delayMs, std::function<void()> step) {
  auto block = [generation, step = std::move(step)] {
    if (StoreKitControl::shared().generationForOverlays() != generation) return;
    step();
  };
  if (delayMs > 0) {
    mainQueue()->after(delayMs, std::move(block));
  } else {
    mainQueue()->async(std::move(block));
  }
}

using TransitionCall = void (SKOverlayDelegate::*)(const std::shared_ptr<SKOverlay>&,
                                                   const SKOverlayTransitionContext&);

// One transition of `overlay` in `scene`: its start on the next main-queue
// turn, its end once the transition's time has passed.
void transitionLater(uint64_t generation, const std::shared_ptr<SKOverlay>& overlay,
                     const std::shared_ptr<WindowScene>& scene, bool presenting) {
  const std::weak_ptr<WindowScene> weakScene = scene;
  const auto tell = [overlay, weakScene, presenting](SKOverlayStep step, TransitionCall call) {
    return [overlay, weakScene, presenting, step, call] {
      const auto scene = weakScene.lock();
      StoreKitControl::shared().record(step, overlay, scene);
      if (auto delegate = overlay->delegate()) ((*delegate).*call)(overlay, transition(scene, presenting));
    };
  };
  if (presenting) {
    tellLater(generation, 0, tell(SKOverlayStep::WillPresent, &SKOverlayDelegate::storeOverlayWillStartPresentation));
    tellLater(generation, SKOverlay::kTransitionDurationSeconds * 1000.0,
              tell(SKOverlayStep::Presented, &SKOverlayDelegate::storeOverlayDidFinishPresentation));
  } else {
    tellLater(generation, 0, tell(SKOverlayStep::WillDismiss, &SKOverlayDelegate::storeOverlayWillStartDismissal));
    tellLater(generation, SKOverlay::kTransitionDurationSeconds * 1000.0,
              tell(SKOverlayStep::Dismissed, &SKOverlayDelegate::storeOverlayDidFinishDismissal));
  }
}

}  // namespace

Json SKOverlayAppConfiguration::toJson() const {
  Json out = Json::object();
  out["appIdentifier"] = appIdentifier_;
  out["position"] = position_;
  out["userDismissible"] = userDismissible_;
  if (campaignToken_) out["campaignToken"] = *campaignToken_;
  if (providerToken_) out["providerToken"] = *providerToken_;
  if (customProductPageIdentifier_) out["customProductPageIdentifier"] = *customProductPageIdentifier_;
  if (latestReleaseID_) out["latestReleaseID"] = *latestReleaseID_;
  if (!additional_.empty()) out["additionalValues"] = additional_.toJson();
  return out;
}

std::shared_ptr<SKOverlay> SKOverlay::initWithConfiguration(std::shared_ptr<SKOverlayAppConfiguration> configuration) {
  if (!configuration || !ClassRegistry::shared().classExists("SKOverlay")) return nullptr;
  return std::shared_ptr<SKOverlay>(new SKOverlay(std::move(configuration)));
}

std::shared_ptr<SKOverlay> SKOverlay::overlayInScene(const std::shared_ptr<WindowScene>& scene) {
  auto& control = StoreKitControl::shared();
  std::lock_guard lock(control.m_);
  for (const auto& [held, overlay] : control.shownOverlays_) {
    if (sameScene(held, scene)) return overlay;
  }
  return nullptr;
}

void SKOverlay::presentInScene(const std::shared_ptr<WindowScene>& scene) {
  auto self = shared_from_this();
  auto& control = StoreKitControl::shared();
  control.record(SKOverlayStep::PresentAsked, self, scene);
  if (!scene) return;
  std::shared_ptr<SKOverlay> replaced;
  std::optional<Error> failure;
  uint64_t generation;
  {
    std::lock_guard lock(control.m_);
    generation = control.generation_;
    auto& shown = control.shownOverlays_;
    shown.erase(std::remove_if(shown.begin(), shown.end(), [](const auto& e) { return e.first.expired(); }),
                shown.end());
    const auto it = std::find_if(shown.begin(), shown.end(), [&](const auto& e) { return sameScene(e.first, scene); });
    if (it != shown.end() && it->second == self) return;
    failure = std::exchange(control.nextOverlayLoadError_, std::nullopt);
    if (!failure) {
      if (it != shown.end()) {
        replaced = std::move(it->second);
        shown.erase(it);
      }
      shown.emplace_back(scene, self);
    }
  }
  if (failure) {
    const std::weak_ptr<WindowScene> weakScene = scene;
    tellLater(generation, 0, [self, weakScene, error = *failure] {
      StoreKitControl::shared().record(SKOverlayStep::FailedToLoad, self, weakScene.lock());
      if (auto delegate = self->delegate()) delegate->storeOverlayDidFailToLoadWithError(self, error);
    });
    return;
  }
  if (replaced) transitionLater(generation, replaced, scene, false);
  transitionLater(generation, self, scene, true);
}

void SKOverlay::dismissOverlayInScene(const std::shared_ptr<WindowScene>& scene) {
  auto& control = StoreKitControl::shared();
  std::shared_ptr<SKOverlay> dismissed;
  uint64_t generation;
  {
    std::lock_guard lock(control.m_);
    generation = control.generation_;
    auto& shown = control.shownOverlays_;
    const auto it = std::find_if(shown.begin(), shown.end(), [&](const auto& e) { return sameScene(e.first, scene); });
    if (scene && it != shown.end()) {
      dismissed = std::move(it->second);
      shown.erase(it);
    }
  }
  control.record(SKOverlayStep::DismissAsked, dismissed, scene);
  if (dismissed) transitionLater(generation, dismissed, scene, false);
}

// ---------------------------------------------------------------- the control

const char* overlayStepName(SKOverlayStep step) {
  switch (step) {
    case SKOverlayStep::PresentAsked:
      return "present asked";
    case SKOverlayStep::DismissAsked:
      return "dismiss asked";
    case SKOverlayStep::WillPresent:
      return "will present";
    case SKOverlayStep::Presented:
      return "presented";
    case SKOverlayStep::FailedToLoad:
      return "failed to load";
    case SKOverlayStep::WillDismiss:
      return "will dismiss";
    case SKOverlayStep::Dismissed:
      return "dismissed";
  }
  return "unknown";
}

void StoreKitControl::failNextOverlayLoad(Error error) {
  std::lock_guard lock(m_);
  nextOverlayLoadError_ = std::move(error);
}

std::vector<SKOverlayRecord> StoreKitControl::overlayRecords() const {
  std::lock_guard lock(m_);
  return overlayRecords_;
}

uint64_t StoreKitControl::generationForOverlays() const {
  std::lock_guard lock(m_);
  return generation_;
}

void StoreKitControl::record(SKOverlayStep step, const std::shared_ptr<SKOverlay>& overlay,
                             const std::shared_ptr<WindowScene>& scene) {
  std::string app = overlay && overlay->configuration() ? overlay->configuration()->appIdentifier() : std::string();
  std::lock_guard lock(m_);
  overlayRecords_.push_back(SKOverlayRecord{step, overlay, scene, std::move(app)});
}

}  // namespace platform
