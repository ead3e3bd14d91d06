#pragma once
// Pieces shared by the three delegate wrappers.
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "quillborne/QBAdInfo.h"

namespace qbevents {

// The ad info a callback carries: the given one, or an empty one.
inline QBAdInfo adInfoOrEmpty(const std::shared_ptr<const QBAdInfo>& adInfo) {
  return adInfo ? *adInfo : QBAdInfo();
}

// Logs a callback on its way to the application (level 1, tag DELEGATE).
inline void logCallback(const char* method) { QBLoggerManager::sharedInstance().dynamicLog(method, {}, 1, 1); }
// The same with details, which `describe` writes only when the line goes
// somewhere: a callback's way to the application is the end of a load's.
template <class Describe>
void logCallback(const char* method, Describe&& describe) {
  auto& logger = QBLoggerManager::sharedInstance();
  if (logger.writes(1)) logger.dynamicLog(method, std::forward<Describe>(describe)(), 1, 1);
}

// The delegates one wrapper delivers to: the application's classic and
// Tidewheel delegates (held weakly) and the test-suite Tidewheel delegate
// (owned), behind one lock, and the routing every callback follows.
// Thread-safe; delegates are never called, nor released, under the lock.
template <class Classic, class Tidewheel>
class DelegateRecipients {
 public:
  void setClassic(std::weak_ptr<Classic> delegate) {
    std::lock_guard lock(mutex_);
    classic_ = std::move(delegate);
  }
  void setTidewheel(std::weak_ptr<Tidewheel> delegate) {
    std::lock_guard lock(mutex_);
    tidewheel_ = std::move(delegate);
  }
  // Owns `delegate`; null removes it.
  void setTestSuite(std::shared_ptr<Tidewheel> delegate) {
    std::lock_guard lock(mutex_);
    delegate.swap(testSuite_);  // the old one is released after the lock
  }
  std::shared_ptr<Tidewheel> testSuite() const {
    std::lock_guard lock(mutex_);
    return testSuite_;
  }
  // Forgets all three.
  void reset() {
    std::shared_ptr<Tidewheel> released;  // declared before the lock, so released after it
    std::lock_guard lock(mutex_);
    classic_.reset();
    tidewheel_.reset();
    released.swap(testSuite_);
  }

  // Returns at once; on the main queue, in call order, calls the delegates
  // set now. While a test-suite delegate is set, only toTidewheel(testSuite)
  // runs; otherwise toClassic(classic), then toTidewheel(tidewheel), each
  // only while that delegate still lives.
  template <class ToClassic, class ToTidewheel>
  void deliver(ToClassic toClassic, ToTidewheel toTidewheel) const {
    platform::mainQueue()->async(
        [r = snapshot(), toClassic = std::move(toClassic), toTidewheel = std::move(toTidewheel)] {
          if (r.testSuite) {
            toTidewheel(*r.testSuite);
            return;
          }
          if (auto classic = r.classic.lock()) toClassic(*classic);
          if (auto tidewheel = r.tidewheel.lock()) toTidewheel(*tidewheel);
        });
  }
  // As deliver, for a callback only the classic delegate has: nothing is
  // called while a test-suite delegate is set.
  template <class ToClassic>
  void deliverToClassic(ToClassic toClassic) const {
    platform::mainQueue()->async([r = snapshot(), toClassic = std::move(toClassic)] {
      if (r.testSuite) return;
      if (auto classic = r.classic.lock()) toClassic(*classic);
    });
  }

 private:
  struct Snapshot {
    std::weak_ptr<Classic> classic;
    std::weak_ptr<Tidewheel> tidewheel;
    std::shared_ptr<Tidewheel> testSuite;
  };
  Snapshot snapshot() const {
    std::lock_guard lock(mutex_);
    return {classic_, tidewheel_, testSuite_};
  }

  mutable std::recursive_mutex mutex_;
  std::weak_ptr<Classic> classic_;
  std::weak_ptr<Tidewheel> tidewheel_;
  std::shared_ptr<Tidewheel> testSuite_;
};

}  // namespace qbevents
