#pragma once
// The orientations an ad allows.
#include <memory>
#include <string>

#include "presentation/QBOrientation.h"

class QBOrientationPolicy {
 public:
  // From a controller orientation string (QBOrientationUtillis).
  static std::shared_ptr<QBOrientationPolicy> initWithStringOrientation(const std::string& orientation);
  static std::shared_ptr<QBOrientationPolicy> initWithWithOrientation(QBOrientation orientation);

  explicit QBOrientationPolicy(QBOrientation allowed) : allowedOrientations_(allowed) {}

  QBOrientation allowedOrientations() const { return allowedOrientations_; }
  // NO for none; YES when both masks are 0 or the masks are equal.
  bool isEqualToOrientationPolicy(const std::shared_ptr<const QBOrientationPolicy>& other) const;
  // YES for the same object, else isEqualToOrientationPolicy.
  bool isEqual(const std::shared_ptr<const QBOrientationPolicy>& other) const;

  // "QBOrientationPortraitFront" (2), "QBOrientationPortraitUpsideDown" (4),
  // "QBOrientationPortraitAll" (6), "QBOrientationLandscapeRight" (8),
  // "QBOrientationLandscapeLeft" (16), "QBOrientationLandscapeAll" (24),
  // "QBOrientationAll" (30), else "QBOrientationUnknown".
  static std::string convertOrientationToString(QBOrientation orientation);

 private:
  QBOrientation allowedOrientations_;
};
