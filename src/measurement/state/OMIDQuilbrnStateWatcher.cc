#include "measurement/state/OMIDQuilbrnStateWatcher.h"

#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "platform/audio_session.h"
#include "platform/ui/application.h"

using platform::NotificationCenter;

std::shared_ptr<OMIDQuilbrnStateWatcher> OMIDQuilbrnStateWatcher::initWithAdSessionRegistry(
    std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry) {
  return std::shared_ptr<OMIDQuilbrnStateWatcher>(new OMIDQuilbrnStateWatcher(std::move(adSessionRegistry)));
}

void OMIDQuilbrnStateWatcher::setDelegate(std::weak_ptr<OMIDQuilbrnStateWatcherDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<OMIDQuilbrnStateWatcherDelegate> OMIDQuilbrnStateWatcher::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void OMIDQuilbrnStateWatcher::start() {
  observeAppStateNotifications();
  observeDeviceVolume();
}

void OMIDQuilbrnStateWatcher::stop() {
  NotificationCenter::defaultCenter().removeObserver(weak_from_this());
  std::lock_guard lock(mutex_);
  appStateCache_.clear();
}

void OMIDQuilbrnStateWatcher::observe(
    const char* name, std::function<void(OMIDQuilbrnStateWatcher&, const platform::Notification&)> handler) {
  std::weak_ptr<OMIDQuilbrnStateWatcher> weak = weak_from_this();
  NotificationCenter::defaultCenter().addObserver(weak, name, nullptr,
                                                  [weak, handler = std::move(handler)](const platform::Notification& n) {
                                                    if (auto self = weak.lock()) handler(*self, n);
                                                  });
}

void OMIDQuilbrnStateWatcher::observeAppStateNotifications() {
  NotificationCenter::defaultCenter().removeObserver(weak_from_this());
  {
    std::lock_guard lock(mutex_);
    appStateCache_.clear();
  }
  if (OMIDQuilbrnWindowContainer::usesScenes()) {
    observeSceneNotifications();
  } else {
    observeApplicationNotifications();
  }
}

void OMIDQuilbrnStateWatcher::observeApplicationNotifications() {
  const auto application = OMIDQuilbrnWindowContainer::application();
  setAppState(appStateFromApplicationState(platform::Application::shared().applicationState()), application);
  const auto update = [application](OMIDQuilbrnAppState state) {
    return [application, state](OMIDQuilbrnStateWatcher& self, const platform::Notification&) {
      self.updateWithAppState(state, application);
    };
  };
  observe(platform::kUIApplicationDidBecomeActiveNotification,
          update(appStateFromApplicationState(platform::ApplicationState::Active)));
  observe(platform::kUIApplicationWillResignActiveNotification,
          update(appStateFromApplicationState(platform::ApplicationState::Inactive)));
  observe(platform::kUIApplicationDidEnterBackgroundNotification,
          update(appStateFromApplicationState(platform::ApplicationState::Background)));
}

void OMIDQuilbrnStateWatcher::observeSceneNotifications() {
  for (const auto& scene : platform::Application::shared().connectedScenes()) {
    setAppState(appStateFromSceneState(scene->activationState()), OMIDQuilbrnWindowContainer::scene(scene));
  }
  observe(platform::kUISceneWillConnectNotification, [](OMIDQuilbrnStateWatcher& self, const platform::Notification& n) {
    if (auto scene = platform::WindowScene::fromNotification(n)) {
      self.setAppState(appStateFromSceneState(scene->activationState()), OMIDQuilbrnWindowContainer::scene(scene));
    }
  });
  const auto update = [](OMIDQuilbrnAppState state) {
    return [state](OMIDQuilbrnStateWatcher& self, const platform::Notification& n) {
      if (auto scene = platform::WindowScene::fromNotification(n)) {
        self.updateWithAppState(state, OMIDQuilbrnWindowContainer::scene(scene));
      }
    };
  };
  observe(platform::kUISceneDidActivateNotification,
          update(appStateFromSceneState(platform::SceneActivationState::ForegroundActive)));
  observe(platform::kUISceneWillDeactivateNotification,
          update(appStateFromSceneState(platform::SceneActivationState::ForegroundInactive)));
  observe(platform::kUISceneDidEnterBackgroundNotification,
          update(appStateFromSceneState(platform::SceneActivationState::Background)));
  observe(platform::kUISceneDidDisconnectNotification,
          [](OMIDQuilbrnStateWatcher& self, const platform::Notification& n) {
            if (auto scene = platform::WindowScene::fromNotification(n)) self.forgetScene(scene);
          });
}

void OMIDQuilbrnStateWatcher::forgetScene(const std::shared_ptr<platform::WindowScene>& scene) {
  std::lock_guard lock(mutex_);
  appStateCache_.erase(OMIDQuilbrnWindowContainer::scene(scene).key());
}

void OMIDQuilbrnStateWatcher::observeDeviceVolume() {
  observe(platform::kAVAudioSessionOutputVolumeDidChangeNotification,
          [](OMIDQuilbrnStateWatcher& self, const platform::Notification&) {
            if (!self.adSessionRegistry_) return;
            const double volume = platform::AudioSession::shared().outputVolume();
            for (const auto& session : self.adSessionRegistry_->activeAdSessions()) {
              session->statePublisher()->publishDeviceVolume(volume);
            }
          });
}

bool OMIDQuilbrnStateWatcher::appIsActive() const {
  if (!OMIDQuilbrnWindowContainer::usesScenes()) {
    return appStateInContainer(OMIDQuilbrnWindowContainer::application()) == OMIDQuilbrnAppStateForegrounded;
  }
  for (const auto& scene : platform::Application::shared().connectedScenes()) {
    if (appStateInContainer(OMIDQuilbrnWindowContainer::scene(scene)) == OMIDQuilbrnAppStateForegrounded) return true;
  }
  return false;
}

void OMIDQuilbrnStateWatcher::adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  if (!adSession) return;
  const auto container = adSession->windowContainer();
  const OMIDQuilbrnAppState state =
      container ? appStateInContainer(container)
                : appStateFromApplicationState(platform::Application::shared().applicationState());
  adSession->statePublisher()->publishAppState(stringForAppState(state));
}

void OMIDQuilbrnStateWatcher::updateWithAppState(OMIDQuilbrnAppState appState,
                                                 const OMIDQuilbrnWindowContainer& container) {
  {
    std::lock_guard lock(mutex_);
    const auto key = container.key();
    const auto cached = appStateCache_.find(key);
    const OMIDQuilbrnAppState current = cached == appStateCache_.end() ? OMIDQuilbrnAppStateForegrounded : cached->second;
    if (current == appState) return;
    appStateCache_[key] = appState;
  }
  if (adSessionRegistry_) {
    const std::string text = stringForAppState(appState);
    for (const auto& session : adSessionRegistry_->activeAdSessions()) {
      if (session->windowContainer() == container) session->statePublisher()->publishAppState(text);
    }
  }
  const bool active = appIsActive();
  if (auto watcherDelegate = delegate()) {
    if (active) {
      watcherDelegate->appDidBecomeActive();
    } else {
      watcherDelegate->appDidResignActive();
    }
  }
}

OMIDQuilbrnAppState OMIDQuilbrnStateWatcher::appStateInContainer(const OMIDQuilbrnWindowContainer& container) const {
  std::lock_guard lock(mutex_);
  const auto cached = appStateCache_.find(container.key());
  return cached == appStateCache_.end() ? OMIDQuilbrnAppStateForegrounded : cached->second;
}

void OMIDQuilbrnStateWatcher::setAppState(OMIDQuilbrnAppState appState, const OMIDQuilbrnWindowContainer& container) {
  std::lock_guard lock(mutex_);
  appStateCache_[container.key()] = appState;
}

std::string OMIDQuilbrnStateWatcher::stringForAppState(OMIDQuilbrnAppState appState) {
  return appState == OMIDQuilbrnAppStateBackgrounded ? "backgrounded" : "foregrounded";
}

OMIDQuilbrnAppState OMIDQuilbrnStateWatcher::appStateFromApplicationState(platform::ApplicationState state) {
  switch (state) {
    case platform::ApplicationState::Active: return OMIDQuilbrnAppStateForegrounded;
    case platform::ApplicationState::Inactive:
    case platform::ApplicationState::Background: return OMIDQuilbrnAppStateBackgrounded;
  }
  return OMIDQuilbrnAppStateForegrounded;
}

OMIDQuilbrnAppState OMIDQuilbrnStateWatcher::appStateFromSceneState(platform::SceneActivationState state) {
  switch (state) {
    case platform::SceneActivationState::ForegroundActive: return OMIDQuilbrnAppStateForegrounded;
    case platform::SceneActivationState::Unattached:
    case platform::SceneActivationState::ForegroundInactive:
    case platform::SceneActivationState::Background: return OMIDQuilbrnAppStateBackgrounded;
  }
  return OMIDQuilbrnAppStateForegrounded;
}
