#pragma once
// The entry of the measurement SDK (one per process): its version, its
// activation, the application facts it gives the measurement scripts, and the
// switch that runs the measurement machinery (state watcher, tree walker)
// while at least one ad session is active.
//
// Life: not activated -> activated (the first activate; never undone) ->
// started while the registry has an active session, stopped otherwise.
// While started, the application resigning active pauses the tree walker and
// becoming active starts it again and records the activity.
//
// Threading: activate and isActive are safe from any thread; everything else
// runs on the main thread (the registry and the state watcher call it there).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "measurement/state/OMIDQuilbrnStateWatcher.h"
#include "platform/json.h"

class OMIDQuilbrnActivityMonitor;
class OMIDQuilbrnClockProtocol;
class OMIDQuilbrnStatePublisher;
class OMIDQuilbrnTreeWalkerP;

// The measurement partner's name and version, as the own network reports them
// beside the version string.
inline constexpr char kOMIDQuilbrnPartnerName[] = "Quilbrn";
inline constexpr char kOMIDQuilbrnPartnerVersion[] = "7";

class OMIDQuilbrnSDK : public OMIDQuilbrnAdSessionRegistryStateObserver,
                       public OMIDQuilbrnStateWatcherDelegate,
                       public std::enable_shared_from_this<OMIDQuilbrnSDK> {
 public:
  // "1.4.2-Quilbrn": the library version, a hyphen and the partner name. The
  // same text on every call.
  static const std::string& versionString();

  // The one SDK object, made on first use; it lives for the process.
  static const std::shared_ptr<OMIDQuilbrnSDK>& sharedInstance();

  // Activates the SDK; always true. The first call also makes the SDK the
  // registry's observer and starts the activity monitor. Safe from any thread.
  bool activate();
  bool isActive() const { return active_.load(); }

  // {"appId": the main bundle's identifier, "libraryVersion": versionString()}.
  platform::Json appInfo() const;

  // The activity monitor's updateActivity.
  void updateLastActivity();
  // Becomes the state watcher's delegate and starts it; starts the tree
  // walker when the application is active.
  void start();
  // Stops the state watcher (no longer its delegate) and the tree walker.
  void stop();

  // OMIDQuilbrnAdSessionRegistryStateObserver: start, stop, and the state
  // watcher tells a started session its container's state.
  void adSessionRegistryDidBecomeActive() override { start(); }
  void adSessionRegistryDidResignActive() override { stop(); }
  void adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) override;
  // OMIDQuilbrnStateWatcherDelegate: the tree walker runs while the
  // application is active; an activation is an activity.
  void appDidBecomeActive() override;
  void appDidResignActive() override;

  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry() const;
  std::shared_ptr<OMIDQuilbrnStateWatcher> stateWatcher() const;
  std::shared_ptr<OMIDQuilbrnTreeWalkerP> treeWalker() const;
  std::shared_ptr<OMIDQuilbrnActivityMonitor> activityMonitor() const;
  std::shared_ptr<OMIDQuilbrnClockProtocol> clock() const;

  // Back to not activated, with a new registry, state watcher, state
  // publisher, tree walker (OMIDQuilbrnTreeWalkerP::create), clock and
  // activity monitor; the old ones are stopped first.
  void resetForTesting();

 private:
  OMIDQuilbrnSDK();
  void makeMembers();

  std::atomic<bool> active_{false};
  mutable std::mutex mutex_;  // guards the members and activated_
  bool activated_ = false;    // the one-time part of activate ran
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry_;
  std::shared_ptr<OMIDQuilbrnStateWatcher> stateWatcher_;
  std::shared_ptr<OMIDQuilbrnTreeWalkerP> treeWalker_;
  std::shared_ptr<OMIDQuilbrnClockProtocol> clock_;
  std::shared_ptr<OMIDQuilbrnActivityMonitor> activityMonitor_;
};
