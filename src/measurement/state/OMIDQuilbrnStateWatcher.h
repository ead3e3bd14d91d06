#pragma once
// Follows whether the application (or each window scene) is in the
// foreground, tells the sessions of a container "setState" when that
// changes, tells its delegate (the SDK) to run or pause the tree walker, and
// forwards every change of the device's output volume to the active sessions.
//
// Threading: the notices are handled on the thread that posts them (the
// application's and the scenes' notices come on the main thread; a volume
// change on the thread that reports it). The state cache is guarded by one
// lock; sessions and the delegate are called outside it.
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "measurement/state/OMIDQuilbrnObjectKey.h"
#include "measurement/state/OMIDQuilbrnWindowContainer.h"
#include "platform/notifications.h"
#include "platform/ui/window_scene.h"

class OMIDQuilbrnAdSession;
class OMIDQuilbrnAdSessionRegistry;

// 0 foregrounded, 1 backgrounded.
using OMIDQuilbrnAppState = unsigned;
inline constexpr OMIDQuilbrnAppState OMIDQuilbrnAppStateForegrounded = 0;
inline constexpr OMIDQuilbrnAppState OMIDQuilbrnAppStateBackgrounded = 1;

class OMIDQuilbrnStateWatcherDelegate {
 public:
  virtual ~OMIDQuilbrnStateWatcherDelegate() = default;
  virtual void appDidBecomeActive() = 0;
  virtual void appDidResignActive() = 0;
};

class OMIDQuilbrnStateWatcher : public std::enable_shared_from_this<OMIDQuilbrnStateWatcher> {
 public:
  static std::shared_ptr<OMIDQuilbrnStateWatcher> initWithAdSessionRegistry(
      std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry);

  // Held weakly.
  void setDelegate(std::weak_ptr<OMIDQuilbrnStateWatcherDelegate> delegate);
  std::shared_ptr<OMIDQuilbrnStateWatcherDelegate> delegate() const;

  // Caches the current state of the application, or of every connected scene
  // (OMIDQuilbrnWindowContainer::usesScenes), and observes their notices and
  // the volume's.
  void start();
  // Ends every observation and forgets the states.
  void stop();

  // The application counts as active: its cached state is foregrounded; with
  // scenes, any connected scene's is (none connected: not active).
  bool appIsActive() const;
  // Tells the session its container's state (the application's current state
  // when it has no container).
  void adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession);

  // A new state for the container: when it differs from the cached one, it is
  // kept, sent ("setState") to the active sessions of that container, and the
  // delegate hears whether the application still counts as active.
  void updateWithAppState(OMIDQuilbrnAppState appState, const OMIDQuilbrnWindowContainer& container);
  // The cached state; a container not cached reads foregrounded.
  OMIDQuilbrnAppState appStateInContainer(const OMIDQuilbrnWindowContainer& container) const;
  void setAppState(OMIDQuilbrnAppState appState, const OMIDQuilbrnWindowContainer& container);

  // "backgrounded" for 1, "foregrounded" for anything else.
  static std::string stringForAppState(OMIDQuilbrnAppState appState);
  // Active: foregrounded; inactive and background: backgrounded.
  static OMIDQuilbrnAppState appStateFromApplicationState(platform::ApplicationState state);
  // Foreground active: foregrounded; unattached, foreground inactive and
  // background: backgrounded; any other value: foregrounded.
  static OMIDQuilbrnAppState appStateFromSceneState(platform::SceneActivationState state);

 private:
  explicit OMIDQuilbrnStateWatcher(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry)
      : adSessionRegistry_(std::move(adSessionRegistry)) {}
  void observeAppStateNotifications();
  void observeApplicationNotifications();
  void observeSceneNotifications();
  void observeDeviceVolume();
  void observe(const char* name, std::function<void(OMIDQuilbrnStateWatcher&, const platform::Notification&)> handler);
  void forgetScene(const std::shared_ptr<platform::WindowScene>& scene);

  std::weak_ptr<OMIDQuilbrnStateWatcherDelegate> delegate_;
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry_;
  mutable std::mutex mutex_;  // guards delegate_ and appStateCache_
  std::unordered_map<OMIDQuilbrnObjectKey, OMIDQuilbrnAppState, OMIDQuilbrnObjectKey::Hash> appStateCache_;
};
