#pragma once
// The fixture of the presentation tests: a test environment, the UI layer and
// the process-wide orientation objects put back before and after each test.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "presentation/QBNAppOrientationCalculator.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBOrientationManager.h"
#include "presentation/QBOrientationUtillis.h"

namespace presentationtest {

using Lines = std::vector<std::string>;

// "(x,y,width,height)".
inline std::string str(const platform::Rect& r) {
  char text[64];
  std::snprintf(text, sizeof text, "(%g,%g,%g,%g)", r.origin.x, r.origin.y, r.size.width, r.size.height);
  return text;
}

// A controller with a fixed orientation mask.
class FixedController : public platform::ViewController {
 public:
  explicit FixedController(uint64_t mask, bool autorotate = true) : mask_(mask), autorotate_(autorotate) {}
  uint64_t supportedInterfaceOrientations() const override { return mask_; }
  bool shouldAutorotate() const override { return autorotate_; }

 private:
  uint64_t mask_;
  bool autorotate_;
};

class PresentationTest : public ::testing::Test {
 protected:
  PresentationTest() { reset(); }
  ~PresentationTest() override { reset(); }

  static void reset() {
    platform::NotificationCenter::resetDefaultForTesting();
    platform::resetUIForTesting();
    platform::resetDeviceFactsForTesting();
    platform::setAppInfo(platform::Json{{"CFBundleIdentifier", platform::kDefaultBundleIdentifier}});
    QBOrientationUtillis::resetPlistSupportedOrientationMaskForTesting();
    QBNAppOrientationCalculator::setUseWindowOrientationFallbackSource(nullptr);
    QBNAppOrientationHolder::sharedInstance().resetForTesting();
    QBOrientationManager::sharedManager().resetForTesting();
  }

  // A key window whose root controller supports `mask`.
  std::shared_ptr<platform::Window> keyWindow(uint64_t mask) {
    auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
    window->setRootViewController(std::make_shared<FixedController>(mask));
    window->makeKeyAndVisible();
    return window;
  }

  static void setPlistOrientations(platform::Json names) {
    platform::setAppInfo(platform::Json{{"UISupportedInterfaceOrientations", std::move(names)}});
  }

  platform::TestEnvironment env;
};

}  // namespace presentationtest
