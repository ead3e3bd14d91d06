#pragma once
// Run-time class lookup by name, and the guard that keeps exceptions thrown by
// outside code (adapters, third-party SDKs) from crossing into the library.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace platform {

// Readable name of a type: "std::runtime_error", "platform::Queue".
std::string demangledTypeName(const std::type_info& type);

// Dynamic type name of an object (for logs); "(null)" for an empty pointer.
template <class T>
std::string className(const T& obj) {
  return demangledTypeName(typeid(obj));
}
template <class T>
std::string className(const std::shared_ptr<T>& obj) {
  return obj ? demangledTypeName(typeid(*obj)) : std::string("(null)");
}

// Process-wide registry of classes by name, filled by explicit registration
// calls at start-up (never by static initialisers, which the linker may drop
// from a static library). The system's own classes are there from its first
// use. A name may be registered once per base type, so one
// class can be created through each interface it offers. Thread-safe;
// factories run outside the registry's lock.
//
//   ClassRegistry::shared().registerClass<Adapter>("QBTulvoAdapter",
//       [] { return std::make_shared<TulvoAdapter>(); });
//   std::shared_ptr<Adapter> a = ClassRegistry::shared().create<Adapter>("QBTulvoAdapter");
class ClassRegistry {
 public:
  static ClassRegistry& shared();

  // Registers (or replaces) the factory that creates `name` as a Base.
  template <class Base, class Factory>
  void registerClass(const std::string& name, Factory&& factory) {
    static_assert(std::is_convertible_v<std::invoke_result_t<Factory&>, std::shared_ptr<Base>>,
                  "the factory must return a shared_ptr convertible to shared_ptr<Base>");
    ErasedFactory erased = [f = std::forward<Factory>(factory)]() mutable -> std::shared_ptr<void> {
      return std::static_pointer_cast<void>(std::shared_ptr<Base>(f()));
    };
    add(name, std::type_index(typeid(Base)), std::move(erased));
  }

  // A new instance of `name` as a Base; nullptr when the name is unknown, was
  // not registered for this Base, or the factory returned nullptr. Exceptions
  // the factory throws propagate (wrap the call in guard() for outside code).
  template <class Base>
  std::shared_ptr<Base> create(const std::string& name) const {
    auto factory = find(name, std::type_index(typeid(Base)));
    if (!factory) return nullptr;
    return std::static_pointer_cast<Base>(factory());
  }

  // Whether `name` is registered (for any base).
  bool classExists(const std::string& name) const;
  // Registered names, sorted, each once.
  std::vector<std::string> registeredNames() const;
  // Removes every registration of `name`; false when there was none.
  bool unregisterClass(const std::string& name);

  // Back to what the registry holds at start-up: the system's classes
  // ("SKAdImpression", "SKAdNetwork", "SKOverlay"; see
  // platform/storekit/ad_impression.h) and nothing else.
  void resetForTesting();

 private:
  using ErasedFactory = std::function<std::shared_ptr<void>()>;
  void add(const std::string& name, std::type_index base, ErasedFactory factory);
  ErasedFactory find(const std::string& name, std::type_index base) const;

  mutable std::mutex m_;
  std::map<std::string, std::map<std::type_index, ErasedFactory>> classes_;
};

// An exception stopped by guard(): its type name and its message.
struct CaughtException {
  std::string name;    // demangled dynamic type, or "unknown exception"
  std::string reason;  // what(), or "" when the thrown object is not a std::exception

  // "name: reason", or the name alone when there is no reason.
  std::string description() const;
  bool operator==(const CaughtException&) const = default;
};

// Error domain of the errors guardValue() returns (code kCaughtExceptionCode,
// message CaughtException::description()).
inline constexpr const char* kCaughtExceptionDomain = "platform.exception";
inline constexpr int kCaughtExceptionCode = -1;

// Runs fn on the calling thread and stops anything it throws. Returns the
// caught exception, or none when fn returned normally (an empty std::function
// is not called).
std::optional<CaughtException> guard(const std::function<void()>& fn);

// Runs call(context) as guard() runs a function.
std::optional<CaughtException> guardCall(void (*call)(void*), void* context);

// guard() for any other callable: run where it is, without the copy (and,
// for a lambda of several captures, the allocation) a std::function makes.
template <class F>
  requires(std::is_invocable_v<F&> && !std::is_same_v<std::remove_cvref_t<F>, std::function<void()>>)
std::optional<CaughtException> guard(F&& fn) {
  using Fn = std::remove_reference_t<F>;
  return guardCall([](void* f) { (*static_cast<Fn*>(f))(); },
                   const_cast<void*>(static_cast<const void*>(std::addressof(fn))));
}

// Runs fn and returns its value, or an error describing what it threw.
// guardValue<T>(fn) names the value type; guardValue(fn) deduces it. A fn
// returning void gives a Status.
template <class T = void, class F>
auto guardValue(F&& fn) {
  using R = std::conditional_t<std::is_void_v<T>, std::invoke_result_t<F&>, T>;
  using Out = std::conditional_t<std::is_void_v<R>, Status, Result<R>>;
  std::optional<Out> out;
  auto caught = guard([&] {
    if constexpr (std::is_void_v<R>) {
      fn();
      out.emplace(Ok{});
    } else {
      out.emplace(R(fn()));
    }
  });
  if (caught) return Out(Error{kCaughtExceptionDomain, kCaughtExceptionCode, caught->description()});
  return std::move(*out);
}

}  // namespace platform
