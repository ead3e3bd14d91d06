#pragma once
// The base of every full-screen own-network view: while it shows an ad and
// follows orientation, each layout turns it (by an affine rotation and
// constraints to its superview) so that its content stands in an orientation
// the ad allows, or reverts it to the application's orientation. Main queue
// only.
#include <memory>
#include <vector>

#include "platform/ui/layout_constraint.h"
#include "platform/ui/view.h"
#include "presentation/QBOrientation.h"

class QBAbstractView : public platform::View {
 public:
  // Made with its autoresizing-mask translation off.
  explicit QBAbstractView(platform::Rect frame = {});

  bool shouldUpdateOreintation() const { return shouldUpdateOreintation_; }
  void setShouldUpdateOreintation(bool update) { shouldUpdateOreintation_ = update; }
  QBOrientation currentOrientation() const { return currentOrientation_; }
  void setCurrentOrientation(QBOrientation orientation) { currentOrientation_ = orientation; }
  // The constraints this view made for itself in its last layout.
  const std::vector<std::shared_ptr<platform::LayoutConstraint>>& viewConstraintsArray() const {
    return viewConstraintsArray_;
  }
  void setViewConstraintsArray(std::vector<std::shared_ptr<platform::LayoutConstraint>> constraints) {
    viewConstraintsArray_ = std::move(constraints);
  }

  // On: follow orientation and register with QBOrientationManager. Off: stop
  // following, lay out every registered view once (this one reverts), then
  // unregister.
  void setOrientationUpdates(bool update);

  // The inherited layout, then the orientation decision.
  void layoutSubviews() override;
  // Turns the content into the most recent allowed orientation.
  void updateViewOrientation();
  // Back to the application's orientation: no transform, full-screen
  // constraints.
  void revertOrientationChanges();

  // In a superview and not hidden.
  bool isPresented() const { return superview() && !isHidden(); }

 private:
  bool shouldUpdateOreintation_ = false;
  QBOrientation currentOrientation_ = 0;
  std::vector<std::shared_ptr<platform::LayoutConstraint>> viewConstraintsArray_;
};
