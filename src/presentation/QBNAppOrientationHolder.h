#pragma once
// The application's supported orientations as one mask, recomputed whenever
// what it depends on changes. One per process; main queue only.
#include <functional>
#include <memory>

#include "ownnetwork/services/QBNNativeSessionConfiguration.h"
#include "presentation/QBOrientation.h"

namespace platform {
class ViewController;
}

class QBNAppOrientationHolder {
 public:
  // Created on first use; computes the mask at once.
  static QBNAppOrientationHolder& sharedInstance();

  // The page's override; 0 means none. Each setter stores, then recomputes.
  QBOrientation externalAppOrientation() const { return externalAppOrientation_; }
  void setExternalAppOrientation(QBOrientation orientation);
  // The view controller an ad is presented from (held weakly).
  std::shared_ptr<platform::ViewController> presentingViewController() const { return presenting_.lock(); }
  void setPresentingViewController(const std::shared_ptr<platform::ViewController>& controller);
  std::shared_ptr<QBNNativeSessionConfiguration> sessionConfiguration() const { return sessionConfiguration_; }
  void setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration);

  uint64_t appOrientation() const { return appOrientation_; }
  // The presenting controller's mask (0 without one), the orientation facts
  // (with the delegate's answer when the session configuration allows it; it
  // does not without one) and the override make the new mask; then the
  // observer hears it.
  void updateAppOrientation();

  // Called with the new mask after every recompute (the own network's global
  // data keeps its locked state). Setting an observer calls it once at once
  // with the current mask, as the mask was computed when the holder was made.
  void setAppOrientationObserver(std::function<void(uint64_t)> observer);

  // Back to the state of creation (no override, presenter, configuration or
  // observer), then recomputed.
  void resetForTesting();

 private:
  QBNAppOrientationHolder() = default;

  QBOrientation externalAppOrientation_ = 0;
  std::weak_ptr<platform::ViewController> presenting_;
  std::shared_ptr<QBNNativeSessionConfiguration> sessionConfiguration_;
  uint64_t appOrientation_ = 0;
  std::function<void(uint64_t)> observer_;
};
