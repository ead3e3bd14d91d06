#pragma once
// Integration test-suite settings: the address of the test page, from
// "configurations"."testSuite"."controllerUrl". No address means the suite is
// not enabled for the application. Immutable; safe to share.
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/json.h"

class QBTestSuiteSettings {
 public:
  explicit QBTestSuiteSettings(std::optional<std::string> controllerUrl) : controllerUrl_(std::move(controllerUrl)) {}
  static std::shared_ptr<const QBTestSuiteSettings> initWithControllerUrl(std::optional<std::string> controllerUrl) {
    return std::make_shared<const QBTestSuiteSettings>(std::move(controllerUrl));
  }
  // From the "testSuite" object: its "controllerUrl" when a non-empty string,
  // else none.
  static std::shared_ptr<const QBTestSuiteSettings> fromJson(const platform::Json& testSuite);

  const std::optional<std::string>& controllerUrl() const { return controllerUrl_; }

 private:
  std::optional<std::string> controllerUrl_;
};
