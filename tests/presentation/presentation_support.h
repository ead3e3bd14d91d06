#pragma once
// The fixture of the presentation tests: the UI layer's fixture with the
// process-wide orientation objects put back before and after each test.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_support.h"
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

class PresentationTest : public uitest::UITest {
 protected:
  PresentationTest() { resetOrientation(); }
  ~PresentationTest() override { resetOrientation(); }

  static void resetOrientation() {
    QBOrientationUtillis::resetPlistSupportedOrientationMaskForTesting();
    QBNAppOrientationCalculator::setUseWindowOrientationFallbackSource(nullptr);
    QBNAppOrientationHolder::sharedInstance().resetForTesting();
    QBOrientationManager::sharedManager().resetForTesting();
  }

  // A key window whose root controller supports `mask`.
  std::shared_ptr<platform::Window> keyWindow(uint64_t mask) {
    return UITest::keyWindow(std::make_shared<FixedController>(mask));
  }

  static void setPlistOrientations(platform::Json names) {
    platform::setAppInfo(platform::Json{{"UISupportedInterfaceOrientations", std::move(names)}});
  }
};

}  // namespace presentationtest
