#pragma once
// The test suite's ads manager: what the suite keeps of the ads its page
// loads and shows through the public facade. It refers back to the suite's
// view controller (weakly), which ads are shown from.
//
// Thread-safe.
#include <atomic>
#include <memory>

#include "platform/ui.h"

class QBTestSuiteAdsManager {
 public:
  static std::shared_ptr<QBTestSuiteAdsManager> initWithWebController(
      std::weak_ptr<platform::ViewController> viewController);

  std::shared_ptr<platform::ViewController> viewController() const { return viewController_.lock(); }

  // While set, the suite's view controller ignores dismissals (an ad that
  // asked for it is loaded or on screen over it).
  bool retainViewController() const { return retainViewController_.load(); }
  void setRetainViewController(bool retain) { retainViewController_.store(retain); }

 private:
  explicit QBTestSuiteAdsManager(std::weak_ptr<platform::ViewController> viewController)
      : viewController_(std::move(viewController)) {}

  const std::weak_ptr<platform::ViewController> viewController_;
  std::atomic<bool> retainViewController_{false};
};
