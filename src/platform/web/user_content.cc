// The configuration objects of the web view: preferences and the script
// message handlers by name.
#include "platform/web/web_view.h"

namespace platform {

std::optional<bool> Preferences::value(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool UserContentController::addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler,
                                                    const std::string& name) {
  if (!handler || name.empty() || handlers_.count(name)) return false;
  handlers_[name] = std::move(handler);
  ++version_;
  return true;
}

void UserContentController::removeScriptMessageHandler(const std::string& name) {
  if (handlers_.erase(name)) ++version_;
}

std::shared_ptr<ScriptMessageHandler> UserContentController::handler(const std::string& name) const {
  auto it = handlers_.find(name);
  return it == handlers_.end() ? nullptr : it->second;
}

std::vector<std::string> UserContentController::handlerNames() const {
  std::vector<std::string> names;
  for (const auto& [name, handler] : handlers_) names.push_back(name);
  return names;
}

// ---------------------------------------------------------------------------

}  // namespace platform
