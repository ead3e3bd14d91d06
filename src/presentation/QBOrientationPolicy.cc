#include "presentation/QBOrientationPolicy.h"

#include "presentation/QBOrientationUtillis.h"

std::shared_ptr<QBOrientationPolicy> QBOrientationPolicy::initWithStringOrientation(const std::string& orientation) {
  return std::make_shared<QBOrientationPolicy>(
      QBOrientationUtillis::convertControllerStringOrientationToQBOrientation(orientation));
}

std::shared_ptr<QBOrientationPolicy> QBOrientationPolicy::initWithWithOrientation(QBOrientation orientation) {
  return std::make_shared<QBOrientationPolicy>(orientation);
}

bool QBOrientationPolicy::isEqualToOrientationPolicy(const std::shared_ptr<const QBOrientationPolicy>& other) const {
  return other && other->allowedOrientations_ == allowedOrientations_;
}

bool QBOrientationPolicy::isEqual(const std::shared_ptr<const QBOrientationPolicy>& other) const {
  return other.get() == this || isEqualToOrientationPolicy(other);
}

std::string QBOrientationPolicy::convertOrientationToString(QBOrientation orientation) {
  switch (orientation) {
    case QBOrientationPortraitFront: return "QBOrientationPortraitFront";
    case QBOrientationPortraitUpsideDown: return "QBOrientationPortraitUpsideDown";
    case QBOrientationPortraitAll: return "QBOrientationPortraitAll";
    case QBOrientationLandscapeRight: return "QBOrientationLandscapeRight";
    case QBOrientationLandscapeLeft: return "QBOrientationLandscapeLeft";
    case QBOrientationLandscapeAll: return "QBOrientationLandscapeAll";
    case QBOrientationAll: return "QBOrientationAll";
    default: return "QBOrientationUnknown";
  }
}
