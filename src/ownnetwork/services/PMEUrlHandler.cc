#include "ownnetwork/services/PMEUrlHandler.h"

#include "platform/ui/application.h"

void PMEUrlHandler::openURL(const std::optional<std::string>& url, std::function<void(bool)> completion) {
  if (!url) {
    if (completion) completion(false);
    return;
  }
  platform::Application::shared().openURL(*url, std::move(completion));
}
