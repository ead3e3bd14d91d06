#include "presentation/QBOrientationManager.h"

#include <algorithm>

#include "platform/ui/orientation.h"
#include "platform/ui/ui_device.h"
#include "platform/ui/view.h"
#include "presentation/QBNAppOrientationHolder.h"

namespace {

constexpr std::array<QBOrientation, 4> kInitialRecentOrientations = {
    QBOrientationPortraitFront, QBOrientationLandscapeRight, QBOrientationLandscapeLeft,
    QBOrientationPortraitUpsideDown};

}  // namespace

QBOrientationManager& QBOrientationManager::sharedManager() {
  static QBOrientationManager& manager = *new QBOrientationManager();  // lives for the process
  return manager;
}

QBOrientationManager::QBOrientationManager()
    : recentOrientations_(kInitialRecentOrientations),
      orientationPolicy_(
          QBOrientationPolicy::initWithWithOrientation(QBNAppOrientationHolder::sharedInstance().appOrientation())) {
  observeDevice();
}

void QBOrientationManager::observeDevice() {
  auto& center = platform::NotificationCenter::defaultCenter();
  if (deviceObservation_) center.removeObserver(deviceObservation_);
  // The manager lives for the process: an observation without an owner.
  deviceObservation_ = center.addObserver(platform::kUIDeviceOrientationDidChangeNotification, nullptr,
                                          [](const platform::Notification& notification) {
                                            sharedManager().quillborneOnChangedDeviceOrientation(notification);
                                          });
}

void QBOrientationManager::updateOrientationPolicy(std::shared_ptr<const QBOrientationPolicy> policy) {
  if (policy && policy->isEqualToOrientationPolicy(orientationPolicy_)) return;
  orientationPolicy_ = std::move(policy);
  updateViewsOrientation();
}

QBOrientation QBOrientationManager::preferredOrientation(uint64_t mask) const {
  for (const QBOrientation orientation : recentOrientations_) {
    if (orientation & mask) return orientation;
  }
  return 0;
}

void QBOrientationManager::updateViewsOrientation() {
  const auto views = viewsArray_;  // a layout may register or unregister views
  for (const auto& view : views) {
    view->setNeedsLayout();
    view->layoutIfNeeded();
  }
}

void QBOrientationManager::insertView(const std::shared_ptr<platform::View>& view) {
  if (view) viewsArray_.push_back(view);
}

void QBOrientationManager::removeView(const std::shared_ptr<platform::View>& view) {
  viewsArray_.erase(std::remove(viewsArray_.begin(), viewsArray_.end(), view), viewsArray_.end());
}

void QBOrientationManager::quillborneOnChangedDeviceOrientation(const platform::Notification&) {
  QBOrientation taken = 0;
  switch (platform::Device::current().orientation()) {
    case platform::DeviceOrientation::Portrait: taken = QBOrientationPortraitFront; break;
    case platform::DeviceOrientation::PortraitUpsideDown: taken = QBOrientationPortraitUpsideDown; break;
    case platform::DeviceOrientation::LandscapeLeft: taken = QBOrientationLandscapeLeft; break;
    case platform::DeviceOrientation::LandscapeRight: taken = QBOrientationLandscapeRight; break;
    default: break;
  }
  if (taken != 0) {
    auto it = std::find(recentOrientations_.begin(), recentOrientations_.end(), taken);
    std::rotate(recentOrientations_.begin(), it, it + 1);
  }
  updateViewsOrientation();
}

void QBOrientationManager::resetForTesting() {
  recentOrientations_ = kInitialRecentOrientations;
  orientationPolicy_ =
      QBOrientationPolicy::initWithWithOrientation(QBNAppOrientationHolder::sharedInstance().appOrientation());
  viewsArray_.clear();
  observeDevice();
}
