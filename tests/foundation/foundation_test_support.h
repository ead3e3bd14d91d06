#pragma once
// The fixture most foundation tests share: a test environment, the logger's
// console lines recorded, and the application, its info and the device facts
// put back after each test.
#include <gtest/gtest.h>

#include <cstdint>

#include "foundation/QBLoggerManager.h"
#include "platform/device.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui/application.h"
#include "support/lines.h"

namespace foundationtest {

class FoundationTest : public ::testing::Test {
 protected:
  explicit FoundationTest(int64_t wallClockMs = 1'760'000'000'000) : env(wallClockMs), savedAppInfo_(platform::appInfo()) {
    platform::Application::shared().resetForTesting();
    QBLoggerManager::sharedInstance().resetForTesting();
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { console.add(line); });
  }
  ~FoundationTest() override {
    QBLoggerManager::sharedInstance().resetForTesting();
    platform::Application::shared().resetForTesting();
    platform::setAppInfo(savedAppInfo_);
    platform::resetDeviceFactsForTesting();
  }

  platform::TestEnvironment env;
  qbtest::Lines console;

 private:
  platform::Json savedAppInfo_;
};

}  // namespace foundationtest
