#include "measurement/executor/OMIDQuilbrnJSTimer.h"

#include <algorithm>
#include <cmath>

#include "platform/notifications.h"
#include "platform/ui/application.h"

using platform::ScriptContext;
using platform::ScriptValue;

namespace {

// A timeout from script: not finite or negative -> 0, capped at 2^31-1 ms.
double clampTimeout(double timeoutMs) {
  if (!std::isfinite(timeoutMs) || timeoutMs < 0) return 0;
  return std::min(timeoutMs, OMIDQuilbrnJSTimer::kMaxTimeoutMs);
}

// A timer identifier from script; 0 (no timer) for anything that is none.
uint64_t timerIdFrom(const ScriptContext::Arguments& arguments) {
  if (arguments.empty()) return 0;
  const double id = arguments[0].toNumber();
  if (!std::isfinite(id) || id < 1 || id > 9007199254740992.0) return 0;
  return static_cast<uint64_t>(id);
}

}  // namespace

std::shared_ptr<OMIDQuilbrnJSTimer> OMIDQuilbrnJSTimer::timer() {
  return std::shared_ptr<OMIDQuilbrnJSTimer>(new OMIDQuilbrnJSTimer);
}

OMIDQuilbrnJSTimer::OMIDQuilbrnJSTimer()
    : isAppActive_(platform::Application::shared().applicationState() == platform::ApplicationState::Active) {}

void OMIDQuilbrnJSTimer::setJsInvoker(const std::shared_ptr<OMIDQuilbrnJSInvoker>& invoker) {
  jsInvoker_ = invoker;
  if (!invoker) return;
  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<const void> owner = weak_from_this();
  std::weak_ptr<OMIDQuilbrnJSTimer> weak = weak_from_this();
  const std::pair<const char*, bool> notices[] = {{platform::kUIApplicationDidBecomeActiveNotification, true},
                                                  {platform::kUIApplicationWillResignActiveNotification, false},
                                                  {platform::kUIApplicationDidEnterBackgroundNotification, false}};
  for (const auto& [name, active] : notices) {
    center.addObserver(owner, name, invoker->dispatchQueue(), [weak, active = active](const platform::Notification&) {
      if (auto self = weak.lock()) self->isAppActive_ = active;
    });
  }
}

void OMIDQuilbrnJSTimer::setupMethodsForJSObject(ScriptContext& context, const ScriptValue& object) {
  std::weak_ptr<OMIDQuilbrnJSTimer> weak = weak_from_this();
  auto schedule = [&context](bool repeatable) {
    return [&context, repeatable](OMIDQuilbrnJSTimer& timer, const ScriptContext::Arguments& arguments) {
      const ScriptValue callback = arguments.empty() ? ScriptValue() : arguments[0];
      const double timeout = arguments.size() > 1 ? arguments[1].toNumber() : 0;
      return context.makeNumber(static_cast<double>(timer.scheduleTimerWithTimeout(timeout, callback, repeatable)));
    };
  };
  auto cancel = [](OMIDQuilbrnJSTimer& timer, const ScriptContext::Arguments& arguments) {
    timer.cancelTimerWithId(timerIdFrom(arguments));
    return ScriptValue();
  };
  context.defineFunction<OMIDQuilbrnJSTimer>(object, "setTimeout", weak, schedule(false));
  context.defineFunction<OMIDQuilbrnJSTimer>(object, "clearTimeout", weak, cancel);
  context.defineFunction<OMIDQuilbrnJSTimer>(object, "setInterval", weak, schedule(true));
  context.defineFunction<OMIDQuilbrnJSTimer>(object, "clearInterval", weak, cancel);
}

double OMIDQuilbrnJSTimer::minTimeout() const { return isAppActive_ ? kActiveMinTimeoutMs : kInactiveMinTimeoutMs; }

uint64_t OMIDQuilbrnJSTimer::scheduleTimerWithTimeout(double timeoutMs, const ScriptValue& callback, bool repeatable) {
  if (timers_.size() >= kMaxLiveTimers) {
    auto invoker = jsInvoker_.lock();
    if (!capLogged_ && invoker) {
      capLogged_ = true;
      invoker->logLine("a measurement script asked for more than " + std::to_string(kMaxLiveTimers) +
                           " live timers; further ones are refused",
                       3);
    }
    return 0;
  }
  const uint64_t timerId = ++timerIdCounter_;
  scheduleTimerWithId(timerId, clampTimeout(timeoutMs), callback, repeatable);
  return timerId;
}

void OMIDQuilbrnJSTimer::scheduleTimerWithId(uint64_t timerId, double timeoutMs, const ScriptValue& callback,
                                             bool repeatable) {
  auto invoker = jsInvoker_.lock();
  if (!invoker) return;
  std::weak_ptr<OMIDQuilbrnJSTimer> weak = weak_from_this();
  timers_[timerId] = platform::Timer::once(invoker->dispatchQueue(), std::max(minTimeout(), timeoutMs),
                                           [weak, timerId, timeoutMs, callback, repeatable] {
                                             if (auto self = weak.lock())
                                               self->handleTimerWithId(timerId, timeoutMs, callback, repeatable);
                                           });
}

void OMIDQuilbrnJSTimer::handleTimerWithId(uint64_t timerId, double timeoutMs, const ScriptValue& callback,
                                           bool repeatable) {
  auto it = timers_.find(timerId);
  auto invoker = jsInvoker_.lock();
  if (it == timers_.end() || !invoker) return;
  invoker->runChargedTask(
      [&] {
        if (repeatable) scheduleTimerWithId(timerId, timeoutMs, callback, true);
        else timers_.erase(it);
        invoker->invokeCallback(callback);
      },
      0);
}

void OMIDQuilbrnJSTimer::cancelTimerWithId(uint64_t timerId) { timers_.erase(timerId); }

void OMIDQuilbrnJSTimer::cancelAllTimers() {
  auto invoker = jsInvoker_.lock();
  if (!invoker) return;
  std::weak_ptr<OMIDQuilbrnJSTimer> weak = weak_from_this();
  invoker->dispatchQueue()->async([weak] {
    if (auto self = weak.lock()) self->timers_.clear();
  });
}
