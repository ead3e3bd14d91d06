#include "presentation/QBNAppOrientationHolder.h"

#include "platform/ui/view_controller.h"
#include "presentation/PMEOrientationContext.h"
#include "presentation/QBNAppOrientationCalculator.h"
#include "presentation/QBOrientationData.h"
#include "presentation/QBOrientationUtillis.h"

namespace {

std::function<bool()>& fallbackSource() {
  static auto& source = *new std::function<bool()>();
  return source;
}

}  // namespace

// -------------------------------------------------------------- calculator

uint64_t QBNAppOrientationCalculator::calculateApplicationSupportedOrientationMaskFromOrientationData(
    const QBOrientationData& data, QBOrientation externalOrientation, uint64_t presentingViewControllerOrientation) {
  if (externalOrientation != 0) return externalOrientation;
  const uint64_t presenting = presentingViewControllerOrientation != 0 ? presentingViewControllerOrientation
                                                                       : data.topMostViewControllerOrientation();
  const uint64_t window = data.windowOrientation();
  if (QBOrientationUtillis::orientationsHasSharedOrientation(window, presenting)) return window & presenting;
  const auto& fallback = fallbackSource();
  if (fallback && fallback()) return window;
  if (presenting != 0) return presenting;
  // The status bar's orientation is an orientation, not a mask: answer the
  // mask of that one orientation.
  return QBOrientationUtillis::UIInterfaceOrientation2QBOrientation(data.statusBarOrientation());
}

void QBNAppOrientationCalculator::setUseWindowOrientationFallbackSource(std::function<bool()> source) {
  fallbackSource() = std::move(source);
}

// ------------------------------------------------------------------- holder

QBNAppOrientationHolder& QBNAppOrientationHolder::sharedInstance() {
  static QBNAppOrientationHolder& holder = [] () -> QBNAppOrientationHolder& {
    auto* created = new QBNAppOrientationHolder();  // lives for the process
    created->updateAppOrientation();
    return *created;
  }();
  return holder;
}

void QBNAppOrientationHolder::setExternalAppOrientation(QBOrientation orientation) {
  externalAppOrientation_ = orientation;
  updateAppOrientation();
}

void QBNAppOrientationHolder::setPresentingViewController(const std::shared_ptr<platform::ViewController>& controller) {
  presenting_ = controller;
  updateAppOrientation();
}

void QBNAppOrientationHolder::setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) {
  sessionConfiguration_ = std::move(configuration);
  updateAppOrientation();
}

void QBNAppOrientationHolder::updateAppOrientation() {
  const auto presenting = presenting_.lock();
  const uint64_t presentingMask = presenting ? presenting->supportedInterfaceOrientations() : 0;
  const bool allowed = sessionConfiguration_ && sessionConfiguration_->allowOrientationFromAppDelegate();
  const auto data = PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(allowed);
  appOrientation_ = QBNAppOrientationCalculator::calculateApplicationSupportedOrientationMaskFromOrientationData(
      *data, externalAppOrientation_, presentingMask);
  if (observer_) {
    const auto observer = observer_;  // the observer may replace itself
    observer(appOrientation_);
  }
}

void QBNAppOrientationHolder::setAppOrientationObserver(std::function<void(uint64_t)> observer) {
  observer_ = std::move(observer);
  if (observer_) {
    const auto current = observer_;
    current(appOrientation_);
  }
}

void QBNAppOrientationHolder::resetForTesting() {
  externalAppOrientation_ = 0;
  presenting_.reset();
  sessionConfiguration_.reset();
  observer_ = nullptr;
  updateAppOrientation();
}
