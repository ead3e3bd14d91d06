#pragma once
// The page's native session settings.
#include <memory>

class QBNNativeSessionConfiguration {
 public:
  // A new configuration with the defaults.
  static std::shared_ptr<QBNNativeSessionConfiguration> defaultConfiguration() {
    return std::make_shared<QBNNativeSessionConfiguration>();
  }

  // Whether presentation orientation follows the application delegate's
  // answer for the window. YES by default.
  bool allowOrientationFromAppDelegate() const { return allowOrientationFromAppDelegate_; }
  void setAllowOrientationFromAppDelegate(bool allow) { allowOrientationFromAppDelegate_ = allow; }

 private:
  bool allowOrientationFromAppDelegate_ = true;
};
