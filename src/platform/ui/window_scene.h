#pragma once
// Window scenes of the headless UI layer: one instance of the application's
// interface, with its activation state and its windows. The application keeps
// the connected scenes; a window belongs to at most one scene.
//
// The host (or a test) drives a scene's life the way the system does, through
// the helpers below. Each posts its notice on the default centre from the
// calling thread, with the scene as the notice's object (fromNotification
// reads it back):
//
//   Application::connectScene:     WillConnect (state still Unattached), then
//                                  ForegroundInactive.
//   activate():                    ForegroundActive, DidActivate (from
//                                  ForegroundInactive only).
//   deactivate():                  WillDeactivate, ForegroundInactive (from
//                                  ForegroundActive only).
//   enterBackground():             deactivate() when active, Background,
//                                  DidEnterBackground (from the foreground).
//   enterForeground():             WillEnterForeground, ForegroundInactive
//                                  (from Background only).
//   Application::disconnectScene:  Unattached, its windows leave it,
//                                  DidDisconnect.
//
// A helper called in a state it does not apply to does nothing and returns
// false. Main queue only, like windows.
#include <memory>
#include <string>
#include <vector>

#include "platform/notifications.h"

namespace platform {

class Window;

// UISceneActivationState, with the platform's values.
enum class SceneActivationState : int {
  Unattached = -1,
  ForegroundActive = 0,
  ForegroundInactive = 1,
  Background = 2,
};
const char* sceneActivationStateName(SceneActivationState state);

inline constexpr const char* kUISceneWillConnectNotification = "UISceneWillConnectNotification";
inline constexpr const char* kUISceneDidDisconnectNotification = "UISceneDidDisconnectNotification";
inline constexpr const char* kUISceneDidActivateNotification = "UISceneDidActivateNotification";
inline constexpr const char* kUISceneWillDeactivateNotification = "UISceneWillDeactivateNotification";
inline constexpr const char* kUISceneWillEnterForegroundNotification = "UISceneWillEnterForegroundNotification";
inline constexpr const char* kUISceneDidEnterBackgroundNotification = "UISceneDidEnterBackgroundNotification";

class WindowScene : public std::enable_shared_from_this<WindowScene> {
 public:
  // `identifier` names the scene's session; "" gives "scene-<n>".
  static std::shared_ptr<WindowScene> create(std::string identifier = "");

  const std::string& identifier() const { return identifier_; }
  SceneActivationState activationState() const { return state_; }
  // Whether the application lists it among its connected scenes.
  bool isConnected() const;

  // The windows that belong to it, in the order they joined (held weakly).
  std::vector<std::shared_ptr<Window>> windows() const;
  // The application's key window when it belongs to this scene, else null.
  std::shared_ptr<Window> keyWindow() const;

  bool activate();
  bool deactivate();
  bool enterBackground();
  bool enterForeground();

  // The scene a scene notice is about; null for any other notice.
  static std::shared_ptr<WindowScene> fromNotification(const Notification& notification);

  // Sets the state without posting anything.
  void setActivationStateForTesting(SceneActivationState state) { state_ = state; }

 private:
  friend class Application;
  friend class Window;
  explicit WindowScene(std::string identifier) : identifier_(std::move(identifier)) {}
  void post(const char* name);
  void addWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const Window* window);

  std::string identifier_;
  SceneActivationState state_ = SceneActivationState::Unattached;
  std::vector<std::weak_ptr<Window>> windows_;
};

}  // namespace platform
