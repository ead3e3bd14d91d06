#pragma once
// The ad's allowed orientations, the device orientations taken most recently
// and the views to lay out again when either changes. One per process; main
// queue only.
#include <array>
#include <memory>
#include <vector>

#include "platform/notifications.h"
#include "presentation/QBOrientation.h"
#include "presentation/QBOrientationPolicy.h"

namespace platform {
class View;
}

class QBOrientationManager {
 public:
  // Created on first use, with the policy of the application's mask at that
  // moment; from then on it follows the device's orientation notices.
  static QBOrientationManager& sharedManager();

  // The four single orientations, most recent first (2, 8, 16, 4 at start).
  const std::array<QBOrientation, 4>& recentOrientations() const { return recentOrientations_; }
  // May be null (then nothing is allowed).
  std::shared_ptr<const QBOrientationPolicy> orientationPolicy() const { return orientationPolicy_; }
  // A policy that differs from the current one replaces it and the views are
  // laid out again; an equal one changes nothing.
  void updateOrientationPolicy(std::shared_ptr<const QBOrientationPolicy> policy);
  // The first of the recent orientations that shares a bit with `mask`; 0
  // when none does.
  QBOrientation preferredOrientation(uint64_t mask) const;
  // Every registered view, in registration order: setNeedsLayout, then
  // layoutIfNeeded.
  void updateViewsOrientation();
  // Appends (strongly), removes every entry of the view, empties.
  void insertView(const std::shared_ptr<platform::View>& view);
  void removeView(const std::shared_ptr<platform::View>& view);
  void removeViews() { viewsArray_.clear(); }
  const std::vector<std::shared_ptr<platform::View>>& viewsArray() const { return viewsArray_; }

  // The device-orientation notice: portrait (1) -> 2, upside down (2) -> 4,
  // landscape left (3) -> 16, landscape right (4) -> 8 moves to the front of
  // the recent orientations (any other orientation leaves them); the views
  // are laid out again either way.
  void quillborneOnChangedDeviceOrientation(const platform::Notification& notification);

  // Back to the state of creation (policy from the holder's mask now, recent
  // orientations, no views) and observing the default centre again (its own
  // reset drops observations).
  void resetForTesting();

 private:
  QBOrientationManager();
  void observeDevice();

  std::array<QBOrientation, 4> recentOrientations_{};
  std::shared_ptr<const QBOrientationPolicy> orientationPolicy_;
  std::vector<std::shared_ptr<platform::View>> viewsArray_;
  platform::ObserverToken deviceObservation_ = 0;
};
