#pragma once
// The timers of a script context: "setTimeout", "setInterval",
// "clearTimeout" and "clearInterval" on the context's "omidNative" object.
//
// A timer waits the larger of its timeout and the minimum (10 ms while the
// application is active, 1000 ms while it is not; an interval takes the
// minimum anew each round). A timeout that is not a finite number, or is
// negative, counts as 0; one above 2^31-1 ms counts as 2^31-1. Identifiers
// start at 1. At most kMaxLiveTimers timers live at once: a script asking for
// more gets 0 and no timer (logged).
//
// The timers' callbacks share the invoker's queue with everything else of the
// session, so each tick (its bookkeeping and its callback) is a charged task
// of the invoker (runChargedTask): the context's processor-time budget, which
// its network answers share, stops the scripts when ticks take too much.
//
// Every timer fires, and all the bookkeeping runs, on the invoker's queue.
// Destroying the timer object cancels every timer it holds; its observation of
// the application's state ends with it.
#include <cstdint>
#include <map>
#include <memory>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "platform/dispatch.h"
#include "platform/script/script_context.h"

class OMIDQuilbrnJSTimer : public std::enable_shared_from_this<OMIDQuilbrnJSTimer> {
 public:
  static constexpr size_t kMaxLiveTimers = 1000;
  static constexpr double kMaxTimeoutMs = 2147483647.0;
  static constexpr double kActiveMinTimeoutMs = 10;
  static constexpr double kInactiveMinTimeoutMs = 1000;

  static std::shared_ptr<OMIDQuilbrnJSTimer> timer();

  // The executor that runs the callbacks (held weakly). From then on the
  // timer follows the application's state on the invoker's queue.
  void setJsInvoker(const std::shared_ptr<OMIDQuilbrnJSInvoker>& invoker);
  // Defines the four functions on `object` (each holds the timer weakly).
  void setupMethodsForJSObject(platform::ScriptContext& context, const platform::ScriptValue& object);

  // On the invoker's queue: a new timer; its identifier, or 0 when the cap is
  // reached.
  uint64_t scheduleTimerWithTimeout(double timeoutMs, const platform::ScriptValue& callback, bool repeatable);
  void cancelTimerWithId(uint64_t timerId);
  // Posts to the invoker's queue: every timer is cancelled there.
  void cancelAllTimers();
  // On the invoker's queue.
  double minTimeout() const;
  size_t liveTimerCount() const { return timers_.size(); }

 private:
  OMIDQuilbrnJSTimer();
  void scheduleTimerWithId(uint64_t timerId, double timeoutMs, const platform::ScriptValue& callback,
                           bool repeatable);
  void handleTimerWithId(uint64_t timerId, double timeoutMs, const platform::ScriptValue& callback, bool repeatable);

  bool isAppActive_;
  std::weak_ptr<OMIDQuilbrnJSInvoker> jsInvoker_;
  std::map<uint64_t, std::shared_ptr<platform::Timer>> timers_;
  uint64_t timerIdCounter_ = 0;
  bool capLogged_ = false;
};
