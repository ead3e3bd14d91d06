#include "platform/runtime.h"

#include "platform/storekit/ad_impression.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>

namespace platform {

std::string demangledTypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  if (status != 0 || !demangled) return type.name();
  std::string out(demangled);
  std::free(demangled);
  return out;
}

// --------------------------------------------------------------- ClassRegistry

ClassRegistry& ClassRegistry::shared() {
  static ClassRegistry* registry = [] {
    auto* made = new ClassRegistry();
    registerStoreKitClasses(*made);
    return made;
  }();
  return *registry;
}

void ClassRegistry::add(const std::string& name, std::type_index base, ErasedFactory factory) {
  ErasedFactory replaced;
  std::lock_guard lock(m_);
  auto& slot = classes_[name][base];
  replaced = std::move(slot);  // destroyed after the lock is released
  slot = std::move(factory);
}

ClassRegistry::ErasedFactory ClassRegistry::find(const std::string& name,
                                                 std::type_index base) const {
  std::lock_guard lock(m_);
  auto byName = classes_.find(name);
  if (byName == classes_.end()) return nullptr;
  auto byBase = byName->second.find(base);
  return byBase == byName->second.end() ? nullptr : byBase->second;
}

bool ClassRegistry::classExists(const std::string& name) const {
  std::lock_guard lock(m_);
  return classes_.count(name) != 0;
}

std::vector<std::string> ClassRegistry::registeredNames() const {
  std::lock_guard lock(m_);
  std::vector<std::string> names;
  names.reserve(classes_.size());
  for (const auto& entry : classes_) names.push_back(entry.first);
  return names;
}

bool ClassRegistry::unregisterClass(const std::string& name) {
  std::map<std::type_index, ErasedFactory> removed;
  std::lock_guard lock(m_);
  auto it = classes_.find(name);
  if (it == classes_.end()) return false;
  removed = std::move(it->second);
  classes_.erase(it);
  return true;
}

void ClassRegistry::resetForTesting() {
  std::map<std::string, std::map<std::type_index, ErasedFactory>> removed;
  {
    std::lock_guard lock(m_);
    removed.swap(classes_);
  }
  registerStoreKitClasses(*this);
}

// ----------------------------------------------------------------------- guard

std::string CaughtException::description() const {
  return reason.empty() ? name : name + ": " + reason;
}

std::optional<CaughtException> guard(const std::function<void()>& fn) {
  if (!fn) return std::nullopt;
  return guardCall([](void* f) { (*static_cast<const std::function<void()>*>(f))(); },
                   const_cast<void*>(static_cast<const void*>(&fn)));
}

std::optional<CaughtException> guardCall(void (*call)(void*), void* context) {
  try {
    call(context);
    return std::nullopt;
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must keep unwinding
  } catch (const std::exception& e) {
    return CaughtException{demangledTypeName(typeid(e)), e.what()};
  } catch (...) {
    return CaughtException{"unknown exception", ""};
  }
}

}  // namespace platform
