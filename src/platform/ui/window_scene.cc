#include "platform/ui/window_scene.h"

#include <algorithm>
#include <atomic>

#include "platform/json.h"
#include "platform/storage.h"
#include "platform/ui/application.h"

namespace platform {

const char* sceneActivationStateName(SceneActivationState state) {
  switch (state) {
    case SceneActivationState::Unattached:
      return "UISceneActivationStateUnattached";
    case SceneActivationState::ForegroundActive:
      return "UISceneActivationStateForegroundActive";
    case SceneActivationState::ForegroundInactive:
      return "UISceneActivationStateForegroundInactive";
    case SceneActivationState::Background:
      return "UISceneActivationStateBackground";
  }
  return "UISceneActivationStateUnknown";
}

std::shared_ptr<WindowScene> WindowScene::create(std::string identifier) {
  static std::atomic<int> next{1};
  if (identifier.empty()) identifier = "scene-" + std::to_string(next.fetch_add(1));
  return std::shared_ptr<WindowScene>(new WindowScene(std::move(identifier)));
}

bool WindowScene::isConnected() const {
  const auto scenes = Application::shared().connectedScenes();
  return std::any_of(scenes.begin(), scenes.end(), [this](const auto& s) { return s.get() == this; });
}

std::vector<std::shared_ptr<Window>> WindowScene::windows() const {
  std::vector<std::shared_ptr<Window>> out;
  for (const auto& weak : windows_) {
    if (auto window = weak.lock()) out.push_back(std::move(window));
  }
  return out;
}

std::shared_ptr<Window> WindowScene::keyWindow() const {
  auto key = Application::shared().keyWindow();
  return key && key->windowScene().get() == this ? key : nullptr;
}

void WindowScene::post(const char* name) {
  NotificationCenter::defaultCenter().postWithObject(name, shared_from_this());
}

bool WindowScene::activate() {
  if (state_ != SceneActivationState::ForegroundInactive) return false;
  state_ = SceneActivationState::ForegroundActive;
  post(kUISceneDidActivateNotification);
  return true;
}

bool WindowScene::deactivate() {
  if (state_ != SceneActivationState::ForegroundActive) return false;
  post(kUISceneWillDeactivateNotification);
  state_ = SceneActivationState::ForegroundInactive;
  return true;
}

bool WindowScene::enterBackground() {
  if (state_ != SceneActivationState::ForegroundActive && state_ != SceneActivationState::ForegroundInactive) {
    return false;
  }
  deactivate();
  state_ = SceneActivationState::Background;
  post(kUISceneDidEnterBackgroundNotification);
  return true;
}

bool WindowScene::enterForeground() {
  if (state_ != SceneActivationState::Background) return false;
  post(kUISceneWillEnterForegroundNotification);
  state_ = SceneActivationState::ForegroundInactive;
  return true;
}

std::shared_ptr<WindowScene> WindowScene::fromNotification(const Notification& notification) {
  const auto* scene = std::any_cast<std::shared_ptr<WindowScene>>(&notification.object());
  if (!scene) return nullptr;
  for (const char* name : {kUISceneWillConnectNotification, kUISceneDidDisconnectNotification,
                           kUISceneDidActivateNotification, kUISceneWillDeactivateNotification,
                           kUISceneWillEnterForegroundNotification, kUISceneDidEnterBackgroundNotification}) {
    if (notification.name() == name) return *scene;
  }
  return nullptr;
}

void WindowScene::addWindow(const std::shared_ptr<Window>& window) {
  removeWindow(window.get());
  windows_.push_back(window);
}

void WindowScene::removeWindow(const Window* window) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                [window](const std::weak_ptr<Window>& w) {
                                  auto held = w.lock();
                                  return !held || held.get() == window;
                                }),
                 windows_.end());
}

void Window::setWindowScene(const std::shared_ptr<WindowScene>& scene) {
  auto old = windowScene_.lock();
  if (old == scene) return;
  if (old) old->removeWindow(this);
  windowScene_ = scene;
  if (scene) scene->addWindow(std::static_pointer_cast<Window>(shared_from_this()));
}

// ------------------------------------------------------------ the application

bool Application::supportsMultipleScenes() const {
  if (supportsMultipleScenesOverride_) return *supportsMultipleScenesOverride_;
  const auto manifest = appInfoValue(kUIApplicationSceneManifestKey);
  if (!manifest || !manifest->is_object()) return false;
  const auto it = manifest->find(kUIApplicationSupportsMultipleScenesKey);
  return it != manifest->end() && it->is_boolean() && it->get<bool>();
}

bool Application::connectScene(const std::shared_ptr<WindowScene>& scene) {
  if (!scene || std::find(scenes_.begin(), scenes_.end(), scene) != scenes_.end()) return false;
  scenes_.push_back(scene);
  scene->state_ = SceneActivationState::Unattached;
  scene->post(kUISceneWillConnectNotification);
  scene->state_ = SceneActivationState::ForegroundInactive;
  return true;
}

bool Application::disconnectScene(const std::shared_ptr<WindowScene>& scene) {
  const auto it = std::find(scenes_.begin(), scenes_.end(), scene);
  if (!scene || it == scenes_.end()) return false;
  scenes_.erase(it);
  scene->state_ = SceneActivationState::Unattached;
  for (const auto& window : scene->windows()) window->setWindowScene(nullptr);
  scene->post(kUISceneDidDisconnectNotification);
  return true;
}

}  // namespace platform
