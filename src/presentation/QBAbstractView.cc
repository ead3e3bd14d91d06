#include "presentation/QBAbstractView.h"

#include <numbers>

#include "platform/ui/application.h"
#include "presentation/QBAbstractViewController.h"
#include "presentation/QBConstrainsHelper.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBOrientationManager.h"
#include "presentation/QBOrientationUtillis.h"

namespace {

uint64_t appMask() { return QBNAppOrientationHolder::sharedInstance().appOrientation(); }

QBOrientation allowedMask() {
  const auto policy = QBOrientationManager::sharedManager().orientationPolicy();
  return policy ? policy->allowedOrientations() : 0;
}

int64_t statusBar() { return static_cast<int64_t>(platform::Application::shared().statusBarOrientation()); }

enum class Fit { None, FullScreen, Crossed };

struct Turn {
  double angle = 0;
  Fit fit = Fit::None;
};

// The turn that stands the content in `preferred` while the status bar is in
// `statusBar`. Where the two agree, no turn is needed: the view fills its
// superview as it is.
Turn turnFor(int64_t statusBarOrientation, QBOrientation preferred) {
  constexpr double pi = std::numbers::pi;
  int column;
  switch (preferred) {
    case QBOrientationPortraitFront: column = 0; break;
    case QBOrientationPortraitUpsideDown: column = 1; break;
    case QBOrientationLandscapeRight: column = 2; break;
    case QBOrientationLandscapeLeft: column = 3; break;
    default: return {};
  }
  if (statusBarOrientation < 1 || statusBarOrientation > 4) return {};
  static const Turn kTable[4][4] = {
      // preferred: 2, 4, 8, 16
      {{0, Fit::FullScreen}, {pi, Fit::FullScreen}, {-pi / 2, Fit::Crossed}, {pi / 2, Fit::Crossed}},  // 1
      {{pi, Fit::FullScreen}, {0, Fit::FullScreen}, {pi / 2, Fit::Crossed}, {-pi / 2, Fit::Crossed}},  // 2
      {{-pi / 2, Fit::Crossed}, {pi / 2, Fit::Crossed}, {0, Fit::FullScreen}, {pi, Fit::FullScreen}},  // 3
      {{pi / 2, Fit::Crossed}, {-pi / 2, Fit::Crossed}, {pi, Fit::FullScreen}, {0, Fit::FullScreen}},  // 4
  };
  return kTable[statusBarOrientation - 1][column];
}

}  // namespace

QBAbstractView::QBAbstractView(platform::Rect frame) : platform::View(frame) {
  setTranslatesAutoresizingMaskIntoConstraints(false);
}

void QBAbstractView::setOrientationUpdates(bool update) {
  auto& manager = QBOrientationManager::sharedManager();
  if (update) {
    shouldUpdateOreintation_ = true;
    manager.insertView(sharedView());
    return;
  }
  shouldUpdateOreintation_ = false;
  const auto self = sharedView();  // the manager may hold the last other reference
  manager.updateViewsOrientation();
  manager.removeView(self);
}

void QBAbstractView::layoutSubviews() {
  platform::View::layoutSubviews();
  const uint64_t allowed = allowedMask();
  const bool shared = QBOrientationUtillis::orientationsHasSharedOrientation(appMask(), allowed);
  const QBOrientation current = QBOrientationUtillis::UIInterfaceOrientation2QBOrientation(statusBar());
  QBConstrainsHelper::removeConstraintsForView(sharedView(), viewConstraintsArray_);
  if (!shouldUpdateOreintation_) {
    revertOrientationChanges();
  } else if (shared) {
    if (current & allowed) {
      revertOrientationChanges();
    } else {
      updateViewOrientation();
    }
  } else if (allowed != 0) {
    updateViewOrientation();
  }
}

void QBAbstractView::updateViewOrientation() {
  const int64_t s = statusBar();
  const QBOrientation preferred = QBOrientationManager::sharedManager().preferredOrientation(allowedMask());
  const Turn turn = turnFor(s, preferred);
  if (turn.fit != Fit::None) {
    setTransform(platform::AffineTransform::rotation(turn.angle));
    auto made = turn.fit == Fit::FullScreen
                    ? QBConstrainsHelper::setFullScreenConstraintsForViewAccordingToSuperView(sharedView())
                    : QBConstrainsHelper::setFullScreenConstraintsLandscapeToPortraitViewAccordingToSuperView(
                          sharedView());
    if (!made.empty()) viewConstraintsArray_ = std::move(made);
  }
  currentOrientation_ = preferred;
}

void QBAbstractView::revertOrientationChanges() {
  setTransform(platform::AffineTransform::identity());
  auto made = QBConstrainsHelper::setFullScreenConstraintsForViewAccordingToSuperView(sharedView());
  if (!made.empty()) viewConstraintsArray_ = std::move(made);
  currentOrientation_ = QBOrientationUtillis::UIInterfaceOrientation2QBOrientation(statusBar());
}

// ------------------------------------------------- QBAbstractViewController

uint64_t QBAbstractViewController::supportedInterfaceOrientations() const {
  const uint64_t app = appMask();
  const uint64_t allowed = allowedMask();
  return QBOrientationUtillis::QBOrientation2UIInterfaceOrientation(
      QBOrientationUtillis::orientationsHasSharedOrientation(app, allowed) ? allowed : app);
}

bool QBAbstractViewController::shouldAutorotate() const {
  return QBOrientationUtillis::orientationsHasSharedOrientation(appMask(), allowedMask());
}
