#include "platform/ui/application.h"

#include <algorithm>

#include "platform/dispatch.h"

namespace platform {

Screen& Screen::main() {
  static Screen& screen = *new Screen();  // lives for the process
  return screen;
}

Rect Screen::bounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bounds_;
}

double Screen::scale() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scale_;
}

void Screen::setBounds(const Rect& bounds) {
  std::lock_guard<std::mutex> lock(mutex_);
  bounds_ = bounds;
}

void Screen::setScale(double scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  scale_ = scale;
}

void Screen::resetForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  bounds_ = Rect::make(0, 0, 390, 844);
  scale_ = 3;
}

void Application::setKeyWindow(const std::shared_ptr<Window>& window) {
  if (window) addWindow(window);
  keyWindow_ = window;
}

void Application::addWindow(const std::shared_ptr<Window>& window) {
  if (!window || std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
  windows_.push_back(window);
}

void Application::removeWindow(const std::shared_ptr<Window>& window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  if (keyWindow_.lock() == window) keyWindow_.reset();
}

void Application::openURL(const std::string& url, std::function<void(bool)> completion) {
  bool answer = true;
  {
    std::lock_guard<std::mutex> lock(openMutex_);
    openRequests_.push_back(OpenURLRequest{url});
    if (openAnswer_) answer = openAnswer_(url);
  }
  if (completion) mainQueue()->async([completion = std::move(completion), answer] { completion(answer); });
}

std::vector<Application::OpenURLRequest> Application::openURLRequests() const {
  std::lock_guard<std::mutex> lock(openMutex_);
  return openRequests_;
}

void Application::setOpenURLAnswer(std::function<bool(const std::string&)> answer) {
  std::lock_guard<std::mutex> lock(openMutex_);
  openAnswer_ = std::move(answer);
}

void Application::resetForTesting() {
  state_.store(ApplicationState::Active);
  windows_.clear();
  keyWindow_.reset();
  std::lock_guard<std::mutex> lock(openMutex_);
  openRequests_.clear();
  openAnswer_ = nullptr;
}

}  // namespace platform
