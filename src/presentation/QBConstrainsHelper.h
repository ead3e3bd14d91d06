#pragma once
// The layout constraints of full-screen and split-screen own-network views.
// Every constraint is an equality with constant 0; what an operation makes is
// active when it returns. Main queue only.
#include <memory>
#include <vector>

#include "platform/ui/layout_constraint.h"

namespace platform {
class View;
}

class QBConstrainsHelper {
 public:
  using Constraints = std::vector<std::shared_ptr<platform::LayoutConstraint>>;

  // Width, height, centre x, centre y of the view equal to its superview's.
  // None (and nothing changed) without a view or a superview.
  static Constraints setFullScreenConstraintsForViewAccordingToSuperView(const std::shared_ptr<platform::View>& view);
  // The same with the sizes crossed (height = superview width, width =
  // superview height): a view turned by a quarter turn.
  static Constraints setFullScreenConstraintsLandscapeToPortraitViewAccordingToSuperView(
      const std::shared_ptr<platform::View>& view);
  // Stacks `view` under `topView` (its top at the top view's top when it is
  // the first on screen, else at the top view's bottom), full width of its
  // superview, with height = superview height * ratio; returns that height
  // constraint. The view must already be in its superview: without one,
  // nothing is made and none is returned.
  static std::shared_ptr<platform::LayoutConstraint> setView(const std::shared_ptr<platform::View>& view,
                                                             const std::shared_ptr<platform::View>& topView,
                                                             double screenRatio, bool isFirstViewOnScreen);
  // Deactivates the constraints; the view is not used.
  static void removeConstraintsForView(const std::shared_ptr<platform::View>& view, const Constraints& constraints);
};
