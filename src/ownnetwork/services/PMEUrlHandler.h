#pragma once
// Opens URLs outside the application. Main queue only.
#include <functional>
#include <optional>
#include <string>

class PMEUrlHandler {
 public:
  // Asks the application to open `url` (platform::Application::openURL, which
  // answers later on the main queue) and passes its answer on. An absent
  // string calls the completion with false at once.
  static void openURL(const std::optional<std::string>& url, std::function<void(bool)> completion);
};
