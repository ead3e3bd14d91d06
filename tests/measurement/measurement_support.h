// Shared pieces of the measurement tests: an executor that records what the
// bridge hands it, a script context holding the project's service script, and
// a fixture with the test clock, the activated SDK and the captured log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "measurement/sdk/OMIDQuilbrnDevice.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/script/script_context.h"
#include "platform/test_environment.h"
#include "support/lines.h"
#include "support/sandbox_measurement.h"

namespace measurementtest {

// Keeps every command script it is given, with the thread it came on.
class RecordingExecutor : public OMIDQuilbrnJSExecutor {
 public:
  explicit RecordingExecutor(bool background) : background_(background) {}
  void injectJavaScriptFromString(const std::string& script) override {
    std::lock_guard lock(m_);
    scripts_.push_back(script);
    onMain_.push_back(platform::isMainThread());
  }
  bool supportBackgroundThread() const override { return background_; }
  OMIDQuilbrnJSEnvironment jsEnvironment() const override { return {}; }

  std::vector<std::string> scripts() const {
    std::lock_guard lock(m_);
    return scripts_;
  }
  std::vector<bool> onMain() const {
    std::lock_guard lock(m_);
    return onMain_;
  }

 private:
  const bool background_;
  mutable std::mutex m_;
  std::vector<std::string> scripts_;
  std::vector<bool> onMain_;
};

// A script context that holds the service script.
inline std::shared_ptr<platform::ScriptContext> serviceContext() {
  auto context = platform::ScriptContext::create();
  auto loaded = context->evaluate(qbtest::measurementServiceScript(), "omid-service.js");
  EXPECT_TRUE(loaded.ok()) << loaded.description;
  return context;
}

// A JSON value of a script context ("omidService.record()" ...), null when it
// has none.
inline platform::Json scriptJson(platform::ScriptContext& context, const std::string& expression) {
  auto out = context.evaluate(expression);
  return out.ok() ? out.value.toJson().value_or(nullptr) : platform::Json(nullptr);
}

class MeasurementTest : public ::testing::Test {
 protected:
  MeasurementTest() {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { log.add(line); });
    OMIDQuilbrnSDK::sharedInstance()->activate();
  }
  ~MeasurementTest() override {
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnDevice::resetForTesting();
    QBLoggerManager::sharedInstance().resetForTesting();
  }

  platform::TestEnvironment env;
  qbtest::Lines log;
};

}  // namespace measurementtest
