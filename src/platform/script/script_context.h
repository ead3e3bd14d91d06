#pragma once
// A script context outside web views: a bare JavaScriptCore context (no
// window, no document, no timers of its own) for scripts the library runs
// itself, over the same engine and under the same rules as a web view's pages
// (platform/script/js_engine.h holds what both share):
//  * sources are evaluated in global scope, sloppy mode: top-level `this` and
//    the `this` of a plain call are the global object;
//  * an exception a script does not catch is contained: the entry answers it
//    as an error (kScriptErrorDomain, JavaScriptException) and goes no further;
//  * each entry into script (evaluate, call) is guarded as a page's is
//    (platform/script/engine.h): it may run for ScriptContextOptions::
//    timeLimitMs of the thread's processor time; a longer one is stopped (the
//    script cannot catch it) and answers ScriptTimeLimit, and after
//    stopsBeforeTeardown such stops the context is torn down. Scripts that
//    make the process hold more than memoryLimitBytes are stopped
//    (ResourceLimit) and the context is torn down at once. A torn-down
//    context has released its engine context; every later entry answers
//    ContextTornDown without running anything.
//  * what the host reads of a value that can run the script's code (an
//    object's text, number or JSON, a property, a setter, the text of a value
//    called that is no function) is an entry too, under the same guard: its
//    stops count as the context's stops and tear it down as any other's.
//
// Threading: a context is not thread-safe. Use it, its values and its native
// functions from one serial queue at a time; the queue's blocks may run on
// different threads (the engine takes its own lock on every entry). The
// context may be destroyed on any thread (never from inside one of its own
// entries), also while values still exist: they then become inert
// (undefined, nothing happens).
//
// Values (ScriptValue) keep their script value alive (protected from the
// collector) for as long as a copy exists, across asynchronous work.
//
// JavaScriptCore stays out of this header.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {

inline constexpr char kScriptErrorDomain[] = "platform.script";

// Codes of errors in kScriptErrorDomain (the same numbers as the web view's
// codes for the same faults).
namespace ScriptErrorCode {
inline constexpr int JavaScriptException = 1;  // the script threw; message: its text
inline constexpr int ScriptTimeLimit = 3;      // the entry ran past the time limit
inline constexpr int ContextTornDown = 4;      // the context was torn down before
inline constexpr int ResourceLimit = 7;        // the scripts held more memory than they may
}  // namespace ScriptErrorCode

// The default limit of one entry into script, the same as a web view page's.
inline constexpr double kDefaultScriptTimeLimitMs = 2000;

struct ScriptContextOptions {
  // Longest run of one entry into script, in milliseconds of the running
  // thread's processor time.
  double timeLimitMs = kDefaultScriptTimeLimitMs;
  // Bound of the memory the scripts make the process hold (as a page's).
  size_t memoryLimitBytes = size_t{512} << 20;
  // Time-limit stops after which the context is torn down (at least 1).
  int stopsBeforeTeardown = 3;
};

class ScriptContext;

// Script contexts whose engine context and group are not released yet (made,
// and neither torn down nor destroyed), in the whole process.
size_t liveScriptContextsForTesting();

// One script value of a context, protected from the collector while a copy
// exists. A default value is undefined and belongs to no context.
class ScriptValue {
 public:
  ScriptValue() = default;

  bool isUndefined() const;  // also for a value whose context is gone
  bool isNull() const;
  bool isBoolean() const;
  bool isNumber() const;
  bool isString() const;
  bool isObject() const;
  bool isFunction() const;

  // Conversions of an object may run its own code (toString, valueOf,
  // toJSON, getters, a Proxy's traps): they are entries into the context
  // (see ScriptContext), or nested in the entry under way. A conversion that
  // throws, that the guard stops (the stop counts as the context's, as for
  // any entry) or that finds the context stopped or torn down answers as
  // for none: "", NaN, none, undefined.
  //
  // The value's toString; "" when that throws or the context is gone.
  std::string toString() const;
  // The value as a number (NaN when it is none).
  double toNumber() const;
  bool toBoolean() const;  // runs no code
  // The value's JSON form; none for undefined, a function, or when the
  // conversion throws.
  std::optional<Json> toJson() const;
  // object[name]; undefined when the value is no object.
  ScriptValue property(const std::string& name) const;

  struct Handle;

 private:
  friend struct ScriptValueAccess;
  explicit ScriptValue(std::shared_ptr<Handle> handle) : handle_(std::move(handle)) {}
  std::shared_ptr<Handle> handle_;
};

// What an entry into script answers: its value, or an error in
// kScriptErrorDomain (for an exception: JavaScriptException with the
// exception's text as message and the line where it was thrown).
struct ScriptOutcome {
  ScriptValue value;
  std::optional<Error> error;
  int line = 0;
  bool ok() const { return !error.has_value(); }
  // "<text> (<url>:<line>)" for an exception, the error's message otherwise,
  // "" when ok.
  std::string description;
};

class ScriptContext {
 public:
  using Arguments = std::vector<ScriptValue>;
  // A native function: called with the script's arguments; its answer is the
  // call's value in script (a default ScriptValue: undefined).
  using NativeFunction = std::function<ScriptValue(const Arguments& arguments)>;

  static std::shared_ptr<ScriptContext> create(ScriptContextOptions options = {});
  ~ScriptContext();
  ScriptContext(const ScriptContext&) = delete;
  ScriptContext& operator=(const ScriptContext&) = delete;

  const ScriptContextOptions& options() const { return options_; }

  // Evaluates `source` (UTF-8; any bytes, NUL included) in global scope.
  // `sourceURL` and `line` name it in exception texts.
  ScriptOutcome evaluate(std::string_view source, const std::string& sourceURL = {}, int line = 1);
  // Calls `function` with the arguments and `this` undefined (the global
  // object in sloppy functions). Calling a value that is no function answers
  // a JavaScriptException ("TypeError: <its text> is not a function"), as the
  // engine would; an object's text is read in an entry, and a text that the
  // guard stops answers that stop instead.
  ScriptOutcome call(const ScriptValue& function, const Arguments& arguments = {});

  // The global object, and globalThis[name].
  ScriptValue globalObject();
  ScriptValue global(const std::string& name);

  // Values of this context.
  ScriptValue makeNumber(double number);
  ScriptValue makeBoolean(bool value);
  ScriptValue makeNull();
  ScriptValue makeObject();
  // A value from JSON (strings, numbers, arrays, objects...). Its text is
  // charged to the memory bound before it is made (engine::EntryGuard::
  // chargeHostBytes): a value the scripts keep stops them at the end of the
  // entry that passes the bound, and the context is torn down.
  ScriptValue makeJson(const Json& json);

  // Sets object[name] to a native function (an entry: the object may have a
  // setter of the script's); false when the value is no object of this
  // context, the context is torn down, or the setter throws or is stopped.
  bool defineFunction(const ScriptValue& object, const std::string& name, NativeFunction function);
  // The same for a function that belongs to `owner`, which it holds weakly:
  // once the owner is gone the function does nothing and answers undefined.
  template <class Owner>
  bool defineFunction(const ScriptValue& object, const std::string& name, std::weak_ptr<Owner> owner,
                      std::function<ScriptValue(Owner& owner, const Arguments& arguments)> function) {
    return defineFunction(object, name,
                          [owner = std::move(owner), function = std::move(function)](const Arguments& arguments) {
                            auto locked = owner.lock();
                            return locked ? function(*locked, arguments) : ScriptValue();
                          });
  }

  // Time-limit stops so far.
  int timeLimitStops() const;
  bool isTornDown() const;
  // Releases the engine context now (inside an entry: when the outermost
  // entry returns). Values become inert; later entries answer
  // ContextTornDown.
  void tearDown();

  // Runs the engine's collector now (values held by ScriptValue survive it).
  void collectGarbageForTesting();
  // Evaluates `source` outside any entry, as script the host runs outside
  // its entries (the guard bounds it by time only, engine.h). Answers its
  // value, or a JavaScriptException (its text unread) when it threw or was
  // ended.
  ScriptOutcome evaluateOutsideEntriesForTesting(std::string_view source);

  struct Core;

 private:
  explicit ScriptContext(ScriptContextOptions options);

  ScriptContextOptions options_;
  std::shared_ptr<Core> core_;  // never null; its engine context goes at the teardown
};

}  // namespace platform
