#pragma once
// The page's native session settings ("setNativeConfiguration"). The
// publisher keeps one and hands that same object to the presentation's
// application-orientation holder, so both read one flag. The flag is read
// on the main queue and the API queue, hence atomic.
#include <atomic>
#include <memory>

class QBNNativeSessionConfiguration {
 public:
  // A new configuration with the defaults.
  static std::shared_ptr<QBNNativeSessionConfiguration> defaultConfiguration() {
    return std::make_shared<QBNNativeSessionConfiguration>();
  }

  // Whether presentation orientation follows the application delegate's
  // answer for the window. YES by default.
  bool allowOrientationFromAppDelegate() const { return allowOrientationFromAppDelegate_.load(); }
  void setAllowOrientationFromAppDelegate(bool allow) { allowOrientationFromAppDelegate_.store(allow); }

 private:
  std::atomic<bool> allowOrientationFromAppDelegate_{true};
};
