#include "platform/ui/application.h"

#include <algorithm>

#include "platform/dispatch.h"
#include "platform/storage.h"
#include "platform/ui/controls.h"
#include "platform/ui/ui_device.h"

namespace platform {

Screen& Screen::main() {
  static Screen& screen = *new Screen();  // lives for the process
  return screen;
}

const Screen& Window::screen() const { return screen_ ? *screen_ : Screen::main(); }

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

ApplicationDelegateOrientations* Application::delegateOrientations() const {
  return dynamic_cast<ApplicationDelegateOrientations*>(delegate_.lock().get());
}

uint64_t Application::supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>&) const {
  if (const uint64_t mask = supportedInterfaceOrientationsFromAppInfo()) return mask;
  return Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad ? InterfaceOrientationMask::All
                                                                           : InterfaceOrientationMask::AllButUpsideDown;
}

uint64_t supportedInterfaceOrientationsFromAppInfo() {
  const auto value = appInfoValue(kUISupportedInterfaceOrientationsKey);
  if (!value || !value->is_array()) return 0;
  uint64_t mask = 0;
  for (const auto& entry : *value) {
    if (!entry.is_string()) continue;
    const auto& name = entry.get_ref<const std::string&>();
    if (name == "UIInterfaceOrientationPortrait") mask |= InterfaceOrientationMask::Portrait;
    else if (name == "UIInterfaceOrientationPortraitUpsideDown") mask |= InterfaceOrientationMask::PortraitUpsideDown;
    else if (name == "UIInterfaceOrientationLandscapeLeft") mask |= InterfaceOrientationMask::LandscapeLeft;
    else if (name == "UIInterfaceOrientationLandscapeRight") mask |= InterfaceOrientationMask::LandscapeRight;
  }
  return mask;
}

void resetUIForTesting() {
  Application::shared().resetForTesting();
  Screen::main().resetForTesting();
  Device::current().resetForTesting();
  Image::resetRegistryForTesting();
  View::resetAnimationsForTesting();
}

// ------------------------------------------------------------------- device

Device& Device::current() {
  static Device& device = *new Device();  // lives for the process
  return device;
}

DeviceOrientation Device::orientation() const {
  return orientation_ ? *orientation_ : deviceFacts().facts().orientation;
}

void Device::setOrientation(DeviceOrientation orientation) {
  const bool changed = orientation != this->orientation();
  orientation_ = orientation;
  if (changed) NotificationCenter::defaultCenter().post(kUIDeviceOrientationDidChangeNotification);
}

UserInterfaceIdiom Device::userInterfaceIdiom() const {
  return deviceFacts().facts().interfaceIdiom;
}

std::string Device::systemVersion() const { return deviceFacts().facts().osVersion; }

bool Device::isSystemVersionAtLeast(const std::string& version) const {
  return compareSystemVersions(systemVersion(), version) >= 0;
}

int compareSystemVersions(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    auto next = [](const std::string& s, size_t& pos) {
      long long n = 0;
      while (pos < s.size() && s[pos] != '.') {
        if (s[pos] >= '0' && s[pos] <= '9' && n < 1'000'000'000) n = n * 10 + (s[pos] - '0');
        ++pos;
      }
      if (pos < s.size()) ++pos;  // the dot
      return n;
    };
    const long long x = next(a, i), y = next(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

void Application::resetForTesting() {
  state_.store(ApplicationState::Active);
  windows_.clear();
  keyWindow_.reset();
  delegate_.reset();
  scenes_.clear();
  supportsMultipleScenesOverride_.reset();
  statusBarOrientationOverride_.reset();
  statusBarHiddenOverride_.reset();
  statusBarOrientation_ = InterfaceOrientation::Portrait;
  workingOutOrientation_ = false;
  resetBackgroundTasks();
  std::lock_guard<std::mutex> lock(openMutex_);
  openRequests_.clear();
  openAnswer_ = nullptr;
}

}  // namespace platform
