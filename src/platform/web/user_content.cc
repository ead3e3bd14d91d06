// The configuration objects of the web view: preferences and the script
// message handlers by name. Both are read from the web-content queue while
// the main queue may change them, so each keeps its own lock.
#include "platform/web/web_view.h"

namespace platform {

void Preferences::setValue(const std::string& key, bool value) {
  std::lock_guard lock(m_);
  values_[key] = value;
}

std::optional<bool> Preferences::value(const std::string& key) const {
  std::lock_guard lock(m_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool UserContentController::addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler,
                                                    const std::string& name) {
  std::lock_guard lock(m_);
  if (!handler || name.empty() || handlers_.count(name)) return false;
  handlers_[name] = std::move(handler);
  ++version_;
  return true;
}

void UserContentController::removeScriptMessageHandler(const std::string& name) {
  std::shared_ptr<ScriptMessageHandler> removed;  // released outside the lock
  std::lock_guard lock(m_);
  auto it = handlers_.find(name);
  if (it == handlers_.end()) return;
  removed = std::move(it->second);
  handlers_.erase(it);
  ++version_;
}

void UserContentController::removeAllScriptMessageHandlers() {
  std::map<std::string, std::shared_ptr<ScriptMessageHandler>> removed;  // released outside the lock
  std::lock_guard lock(m_);
  removed.swap(handlers_);
  ++version_;
}

std::shared_ptr<ScriptMessageHandler> UserContentController::handler(const std::string& name) const {
  std::lock_guard lock(m_);
  auto it = handlers_.find(name);
  return it == handlers_.end() ? nullptr : it->second;
}

std::vector<std::string> UserContentController::handlerNames() const {
  std::lock_guard lock(m_);
  std::vector<std::string> names;
  for (const auto& [name, handler] : handlers_) names.push_back(name);
  return names;
}

uint64_t UserContentController::version() const {
  std::lock_guard lock(m_);
  return version_;
}

}  // namespace platform
