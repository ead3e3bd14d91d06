#include "platform/script/script_context.h"

#include <cmath>
#include <utility>

#include "platform/script/engine.h"
#include "platform/script/js_engine.h"

namespace platform {

using namespace script_internal;

// The engine context, its group and the guard of its entries. The global
// object's private data points here, so native functions find the context they
// run in.
struct ScriptContext::Core : std::enable_shared_from_this<Core> {
  JSContextGroupRef group = nullptr;
  std::unique_ptr<engine::EntryGuard> guard;
  JSGlobalContextRef context = nullptr;

  // Makes `work`'s calls into the scripts as an entry of the engine (its
  // promise jobs inside it): a conversion may run the script's own code.
  template <class F>
  void run(F&& work) {
    guard->run(context, std::forward<F>(work));
  }

  ~Core() {
    if (context) {
      JSObjectSetPrivate(JSContextGetGlobalObject(context), nullptr);
      JSGlobalContextRelease(context);
    }
    if (group) JSContextGroupRelease(group);
  }
};

struct ScriptValue::Handle {
  std::weak_ptr<ScriptContext::Core> core;
  JSValueRef value = nullptr;

  Handle(std::weak_ptr<ScriptContext::Core> c, JSValueRef v) : core(std::move(c)), value(v) {}
  ~Handle() {
    if (auto c = core.lock(); c && c->context) JSValueUnprotect(c->context, value);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

using Core = ScriptContext::Core;

// Between values and their engine values.
struct ScriptValueAccess {
  static ScriptValue wrap(const std::shared_ptr<Core>& core, JSValueRef value) {
    if (!core || !core->context || !value) return {};
    JSValueProtect(core->context, value);
    return ScriptValue(std::make_shared<ScriptValue::Handle>(core, value));
  }
  // The engine value of `v` when it belongs to `core`'s context, else null.
  static JSValueRef raw(const ScriptValue& v, const Core& core) {
    if (!v.handle_) return nullptr;
    auto c = v.handle_->core.lock();
    return c.get() == &core && c->context ? v.handle_->value : nullptr;
  }
  // The live context of `v` (null when it has none) and its engine value.
  static std::pair<std::shared_ptr<Core>, JSValueRef> open(const ScriptValue& v) {
    if (!v.handle_) return {};
    auto c = v.handle_->core.lock();
    if (!c || !c->context) return {};
    return {std::move(c), v.handle_->value};
  }
};

namespace {

JSClassRef globalClass() {
  static JSClassRef cls = createNamedEmptyClass("ScriptGlobal");
  return cls;
}

// Native functions: objects of a class whose private data is the function.
struct Native {
  static JSValueRef callAsFunction(JSContextRef ctx, JSObjectRef function, JSObjectRef, size_t argc,
                                   const JSValueRef argv[], JSValueRef*) {
    auto* fn = static_cast<ScriptContext::NativeFunction*>(JSObjectGetPrivate(function));
    auto* core = static_cast<Core*>(JSObjectGetPrivate(JSContextGetGlobalObject(ctx)));
    if (!fn || !core) return JSValueMakeUndefined(ctx);
    std::shared_ptr<Core> self = core->shared_from_this();
    ScriptContext::Arguments arguments;
    arguments.reserve(argc);
    for (size_t i = 0; i < argc; ++i) arguments.push_back(ScriptValueAccess::wrap(self, argv[i]));
    const ScriptValue answer = (*fn)(arguments);
    JSValueRef out = ScriptValueAccess::raw(answer, *core);
    return out ? out : JSValueMakeUndefined(ctx);
  }
  static void finalize(JSObjectRef object) {
    delete static_cast<ScriptContext::NativeFunction*>(JSObjectGetPrivate(object));
  }
  static JSClassRef cls() {
    static JSClassRef c = [] {
      JSClassDefinition definition = kJSClassDefinitionEmpty;
      definition.className = "NativeFunction";
      definition.callAsFunction = &Native::callAsFunction;
      definition.finalize = &Native::finalize;
      return JSClassCreate(&definition);
    }();
    return c;
  }
};

Error scriptError(int code, std::string message) { return Error{kScriptErrorDomain, code, std::move(message)}; }

engine::EntryLimits limitsOf(const ScriptContextOptions& options) {
  engine::EntryLimits limits;
  limits.timeLimitMs = options.timeLimitMs;
  limits.memoryLimitBytes = options.memoryLimitBytes;
  return limits;
}

}  // namespace

// ---- ScriptValue ----

bool ScriptValue::isUndefined() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return !core || JSValueIsUndefined(core->context, value);
}
bool ScriptValue::isNull() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueIsNull(core->context, value);
}
bool ScriptValue::isBoolean() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueIsBoolean(core->context, value);
}
bool ScriptValue::isNumber() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueIsNumber(core->context, value);
}
bool ScriptValue::isString() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueIsString(core->context, value);
}
bool ScriptValue::isObject() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueIsObject(core->context, value);
}
bool ScriptValue::isFunction() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core || !JSValueIsObject(core->context, value)) return false;
  return JSObjectIsFunction(core->context, JSValueToObject(core->context, value, nullptr));
}

std::string ScriptValue::toString() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core) return std::string();
  std::string out;
  core->run([&out, ctx = core->context, v = value] { out = toStd(ctx, v); });
  return out;
}

double ScriptValue::toNumber() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core) return std::nan("");
  double out = std::nan("");
  core->run([&out, ctx = core->context, v = value] {
    JSValueRef ignored = nullptr;
    out = JSValueToNumber(ctx, v, &ignored);
  });
  return out;
}

bool ScriptValue::toBoolean() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueToBoolean(core->context, value);
}

std::optional<Json> ScriptValue::toJson() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core || JSValueIsUndefined(core->context, value)) return std::nullopt;
  std::optional<Json> out;
  core->run([&out, ctx = core->context, v = value] {
    JSValueRef exception = nullptr;
    auto json = valueToJson(ctx, v, &exception);
    if (json) out = std::move(json.value());
  });
  return out;
}

ScriptValue ScriptValue::property(const std::string& name) const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core || !JSValueIsObject(core->context, value)) return {};
  JSObjectRef object = JSValueToObject(core->context, value, nullptr);
  JsString n(createJsString(name));
  JSValueRef exception = nullptr;
  JSValueRef member = nullptr;
  core->run([&member, &exception, &n, ctx = core->context, object] {
    member = JSObjectGetProperty(ctx, object, n.get(), &exception);
  });
  return exception ? ScriptValue() : ScriptValueAccess::wrap(core, member);
}

// ---- ScriptContext ----

std::shared_ptr<ScriptContext> ScriptContext::create(ScriptContextOptions options) {
  engine::configureEngineOnce();
  if (options.stopsBeforeTeardown < 1) options.stopsBeforeTeardown = 1;
  return std::shared_ptr<ScriptContext>(new ScriptContext(options));
}

ScriptContext::ScriptContext(ScriptContextOptions options) : options_(options), core_(std::make_shared<Core>()) {
  core_->group = JSContextGroupCreate();
  core_->guard = std::make_unique<engine::EntryGuard>(core_->group, limitsOf(options_));
  core_->context = JSGlobalContextCreateInGroup(core_->group, globalClass());
  JSObjectSetPrivate(JSContextGetGlobalObject(core_->context), core_.get());
}

ScriptContext::~ScriptContext() = default;

bool ScriptContext::isTornDown() const { return !core_; }

void ScriptContext::tearDown() {
  if (depth_ > 0) {
    tearDownPending_ = true;
    return;
  }
  core_.reset();
}

void ScriptContext::collectGarbageForTesting() {
  if (core_) JSGarbageCollect(core_->context);
}

namespace {


ScriptOutcome failedOutcome(int code, std::string message) {
  ScriptOutcome out;
  out.error = scriptError(code, std::move(message));
  out.description = out.error->message;
  return out;
}

}  // namespace

// What the host tells of an exception: read inside the entry that threw it,
// under its guard, since reading it may run the script's own code (a getter
// of its line, a toString) and the promise jobs that code queues.
ScriptContext::Thrown ScriptContext::describeThrown(const void* ctxIn, const void* exceptionIn) {
  auto ctx = static_cast<JSContextRef>(ctxIn);
  auto exception = static_cast<JSValueRef>(exceptionIn);
  Thrown thrown;
  if (!exception) return thrown;
  thrown.text = toStd(ctx, exception);
  thrown.description = describeException(ctx, exception, &thrown.line);
  return thrown;
}

namespace {

ScriptOutcome tornDownOutcome() {
  return failedOutcome(ScriptErrorCode::ContextTornDown, "the script context was torn down");
}

}  // namespace

std::optional<ScriptOutcome> ScriptContext::enter() {
  if (!core_) return tornDownOutcome();
  // Nested entries (a native function's) run under the outermost one's guard;
  // once it stopped the script, none starts.
  if (depth_ == 0 ? !core_->guard->begin() : core_->guard->isStopped()) return stoppedOutcome(static_cast<int>(core_->guard->stopReason()));
  ++depth_;
  return std::nullopt;
}

ScriptOutcome ScriptContext::stoppedOutcome(int reason) const {
  switch (static_cast<engine::StopReason>(reason)) {
    case engine::StopReason::TimeLimit:
      return failedOutcome(ScriptErrorCode::ScriptTimeLimit, "the script ran past the time limit of " +
                                                                 std::to_string(static_cast<int64_t>(options_.timeLimitMs)) +
                                                                 " ms");
    case engine::StopReason::MemoryLimit:
      return failedOutcome(ScriptErrorCode::ResourceLimit, "the scripts held more than " +
                                                               std::to_string(options_.memoryLimitBytes) +
                                                               " bytes of memory");
    default:
      return tornDownOutcome();
  }
}

ScriptOutcome ScriptContext::leave(const void* valueIn, const void* exceptionIn, const Thrown& thrown) {
  auto value = static_cast<JSValueRef>(valueIn);
  auto exception = static_cast<JSValueRef>(exceptionIn);
  --depth_;
  std::shared_ptr<Core> core = core_;
  const auto reason = depth_ == 0 ? core->guard->end() : core->guard->stopReason();
  ScriptOutcome out;
  if (reason != engine::StopReason::None) {
    out = stoppedOutcome(static_cast<int>(reason));
    if (depth_ == 0) {
      // A run past the time limit stops that entry only, until the stops reach
      // the teardown count; any other stop ends the context.
      if (reason == engine::StopReason::TimeLimit && ++stops_ < options_.stopsBeforeTeardown) {
        core->guard = std::make_unique<engine::EntryGuard>(core->group, limitsOf(options_));
      } else {
        if (reason == engine::StopReason::TimeLimit) stops_ = std::max(stops_, options_.stopsBeforeTeardown);
        tearDownPending_ = true;
      }
    }
  } else if (exception) {
    out.error = scriptError(ScriptErrorCode::JavaScriptException, thrown.text);
    out.description = thrown.description;
    out.line = thrown.line;
  } else {
    out.value = ScriptValueAccess::wrap(core, value);
  }
  if (depth_ == 0 && tearDownPending_) {
    tearDownPending_ = false;
    core_.reset();
  }
  return out;
}

ScriptOutcome ScriptContext::evaluate(std::string_view source, const std::string& sourceURL, int line) {
  if (auto refused = enter()) return *refused;
  JsString text(createJsString(source));
  std::optional<JsString> url;
  if (!sourceURL.empty()) url.emplace(createJsString(sourceURL));
  JSValueRef exception = nullptr;
  JSValueRef value = nullptr;
  Thrown thrown;
  core_->run([&] {
    value = JSEvaluateScript(core_->context, text.get(), nullptr, url ? url->get() : nullptr, line, &exception);
    thrown = describeThrown(core_->context, exception);
  });
  return leave(value, exception, thrown);
}

ScriptOutcome ScriptContext::call(const ScriptValue& function, const Arguments& arguments) {
  if (!core_) return tornDownOutcome();
  JSContextRef ctx = core_->context;
  JSValueRef fn = ScriptValueAccess::raw(function, *core_);
  if (!fn || !JSValueIsObject(ctx, fn) || !JSObjectIsFunction(ctx, JSValueToObject(ctx, fn, nullptr))) {
    ScriptOutcome out;
    // The value's text may run its own code (a toString): as an entry.
    std::string shown = "undefined";
    if (fn) core_->run([&] { shown = toStd(ctx, fn); });
    out.error = scriptError(ScriptErrorCode::JavaScriptException, "TypeError: " + shown + " is not a function");
    out.description = out.error->message;
    return out;
  }
  std::vector<JSValueRef> argv;
  argv.reserve(arguments.size());
  for (const auto& a : arguments) {
    JSValueRef v = ScriptValueAccess::raw(a, *core_);
    argv.push_back(v ? v : JSValueMakeUndefined(ctx));
  }
  if (auto refused = enter()) return *refused;
  JSValueRef exception = nullptr;
  JSValueRef value = nullptr;
  Thrown thrown;
  core_->run([&] {
    value = JSObjectCallAsFunction(ctx, JSValueToObject(ctx, fn, nullptr), nullptr, argv.size(), argv.data(), &exception);
    thrown = describeThrown(ctx, exception);
  });
  return leave(value, exception, thrown);
}

ScriptValue ScriptContext::globalObject() {
  if (!core_) return {};
  return ScriptValueAccess::wrap(core_, JSContextGetGlobalObject(core_->context));
}

ScriptValue ScriptContext::global(const std::string& name) { return globalObject().property(name); }

// The values the host makes for the scripts outside their entries count
// against the memory bound as far as the process grows by them
// (engine::EntryGuard::chargeHostBytes): a kept one stops the scripts at the
// end of the entry that passes the bound, and the context is torn down.
ScriptValue ScriptContext::makeString(std::string_view text) {
  if (!core_) return {};
  core_->guard->chargeHostBytes(core_->context, engine::hostTextBytes(text.size()));
  JsString s(createJsString(text));
  return ScriptValueAccess::wrap(core_, JSValueMakeString(core_->context, s.get()));
}

ScriptValue ScriptContext::makeNumber(double number) {
  if (!core_) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeNumber(core_->context, number));
}

ScriptValue ScriptContext::makeBoolean(bool value) {
  if (!core_) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeBoolean(core_->context, value));
}

ScriptValue ScriptContext::makeNull() {
  if (!core_) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeNull(core_->context));
}

ScriptValue ScriptContext::makeObject() {
  if (!core_) return {};
  return ScriptValueAccess::wrap(core_, JSObjectMake(core_->context, nullptr, nullptr));
}

ScriptValue ScriptContext::makeJson(const Json& json) {
  if (!core_) return {};
  // Charged as its text: what the host hands scripts as JSON is strings and
  // numbers (a tree of many small objects takes more in the engine).
  const std::string text = dumpJson(json);
  core_->guard->chargeHostBytes(core_->context, engine::hostTextBytes(text.size()));
  JsString s(createJsString(text));
  return ScriptValueAccess::wrap(core_, JSValueMakeFromJSONString(core_->context, s.get()));
}

bool ScriptContext::defineFunction(const ScriptValue& object, const std::string& name, NativeFunction function) {
  if (!core_) return false;
  JSContextRef ctx = core_->context;
  JSValueRef target = ScriptValueAccess::raw(object, *core_);
  if (!target || !JSValueIsObject(ctx, target)) return false;
  JSObjectRef fn = JSObjectMake(ctx, Native::cls(), new NativeFunction(std::move(function)));
  JsString n(createJsString(name));
  JSValueRef exception = nullptr;
  // The object may have a setter of the script's own for that name: an entry.
  core_->run([&] {
    JSObjectSetProperty(ctx, JSValueToObject(ctx, target, nullptr), n.get(), fn, kJSPropertyAttributeNone, &exception);
  });
  return exception == nullptr;
}

}  // namespace platform
