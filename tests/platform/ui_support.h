#pragma once
// The fixture of the UI layer's tests: a test environment and the UI's
// process-wide state put back before and after each test.
#include <gtest/gtest.h>

#include <memory>

#include "platform/device.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "support/lines.h"

namespace uitest {

class UITest : public ::testing::Test {
 protected:
  UITest() { reset(); }
  ~UITest() override { reset(); }

  static void reset() {
    platform::NotificationCenter::resetDefaultForTesting();
    platform::resetUIForTesting();
    platform::resetDeviceFactsForTesting();
    platform::setAppInfo(platform::Json{{"CFBundleIdentifier", platform::kDefaultBundleIdentifier}});
  }

  // A key window of the screen's size showing `root` (a plain controller
  // when none is given).
  std::shared_ptr<platform::Window> keyWindow(std::shared_ptr<platform::ViewController> root = nullptr) {
    auto window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
    window->setRootViewController(root ? root : std::make_shared<platform::ViewController>());
    window->makeKeyAndVisible();
    return window;
  }

  platform::TestEnvironment env;
  qbtest::Lines log;
};

}  // namespace uitest
