#include "platform/script/script_context.h"

#include <atomic>
#include <cmath>
#include <utility>

#include "platform/script/engine.h"
#include "platform/script/engine_objects.h"
#include "platform/script/js_engine.h"

namespace platform {

using namespace script_internal;

// The engine context, its group, the guard of its entries and what the
// entries counted (stops, nesting, a teardown asked inside one). The global
// object's private data points here, so native functions find the context
// they run in. Values hold it weakly; the context owns it, so values reach
// the entry bookkeeping without the context.
struct ScriptContext::Core : std::enable_shared_from_this<Core> {
  explicit Core(ScriptContextOptions o) : options(o), generation(engineGenerationForTesting()) {
    engine::countMade(engine::LiveObject::ScriptContext, generation);
  }
  ~Core() { release(); }

  ScriptContextOptions options;
  const uint64_t generation;  // platform/script/engine_objects.h
  JSContextGroupRef group = nullptr;
  std::unique_ptr<engine::EntryGuard> guard;
  JSGlobalContextRef context = nullptr;  // null once torn down
  int stops = 0;
  int depth = 0;
  bool tearDownPending = false;

  bool live() const { return context != nullptr; }

  // Makes `work`'s calls into the scripts as one entry (its promise jobs
  // inside it), or inside the entry under way. Answers what the entry
  // answers when it may not run or the guard stopped it, nothing when it ran.
  template <class F>
  std::optional<ScriptOutcome> entry(F&& work) {
    if (auto refused = enter()) return refused;
    // A teardown at the entry's end must not free the core under the caller.
    std::shared_ptr<Core> self = shared_from_this();
    guard->run(context, std::forward<F>(work));
    return leave();
  }

  // The same for a read of `value` (a conversion, a property): a primitive
  // runs no code and is read as it is, outside any entry.
  template <class F>
  std::optional<ScriptOutcome> read(JSValueRef value, F&& work) {
    if (!JSValueIsObject(context, value)) {
      work();
      return std::nullopt;
    }
    return entry(std::forward<F>(work));
  }

  std::optional<ScriptOutcome> enter();
  std::optional<ScriptOutcome> leave();
  ScriptOutcome stoppedOutcome(engine::StopReason reason) const;
  // Now, or when the outermost entry returns.
  void tearDown();
  // Releases the engine context and its group (the memory the scripts hold).
  void release();
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
  // The script's text is made inside the entry; its UTF-8 copy, the host's,
  // after it.
  JSStringRef text = nullptr;
  const auto stopped = core->read(value, [&text, ctx = core->context, v = value] {
    JSValueRef ignored = nullptr;
    text = JSValueToStringCopy(ctx, v, &ignored);
  });
  JsString owned(text);
  return stopped ? std::string() : toStd(owned.get());
}

double ScriptValue::toNumber() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core) return std::nan("");
  double out = std::nan("");
  const auto stopped = core->read(value, [&out, ctx = core->context, v = value] {
    JSValueRef ignored = nullptr;
    out = JSValueToNumber(ctx, v, &ignored);
  });
  return stopped ? std::nan("") : out;
}

bool ScriptValue::toBoolean() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  return core && JSValueToBoolean(core->context, value);
}

std::optional<Json> ScriptValue::toJson() const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core || JSValueIsUndefined(core->context, value)) return std::nullopt;
  JSStringRef json = nullptr;
  const auto stopped = core->read(value, [&json, ctx = core->context, v = value] {
    JSValueRef exception = nullptr;
    json = JSValueCreateJSONString(ctx, v, 0, &exception);
  });
  JsString owned(json);
  if (stopped || !owned.get()) return std::nullopt;
  auto parsed = parseJson(toStd(owned.get()));
  return parsed ? std::optional<Json>(std::move(parsed.value())) : std::nullopt;
}

ScriptValue ScriptValue::property(const std::string& name) const {
  auto [core, value] = ScriptValueAccess::open(*this);
  if (!core || !JSValueIsObject(core->context, value)) return {};
  JSObjectRef object = JSValueToObject(core->context, value, nullptr);
  JsString n(createJsString(name));
  JSValueRef exception = nullptr;
  JSValueRef member = nullptr;
  const auto stopped = core->entry([&member, &exception, &n, ctx = core->context, object] {
    member = JSObjectGetProperty(ctx, object, n.get(), &exception);
  });
  return stopped || exception ? ScriptValue() : ScriptValueAccess::wrap(core, member);
}

// ---- the entries ----

namespace {

ScriptOutcome failedOutcome(int code, std::string message) {
  ScriptOutcome out;
  out.error = scriptError(code, std::move(message));
  out.description = out.error->message;
  return out;
}

ScriptOutcome tornDownOutcome() {
  return failedOutcome(ScriptErrorCode::ContextTornDown, "the script context was torn down");
}

}  // namespace

std::optional<ScriptOutcome> Core::enter() {
  if (!live()) return tornDownOutcome();
  // Nested entries (a native function's) run under the outermost one's guard;
  // once it stopped the script, none starts.
  if (depth == 0 ? !guard->begin() : guard->isStopped()) return stoppedOutcome(guard->stopReason());
  ++depth;
  return std::nullopt;
}

ScriptOutcome Core::stoppedOutcome(engine::StopReason reason) const {
  switch (reason) {
    case engine::StopReason::TimeLimit:
      return failedOutcome(ScriptErrorCode::ScriptTimeLimit, "the script ran past the time limit of " +
                                                                 std::to_string(static_cast<int64_t>(options.timeLimitMs)) +
                                                                 " ms");
    case engine::StopReason::MemoryLimit:
      return failedOutcome(ScriptErrorCode::ResourceLimit, "the scripts held more than " +
                                                               std::to_string(options.memoryLimitBytes) +
                                                               " bytes of memory");
    default:
      return tornDownOutcome();
  }
}

std::optional<ScriptOutcome> Core::leave() {
  --depth;
  const auto reason = depth == 0 ? guard->end() : guard->stopReason();
  std::optional<ScriptOutcome> out;
  if (reason != engine::StopReason::None) {
    out = stoppedOutcome(reason);
    if (depth == 0) {
      // A run past the time limit stops that entry only, until the stops reach
      // the teardown count; any other stop ends the context.
      if (reason == engine::StopReason::TimeLimit && ++stops < options.stopsBeforeTeardown) {
        guard = std::make_unique<engine::EntryGuard>(group, limitsOf(options));
      } else {
        if (reason == engine::StopReason::TimeLimit) stops = std::max(stops, options.stopsBeforeTeardown);
        tearDownPending = true;
      }
    }
  }
  if (depth == 0 && tearDownPending) {
    tearDownPending = false;
    release();
  }
  return out;
}

void Core::tearDown() {
  if (depth > 0) tearDownPending = true;
  else release();
}

void Core::release() {
  if (context) {
    // Values see the context gone before the engine finalizes anything.
    JSGlobalContextRef released = context;
    context = nullptr;
    JSObjectSetPrivate(JSContextGetGlobalObject(released), nullptr);
    JSGlobalContextRelease(released);
  }
  if (group) {
    JSContextGroupRelease(group);
    group = nullptr;
    engine::countReleased(engine::LiveObject::ScriptContext, generation);
  }
}

// ---- ScriptContext ----

std::shared_ptr<ScriptContext> ScriptContext::create(ScriptContextOptions options) {
  engine::configureEngineOnce();
  if (options.stopsBeforeTeardown < 1) options.stopsBeforeTeardown = 1;
  return std::shared_ptr<ScriptContext>(new ScriptContext(options));
}

ScriptContext::ScriptContext(ScriptContextOptions options)
    : options_(options), core_(std::make_shared<Core>(options)) {
  core_->group = JSContextGroupCreate();
  core_->guard = std::make_unique<engine::EntryGuard>(core_->group, limitsOf(options_));
  core_->context = JSGlobalContextCreateInGroup(core_->group, globalClass());
  JSObjectSetPrivate(JSContextGetGlobalObject(core_->context), core_.get());
}

ScriptContext::~ScriptContext() = default;

int ScriptContext::timeLimitStops() const { return core_->stops; }

bool ScriptContext::isTornDown() const { return !core_->live(); }

void ScriptContext::tearDown() { core_->tearDown(); }

void ScriptContext::collectGarbageForTesting() {
  if (core_->live()) JSGarbageCollect(core_->context);
}

namespace {

// What an entry that ran answers: its value, or the exception it threw (its
// text, description and line read inside the entry, `thrown`).
struct Thrown {
  std::string text;
  std::string description;
  int line = 0;
};

// What the host tells of an exception: read inside the entry that threw it,
// under its guard, since reading it may run the script's own code (a getter
// of its line, a toString) and the promise jobs that code queues.
Thrown describeThrown(JSContextRef ctx, JSValueRef exception) {
  Thrown thrown;
  if (!exception) return thrown;
  thrown.text = toStd(ctx, exception);
  thrown.description = describeException(ctx, exception, &thrown.line);
  return thrown;
}

ScriptOutcome ranOutcome(const std::shared_ptr<Core>& core, JSValueRef value, JSValueRef exception,
                         const Thrown& thrown) {
  ScriptOutcome out;
  if (exception) {
    out.error = scriptError(ScriptErrorCode::JavaScriptException, thrown.text);
    out.description = thrown.description;
    out.line = thrown.line;
  } else {
    out.value = ScriptValueAccess::wrap(core, value);  // undefined once torn down
  }
  return out;
}

}  // namespace

ScriptOutcome ScriptContext::evaluate(std::string_view source, const std::string& sourceURL, int line) {
  if (!core_->live()) return tornDownOutcome();
  JsString text(createJsString(source));
  std::optional<JsString> url;
  if (!sourceURL.empty()) url.emplace(createJsString(sourceURL));
  std::shared_ptr<Core> core = core_;
  JSValueRef exception = nullptr;
  JSValueRef value = nullptr;
  Thrown thrown;
  if (auto stopped = core->entry([&] {
        value = JSEvaluateScript(core->context, text.get(), nullptr, url ? url->get() : nullptr, line, &exception);
        thrown = describeThrown(core->context, exception);
      })) {
    return *stopped;
  }
  return ranOutcome(core, value, exception, thrown);
}

ScriptOutcome ScriptContext::call(const ScriptValue& function, const Arguments& arguments) {
  if (!core_->live()) return tornDownOutcome();
  std::shared_ptr<Core> core = core_;
  JSContextRef ctx = core->context;
  JSValueRef fn = ScriptValueAccess::raw(function, *core);
  if (!fn || !JSValueIsObject(ctx, fn) || !JSObjectIsFunction(ctx, JSValueToObject(ctx, fn, nullptr))) {
    // The value's text may run its own code (a toString): an entry.
    std::string shown = "undefined";
    if (fn) {
      JSStringRef text = nullptr;
      const auto stopped = core->read(fn, [&text, ctx, fn] {
        JSValueRef ignored = nullptr;
        text = JSValueToStringCopy(ctx, fn, &ignored);
      });
      JsString owned(text);
      if (stopped) return *stopped;
      shown = toStd(owned.get());
    }
    return failedOutcome(ScriptErrorCode::JavaScriptException, "TypeError: " + shown + " is not a function");
  }
  std::vector<JSValueRef> argv;
  argv.reserve(arguments.size());
  for (const auto& a : arguments) {
    JSValueRef v = ScriptValueAccess::raw(a, *core);
    argv.push_back(v ? v : JSValueMakeUndefined(ctx));
  }
  JSValueRef exception = nullptr;
  JSValueRef value = nullptr;
  Thrown thrown;
  if (auto stopped = core->entry([&] {
        value = JSObjectCallAsFunction(ctx, JSValueToObject(ctx, fn, nullptr), nullptr, argv.size(), argv.data(),
                                       &exception);
        thrown = describeThrown(ctx, exception);
      })) {
    return *stopped;
  }
  return ranOutcome(core, value, exception, thrown);
}

ScriptOutcome ScriptContext::evaluateOutsideEntriesForTesting(std::string_view source) {
  if (!core_->live()) return tornDownOutcome();
  std::shared_ptr<Core> core = core_;
  JsString text(createJsString(source));
  JSValueRef exception = nullptr;
  JSValueRef value = JSEvaluateScript(core->context, text.get(), nullptr, nullptr, 1, &exception);
  if (exception) return failedOutcome(ScriptErrorCode::JavaScriptException, "the script threw or was ended");
  return ranOutcome(core, value, nullptr, {});
}

ScriptValue ScriptContext::globalObject() {
  if (!core_->live()) return {};
  return ScriptValueAccess::wrap(core_, JSContextGetGlobalObject(core_->context));
}

ScriptValue ScriptContext::global(const std::string& name) { return globalObject().property(name); }

ScriptValue ScriptContext::makeNumber(double number) {
  if (!core_->live()) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeNumber(core_->context, number));
}

ScriptValue ScriptContext::makeBoolean(bool value) {
  if (!core_->live()) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeBoolean(core_->context, value));
}

ScriptValue ScriptContext::makeNull() {
  if (!core_->live()) return {};
  return ScriptValueAccess::wrap(core_, JSValueMakeNull(core_->context));
}

ScriptValue ScriptContext::makeObject() {
  if (!core_->live()) return {};
  return ScriptValueAccess::wrap(core_, JSObjectMake(core_->context, nullptr, nullptr));
}

// The values the host makes for the scripts outside their entries count
// against the memory bound as far as the process grows by them
// (engine::EntryGuard::chargeHostBytes).
ScriptValue ScriptContext::makeJson(const Json& json) {
  if (!core_->live()) return {};
  // Charged as its text: what the host hands scripts as JSON is strings and
  // numbers (a tree of many small objects takes more in the engine).
  const std::string text = dumpJson(json);
  core_->guard->chargeHostBytes(core_->context, engine::hostTextBytes(text.size()));
  JsString s(createJsString(text));
  return ScriptValueAccess::wrap(core_, JSValueMakeFromJSONString(core_->context, s.get()));
}

bool ScriptContext::defineFunction(const ScriptValue& object, const std::string& name, NativeFunction function) {
  if (!core_->live()) return false;
  JSContextRef ctx = core_->context;
  JSValueRef target = ScriptValueAccess::raw(object, *core_);
  if (!target || !JSValueIsObject(ctx, target)) return false;
  JSObjectRef fn = JSObjectMake(ctx, Native::cls(), new NativeFunction(std::move(function)));
  JsString n(createJsString(name));
  JSValueRef exception = nullptr;
  // The object may have a setter of the script's own for that name: an entry.
  std::shared_ptr<Core> core = core_;
  const auto stopped = core->entry([&] {
    JSObjectSetProperty(ctx, JSValueToObject(ctx, target, nullptr), n.get(), fn, kJSPropertyAttributeNone, &exception);
  });
  return !stopped && exception == nullptr;
}

}  // namespace platform
