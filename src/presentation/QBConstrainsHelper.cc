#include "presentation/QBConstrainsHelper.h"

#include "platform/ui/view.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;

std::shared_ptr<LayoutConstraint> equal(const std::shared_ptr<platform::View>& a, LayoutAttribute aa,
                                        const std::shared_ptr<platform::View>& b, LayoutAttribute ba,
                                        double multiplier = 1.0) {
  return LayoutConstraint::constraintWithItem(a, aa, LayoutRelation::Equal, b, ba, multiplier, 0);
}

QBConstrainsHelper::Constraints fullScreen(const std::shared_ptr<platform::View>& view, bool crossed) {
  if (!view) return {};
  const auto superview = view->superview();
  if (!superview) return {};
  if (view->translatesAutoresizingMaskIntoConstraints()) view->setTranslatesAutoresizingMaskIntoConstraints(false);
  QBConstrainsHelper::Constraints made = {
      crossed ? equal(view, LayoutAttribute::Height, superview, LayoutAttribute::Width)
              : equal(view, LayoutAttribute::Width, superview, LayoutAttribute::Width),
      crossed ? equal(view, LayoutAttribute::Width, superview, LayoutAttribute::Height)
              : equal(view, LayoutAttribute::Height, superview, LayoutAttribute::Height),
      equal(view, LayoutAttribute::CenterX, superview, LayoutAttribute::CenterX),
      equal(view, LayoutAttribute::CenterY, superview, LayoutAttribute::CenterY),
  };
  LayoutConstraint::activateConstraints(made);
  return made;
}

}  // namespace

QBConstrainsHelper::Constraints QBConstrainsHelper::setFullScreenConstraintsForViewAccordingToSuperView(
    const std::shared_ptr<platform::View>& view) {
  return fullScreen(view, false);
}

QBConstrainsHelper::Constraints QBConstrainsHelper::setFullScreenConstraintsLandscapeToPortraitViewAccordingToSuperView(
    const std::shared_ptr<platform::View>& view) {
  return fullScreen(view, true);
}

std::shared_ptr<LayoutConstraint> QBConstrainsHelper::setView(const std::shared_ptr<platform::View>& view,
                                                              const std::shared_ptr<platform::View>& topView,
                                                              double screenRatio, bool isFirstViewOnScreen) {
  if (!view || !topView) return nullptr;
  const auto superview = view->superview();
  if (!superview) return nullptr;
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  auto height = equal(view, LayoutAttribute::Height, superview, LayoutAttribute::Height, screenRatio);
  LayoutConstraint::activateConstraints({
      equal(view, LayoutAttribute::Top, topView, isFirstViewOnScreen ? LayoutAttribute::Top : LayoutAttribute::Bottom),
      equal(view, LayoutAttribute::Leading, superview, LayoutAttribute::Leading),
      equal(superview, LayoutAttribute::Trailing, view, LayoutAttribute::Trailing),
      height,
  });
  return height;
}

void QBConstrainsHelper::removeConstraintsForView(const std::shared_ptr<platform::View>&,
                                                  const Constraints& constraints) {
  LayoutConstraint::deactivateConstraints(constraints);
}
