#pragma once
// How one product is put on screen and taken away. Main queue only.
#include <functional>
#include <memory>
#include <optional>

#include "platform/result.h"

namespace platform {
class View;
class ViewController;
}  // namespace platform

// An error, or none for success.
using QBNPresentationCompletion = std::function<void(const std::optional<platform::Error>&)>;

// Errors of presenting (presentation domain, code 0).
inline constexpr char kQBNNoViewToPresent[] = "did not receive view to present";
inline constexpr char kQBNAlreadyPresented[] = "some product is already presented on screen";
inline constexpr char kQBNNothingPresented[] = "no product presented on screen";
inline constexpr char kQBNAdViewPageFailed[] = "the ad view's page failed";
// Nothing to present from (no key window, or no root view controller), or
// the platform refused the presentation.
inline constexpr char kQBNNoViewControllerToPresentFrom[] = "did not find view controller to present from";
inline constexpr char kQBNPresentationRefused[] = "view controller refused to present the product";

class QBNPresentationStrategyP {
 public:
  virtual ~QBNPresentationStrategyP() = default;
  // Shows `adUnitView` from `viewController` (may be null); the completion
  // runs once, with an error when nothing was shown.
  virtual void presentProductFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                                const std::shared_ptr<platform::View>& adUnitView,
                                                QBNPresentationCompletion completion) = 0;
  virtual void dismissWithCompletionHandler(QBNPresentationCompletion completion) = 0;
  virtual bool isPresented() const = 0;
  virtual std::shared_ptr<platform::View> presentedView() const = 0;
  virtual std::shared_ptr<platform::ViewController> presentedViewController() const = 0;
  // Disarms force close.
  virtual void stopForceCloseTimer() = 0;
};

// An error of the presentation domain with `reason`.
platform::Error QBNPresentationError(const char* reason);
