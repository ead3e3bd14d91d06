#pragma once
// The script environment of a native session: a script context of its own
// (platform::ScriptContext) on a serial queue of its own, with the host
// services a browser would give the scripts on the global "omidNative"
// object (the timers and the network calls).
//
// Threading: injectJavaScriptFromString may be called from any thread and only
// enqueues; everything else (evaluation, callbacks, timers, network
// completions) runs on dispatchQueue(), in order. The context is made by the
// first block of that queue.
//
// The scripts are outside input: each entry into them runs under the
// context's guard (time limit and memory bound, as a page's); a stop is
// logged. The tasks the scripts cause on the queue (timer ticks, network
// answers) share one processor-time budget: kProcessorBudgetMs at once,
// given back at kProcessorBudgetShare of the time that passes on the platform
// clock (a web view page's figures). After the context's teardown count of
// time-limit stops, at once past the memory bound, or when a task overdraws
// the budget, the context is torn down, its timers are cancelled, and every
// later command is dropped (logged). Script exceptions are contained and
// logged at level 0. Every line the scripts can cause goes through one rate
// limit per executor (platform::LineRateLimit: about ten lines a second, the
// rest counted and reported with the next line written); the teardown line is
// always written.
#include <memory>
#include <optional>
#include <string>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "measurement/executor/OMIDQuilbrnJSNetworkBridge.h"
#include "measurement/executor/OMIDQuilbrnJSTimer.h"
#include "platform/repeated_line.h"
#include "platform/script/processor_budget.h"
#include "platform/script/script_context.h"

class OMIDQuilbrnLightJSExecutor : public OMIDQuilbrnJSExecutor,
                                   public OMIDQuilbrnJSInvoker,
                                   public std::enable_shared_from_this<OMIDQuilbrnLightJSExecutor> {
 public:
  static constexpr char kQueueLabel[] = "com.iab.omidLightJSExecutor.serial.queue";
  // What the scripts' tasks may take at once, in milliseconds of processor
  // time, and the share of the time passing that is given back.
  static constexpr double kProcessorBudgetMs = 1000;
  static constexpr double kProcessorBudgetShare = 0.25;

  // A new timer, network bridge and serial queue.
  static std::shared_ptr<OMIDQuilbrnLightJSExecutor> lightJSExecutor();
  // Becomes the invoker of both, then (on the queue, held weakly) makes the
  // context, evaluates "this.omidNative = {};" and lets the timer and the
  // network bridge define their functions on it.
  static std::shared_ptr<OMIDQuilbrnLightJSExecutor> initWithTimer(std::shared_ptr<OMIDQuilbrnJSTimer> timer,
                                                                   std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge,
                                                                   platform::QueueRef dispatchQueue);

  // OMIDQuilbrnJSExecutor
  void injectJavaScriptFromString(const std::string& script) override;
  bool supportBackgroundThread() const override { return true; }
  // The script context (on dispatchQueue(); none before the first block).
  OMIDQuilbrnJSEnvironment jsEnvironment() const override;

  // OMIDQuilbrnJSInvoker (dispatchQueue() only)
  void invokeCallback(const platform::ScriptValue& callback) override;
  void invokeCallback(const platform::ScriptValue& callback, const platform::Json& argument) override;
  void invokeScript(const std::string& script) override;
  void assertOnJavaScriptQueue() const override;
  platform::QueueRef dispatchQueue() const override { return dispatchQueue_; }
  void runChargedTask(const std::function<void()>& work, double extraMs) override;
  void logLine(const std::string& line, int level) override;

  const std::shared_ptr<OMIDQuilbrnJSTimer>& timer() const { return timer_; }
  const std::shared_ptr<OMIDQuilbrnJSNetworkBridge>& networkBridge() const { return networkBridge_; }

  // The options of the contexts of executors made from now on (nullopt: the
  // defaults, the pages' time limit and 3 stops).
  static void setScriptContextOptionsForTesting(std::optional<platform::ScriptContextOptions> options);

 private:
  OMIDQuilbrnLightJSExecutor(std::shared_ptr<OMIDQuilbrnJSTimer> timer,
                             std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge,
                             platform::QueueRef dispatchQueue);
  void setUp(const platform::ScriptContextOptions& options);
  // After an entry: logs what went wrong, and cancels the timers once the
  // context was torn down.
  void afterEntry(const platform::ScriptOutcome& outcome);
  // A task overdrew the budget: tears the context down (as past its time
  // limit) unless it already is.
  void passedBudget();
  // The context is torn down: its timers end, and `line` is written (always).
  void tornDown(const std::string& line);

  std::shared_ptr<OMIDQuilbrnJSTimer> timer_;
  std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge_;
  platform::QueueRef dispatchQueue_;
  std::shared_ptr<platform::ScriptContext> jsContext_;  // dispatchQueue_ only
  bool tornDownHandled_ = false;
  size_t droppedCommands_ = 0;
  platform::ProcessorBudget budget_{kProcessorBudgetMs, kProcessorBudgetShare};  // dispatchQueue_ only
  platform::LineRateLimit lines_;
};
