#pragma once
// Where a session's command scripts run: the ad's web view, or a script
// context of the SDK's own (native sessions).
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/json.h"

namespace platform {
class WebView;
class ScriptContext;
class ScriptValue;
}  // namespace platform

// The script environment of an executor: one of the two is set.
struct OMIDQuilbrnJSEnvironment {
  std::shared_ptr<platform::WebView> webView;
  std::shared_ptr<platform::ScriptContext> scriptContext;
};

class OMIDQuilbrnJSExecutor {
 public:
  virtual ~OMIDQuilbrnJSExecutor() = default;
  // Runs the script in the environment (later, never inline).
  virtual void injectJavaScriptFromString(const std::string& script) = 0;
  // Whether scripts may be injected from any thread (else: the main thread
  // only).
  virtual bool supportBackgroundThread() const = 0;
  virtual OMIDQuilbrnJSEnvironment jsEnvironment() const = 0;
};

// What the timers and the network bridge of a script context call back into.
// Every operation runs on dispatchQueue().
class OMIDQuilbrnJSInvoker {
 public:
  virtual ~OMIDQuilbrnJSInvoker() = default;
  // A string is evaluated as script; undefined and null are ignored; any
  // other value is called with no arguments (one that is no function fails
  // with its text, read as an entry under the context's limits: call it from
  // the charged task the callback belongs to).
  virtual void invokeCallback(const platform::ScriptValue& callback) = 0;
  // Calls the value with the argument (a text or a number) as its only
  // argument.
  virtual void invokeCallback(const platform::ScriptValue& callback, const platform::Json& argument) = 0;
  // Evaluates the text (the empty text is never evaluated).
  virtual void invokeScript(const std::string& script) = 0;
  // Asserts (debug builds) that the caller runs on dispatchQueue().
  virtual void assertOnJavaScriptQueue() const = 0;
  // Runs `work` as one task the scripts caused (a timer tick, a network
  // answer), charged against the context's processor-time budget: its
  // processor time, the per-task overhead and `extraMs` (what the task cost
  // elsewhere). A task that overdraws the budget stops the scripts as ones
  // past their time limit (the context torn down, nothing of it runs again),
  // logged once. Once the context is torn down `work` does not run.
  virtual void runChargedTask(const std::function<void()>& work, double extraMs) = 0;
  // Writes a line the scripts caused (level, tag INTERNAL) under the
  // context's rate of log lines.
  virtual void logLine(const std::string& line, int level) = 0;
  virtual platform::QueueRef dispatchQueue() const = 0;
};
