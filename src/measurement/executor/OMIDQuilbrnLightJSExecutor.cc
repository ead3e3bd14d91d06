#include "measurement/executor/OMIDQuilbrnLightJSExecutor.h"

#include <cassert>
#include <mutex>

#include "foundation/QBLoggerManager.h"

using platform::ScriptValue;

namespace {

// The method of the context's log lines.
constexpr char kLogMethod[] = "measurementScript";

std::mutex& optionsMutex() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::optional<platform::ScriptContextOptions>& testOptions() {
  static std::optional<platform::ScriptContextOptions>& o = *new std::optional<platform::ScriptContextOptions>;
  return o;
}

}  // namespace

std::shared_ptr<OMIDQuilbrnLightJSExecutor> OMIDQuilbrnLightJSExecutor::lightJSExecutor() {
  return initWithTimer(OMIDQuilbrnJSTimer::timer(), OMIDQuilbrnJSNetworkBridge::networkBridge(),
                       platform::createSerialQueue(kQueueLabel));
}

void OMIDQuilbrnLightJSExecutor::setScriptContextOptionsForTesting(
    std::optional<platform::ScriptContextOptions> options) {
  std::lock_guard lock(optionsMutex());
  testOptions() = options;
}

OMIDQuilbrnLightJSExecutor::OMIDQuilbrnLightJSExecutor(std::shared_ptr<OMIDQuilbrnJSTimer> timer,
                                                       std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge,
                                                       platform::QueueRef dispatchQueue)
    : timer_(std::move(timer)), networkBridge_(std::move(networkBridge)), dispatchQueue_(std::move(dispatchQueue)) {}

std::shared_ptr<OMIDQuilbrnLightJSExecutor> OMIDQuilbrnLightJSExecutor::initWithTimer(
    std::shared_ptr<OMIDQuilbrnJSTimer> timer, std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge,
    platform::QueueRef dispatchQueue) {
  std::shared_ptr<OMIDQuilbrnLightJSExecutor> executor(
      new OMIDQuilbrnLightJSExecutor(std::move(timer), std::move(networkBridge), std::move(dispatchQueue)));
  executor->timer_->setJsInvoker(executor);
  executor->networkBridge_->setJsInvoker(executor);
  platform::ScriptContextOptions options;
  {
    std::lock_guard lock(optionsMutex());
    if (testOptions()) options = *testOptions();
  }
  std::weak_ptr<OMIDQuilbrnLightJSExecutor> weak = executor;
  executor->dispatchQueue_->async([weak, options] {
    if (auto self = weak.lock()) self->setUp(options);
  });
  return executor;
}

void OMIDQuilbrnLightJSExecutor::setUp(const platform::ScriptContextOptions& options) {
  jsContext_ = platform::ScriptContext::create(options);
  afterEntry(jsContext_->evaluate("this.omidNative = {};"));
  const ScriptValue omidNative = jsContext_->global("omidNative");
  timer_->setupMethodsForJSObject(*jsContext_, omidNative);
  networkBridge_->setupMethodsForJSObject(*jsContext_, omidNative);
}

OMIDQuilbrnJSEnvironment OMIDQuilbrnLightJSExecutor::jsEnvironment() const {
  return OMIDQuilbrnJSEnvironment{nullptr, jsContext_};
}

void OMIDQuilbrnLightJSExecutor::injectJavaScriptFromString(const std::string& script) {
  std::weak_ptr<OMIDQuilbrnLightJSExecutor> weak = weak_from_this();
  dispatchQueue_->async([weak, script] {
    if (auto self = weak.lock()) self->invokeScript(script);
  });
}

void OMIDQuilbrnLightJSExecutor::invokeScript(const std::string& script) {
  assertOnJavaScriptQueue();
  if (script.empty() || !jsContext_) return;
  afterEntry(jsContext_->evaluate(script));
}

void OMIDQuilbrnLightJSExecutor::invokeCallback(const ScriptValue& callback) {
  assertOnJavaScriptQueue();
  if (!jsContext_ || callback.isUndefined() || callback.isNull()) return;
  if (callback.isString()) {
    invokeScript(callback.toString());
    return;
  }
  afterEntry(jsContext_->call(callback));
}

void OMIDQuilbrnLightJSExecutor::invokeCallback(const ScriptValue& callback, const platform::Json& argument) {
  assertOnJavaScriptQueue();
  if (!jsContext_) return;
  afterEntry(jsContext_->call(callback, {jsContext_->makeJson(argument)}));
}

void OMIDQuilbrnLightJSExecutor::assertOnJavaScriptQueue() const { assert(dispatchQueue_->isCurrent()); }

void OMIDQuilbrnLightJSExecutor::runChargedTask(const std::function<void()>& work, double extraMs) {
  assertOnJavaScriptQueue();
  if (!jsContext_ || jsContext_->isTornDown()) return;
  platform::ProcessorBudget::Task task(&budget_);
  work();
  if (!task.finish(extraMs)) passedBudget();
}

void OMIDQuilbrnLightJSExecutor::logLine(const std::string& line, int level) {
  QBLoggerManager& logger = QBLoggerManager::sharedInstance();
  if (!logger.writes(level)) return;  // a line that goes nowhere takes no place
  if (auto admitted = lines_.admit(line)) logger.dynamicLog(kLogMethod, *admitted, level, QBLogTagInternal);
}

void OMIDQuilbrnLightJSExecutor::tornDown(const std::string& line) {
  tornDownHandled_ = true;
  timer_->cancelAllTimers();
  QBLoggerManager::sharedInstance().dynamicLog(kLogMethod, lines_.admitAlways(line), 3, QBLogTagInternal);
}

void OMIDQuilbrnLightJSExecutor::passedBudget() {
  if (!jsContext_ || tornDownHandled_) return;
  jsContext_->tearDown();
  tornDown("the timers and network answers of a measurement script kept its queue busy past their budget (" +
           std::to_string(static_cast<int>(kProcessorBudgetMs)) + " ms of processor time beyond " +
           std::to_string(static_cast<int>(kProcessorBudgetShare * 100)) +
           "% of the time passed); the measurement script context was torn down and its commands are dropped "
           "from now on");
}

void OMIDQuilbrnLightJSExecutor::afterEntry(const platform::ScriptOutcome& outcome) {
  if (outcome.ok()) return;
  const int code = outcome.error->code;
  if (code == platform::ScriptErrorCode::JavaScriptException) {
    logLine("measurement script error: " + outcome.description, 0);
    return;
  }
  if (code == platform::ScriptErrorCode::ScriptTimeLimit || code == platform::ScriptErrorCode::ResourceLimit) {
    logLine("a measurement script was stopped: " + outcome.description + " (" +
                std::to_string(jsContext_->timeLimitStops()) + " of " +
                std::to_string(jsContext_->options().stopsBeforeTeardown) + " stops)",
            3);
  }
  if (!jsContext_->isTornDown()) return;
  if (!tornDownHandled_) {
    tornDown("the measurement script context was torn down (" + outcome.description +
             "); its commands are dropped from now on");
    return;
  }
  // A command or callback that found the context torn down.
  ++droppedCommands_;
  logLine("measurement command dropped (" + std::to_string(droppedCommands_) + " since the context was torn down)",
          droppedCommands_ == 1 ? 3 : 0);
}
