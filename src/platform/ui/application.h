#pragma once
// The application and the main screen, as the headless UI layer sees them.
// Main queue only, except where a method says otherwise.
#include <atomic>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/notifications.h"
#include "platform/ui/orientation.h"
#include "platform/ui/view.h"
#include "platform/ui/window_scene.h"

namespace platform {

class Application;
class ViewController;

// The information dictionary's scene manifest, and its flag saying whether
// the application supports several scenes (a JSON boolean).
inline constexpr const char* kUIApplicationSceneManifestKey = "UIApplicationSceneManifest";
inline constexpr const char* kUIApplicationSupportsMultipleScenesKey = "UIApplicationSupportsMultipleScenes";

// The application's delegate. Its optional calls are small interfaces of
// their own: the application asks whether its delegate implements one with
// dynamic_cast.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
};

// The delegate's optional application:supportedInterfaceOrientationsForWindow:.
class ApplicationDelegateOrientations {
 public:
  virtual ~ApplicationDelegateOrientations() = default;
  virtual uint64_t supportedInterfaceOrientationsForWindow(Application& application,
                                                           const std::shared_ptr<Window>& window) = 0;
};

class Screen {
 public:
  static Screen& main();

  Rect bounds() const;
  double scale() const;
  // Host and test controls.
  void setBounds(const Rect& bounds);
  void setScale(double scale);
  void resetForTesting();

 private:
  mutable std::mutex mutex_;
  Rect bounds_ = Rect::make(0, 0, 390, 844);
  double scale_ = 3;
};

// The application: its life-cycle state, its windows and the opening of URLs
// outside it.
//
// The life-cycle state is changed by the host (or a test) through the helpers
// below, which post the life-cycle notices on the default centre from the
// calling thread (the host calls them on the main thread):
//
//   enterBackground(): WillResignActive (state still Active), state Inactive,
//                      state Background, DidEnterBackground.
//   enterForeground(): WillEnterForeground (state still Background),
//                      state Inactive, state Active, DidBecomeActive.
//   resignActive():    WillResignActive, state Inactive (from Active only).
//   becomeActive():    state Active, DidBecomeActive (from Inactive only).
//
// A helper called in a state it does not apply to does nothing and returns
// false (enterBackground while in the background, for instance).
//
// Windows belong to the main queue; the life-cycle state and the URL requests
// may be read from any thread.
class Application {
 public:
  static Application& shared();

  ApplicationState applicationState() const { return state_.load(); }

  bool enterBackground();
  bool enterForeground();
  bool resignActive();
  bool becomeActive();
  // Posts WillTerminate; the state does not change.
  void terminate();

  // Sets the state without posting anything (the background time budget
  // still starts and stops with the state).
  void setApplicationStateForTesting(ApplicationState state) { setState(state); }

  // Background tasks: work the application asks to finish after it left the
  // foreground. While the application is not in the background the time left
  // is unbounded (kBackgroundTimeUnbounded). Entering the background starts
  // the budget the host set (setBackgroundTimeBudget, 30 s at start); when it
  // runs out, every live task's expiration handler runs on the main queue, in
  // the order the tasks began, and the time left stays 0 until the
  // application comes back to the foreground, which stops the budget. A task
  // begun while no time is left has its handler posted to the main queue at
  // once. A handler runs at most once; the task stays live until ended.
  //
  // Any thread; handlers run on the main queue, never inside these calls.
  using BackgroundTaskIdentifier = uint64_t;
  static constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;
  static constexpr double kBackgroundTimeUnbounded = std::numeric_limits<double>::max();

  // A new task's identifier (never kBackgroundTaskInvalid).
  BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler);
  // Ends a live task (its handler will not run); anything else is ignored.
  void endBackgroundTask(BackgroundTaskIdentifier identifier);
  // Seconds of background time left.
  double backgroundTimeRemaining() const;
  // The budget, in seconds, for the next entry into the background
  // (negative or NaN counts as 0).
  void setBackgroundTimeBudget(double seconds);
  // Tasks begun and not ended.
  size_t backgroundTaskCount() const;
  // Used by the implementation.
  struct BackgroundTasks;

  std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
  void setKeyWindow(const std::shared_ptr<Window>& window);
  // The application's windows, in the order they were added.
  const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
  void addWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const std::shared_ptr<Window>& window);

  // Asks the system to open a URL outside the application. The completion runs
  // on the main queue, later, with the answer the host or a test set
  // (setOpenURLAnswer; YES by default). Every request is recorded.
  void openURL(const std::string& url, std::function<void(bool)> completion);
  struct OpenURLRequest {
    std::string url;
  };
  std::vector<OpenURLRequest> openURLRequests() const;
  void setOpenURLAnswer(std::function<bool(const std::string& url)> answer);

  // The delegate, held weakly (the host owns it).
  std::shared_ptr<ApplicationDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) { delegate_ = std::move(delegate); }
  // The delegate's orientation hook when it implements one, else null.
  ApplicationDelegateOrientations* delegateOrientations() const;

  // ---- Scenes (main queue).
  // Whether the application supports several scenes: the host's answer when
  // it gave one, else the information dictionary's scene manifest flag
  // (false without it).
  bool supportsMultipleScenes() const;
  void setSupportsMultipleScenes(std::optional<bool> supports) { supportsMultipleScenesOverride_ = supports; }
  // The connected scenes, in the order they connected.
  const std::vector<std::shared_ptr<WindowScene>>& connectedScenes() const { return scenes_; }
  // See window_scene.h for the notices. False (nothing posted) for a null
  // scene, one already connected, or (disconnect) one not connected.
  bool connectScene(const std::shared_ptr<WindowScene>& scene);
  bool disconnectScene(const std::shared_ptr<WindowScene>& scene);

  // ---- The status bar (main queue). It follows the key window's view
  // controllers as the platform's does (docs/ui-layer.md):
  //  * hidden: prefersStatusBarHidden of the controller that rules the
  //    status bar's appearance (statusBarAppearanceController); shown without
  //    a key window or root controller;
  //  * orientation: of the controller that rules the interface orientation
  //    (interfaceOrientationController), its supportedInterfaceOrientations
  //    within the application's orientations for the window, the device's
  //    orientation when the mask holds it and the controller autorotates,
  //    else the current orientation when the mask holds it, else the
  //    controller's preferredInterfaceOrientationForPresentation when held,
  //    else the first of portrait, landscape left, landscape right, upside
  //    down that the mask holds. Portrait at start.
  // A value the host sets overrides the controllers until it is cleared.
  InterfaceOrientation statusBarOrientation() const;
  void setStatusBarOrientation(InterfaceOrientation orientation) { statusBarOrientationOverride_ = orientation; }
  void clearStatusBarOrientationOverride() { statusBarOrientationOverride_.reset(); }
  bool isStatusBarHidden() const;
  void setStatusBarHidden(bool hidden) { statusBarHiddenOverride_ = hidden; }
  void clearStatusBarHiddenOverride() { statusBarHiddenOverride_.reset(); }
  // The top-most controller of the key window's presentation chain that
  // covers the full screen (the root controller when none does); for the
  // appearance, also one that captures the status bar's appearance. Null
  // without a key window or root controller.
  std::shared_ptr<ViewController> interfaceOrientationController() const;
  std::shared_ptr<ViewController> statusBarAppearanceController() const;

  // The application's own default orientations for view controllers of a
  // window: the mask of the information dictionary's
  // "UISupportedInterfaceOrientations", else all but upside down on a phone
  // and all on a pad. The delegate's hook is not asked here.
  uint64_t supportedInterfaceOrientationsForWindow(const std::shared_ptr<Window>& window) const;

  // Back to Active with no windows, scenes, requests, answers, delegate,
  // status-bar overrides or background tasks (budget 30 s), the status bar
  // portrait and shown; nothing posted.
  void resetForTesting();

 private:
  Application();
  void setState(ApplicationState state);
  // Starts or stops the background time budget (background_tasks.cc).
  void backgroundStateChanged(ApplicationState from, ApplicationState to);
  void resetBackgroundTasks();
  std::shared_ptr<BackgroundTasks> backgroundTasks_;

  std::atomic<ApplicationState> state_{ApplicationState::Active};
  std::weak_ptr<Window> keyWindow_;
  std::vector<std::shared_ptr<Window>> windows_;
  std::weak_ptr<ApplicationDelegate> delegate_;
  std::vector<std::shared_ptr<WindowScene>> scenes_;
  std::optional<bool> supportsMultipleScenesOverride_;
  std::optional<InterfaceOrientation> statusBarOrientationOverride_;
  std::optional<bool> statusBarHiddenOverride_;
  // The orientation the status bar last took; read while it is worked out
  // again (a controller's preferred orientation defaults to it).
  mutable InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
  mutable bool workingOutOrientation_ = false;
  mutable std::mutex openMutex_;
  std::vector<OpenURLRequest> openRequests_;
  std::function<bool(const std::string&)> openAnswer_;
};

// Puts the UI layer's process-wide state back as at start: the application
// (resetForTesting), the main screen, the device's orientation, the image
// registry and the recorded animations.
void resetUIForTesting();

}  // namespace platform
