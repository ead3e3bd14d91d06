#pragma once
// Every ad session and the active (started, unfinished) ones; tells its
// observers (the SDK) when measurement must run: the first session started
// makes it active, the last one finished makes it resign.
//
// Threading: the sessions call it on the main thread. Its lists are guarded
// by one lock, so readers on other threads (a volume change reported off the
// main thread) see a consistent copy; observers and sessions are called
// outside the lock.
#include <memory>
#include <mutex>
#include <vector>

#include "measurement/session/OMIDQuilbrnAdSession.h"

class OMIDQuilbrnAdSessionRegistryStateObserver {
 public:
  virtual ~OMIDQuilbrnAdSessionRegistryStateObserver() = default;
  // The first active session started.
  virtual void adSessionRegistryDidBecomeActive() = 0;
  // The last active session finished.
  virtual void adSessionRegistryDidResignActive() = 0;
  // A session started (after adSessionRegistryDidBecomeActive when it was the
  // first).
  virtual void adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) = 0;
};

class OMIDQuilbrnAdSessionRegistry : public OMIDQuilbrnAdSessionDelegate,
                                     public std::enable_shared_from_this<OMIDQuilbrnAdSessionRegistry> {
 public:
  static std::shared_ptr<OMIDQuilbrnAdSessionRegistry> create();

  // Keeps the session weakly and becomes its delegate.
  void addAdSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession);
  // Out of the active list and the list of all sessions.
  void removeAdSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession);
  // Observers are held weakly, in the order they were added.
  void addStateObserver(const std::weak_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>& observer);

  // The live sessions, in the order they were created.
  std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> adSessions();
  // The started, unfinished sessions, in the order they started.
  std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> activeAdSessions() const;
  std::vector<std::shared_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>> observers() const;
  bool isActive() const;

  // OMIDQuilbrnAdSessionDelegate
  void adSessionDidStart(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) override;
  void adSessionDidFinish(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) override;
  // One view is measured by one session at a time: the first other live
  // session that has it as its main ad view loses it.
  void adSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession,
                 const std::shared_ptr<platform::View>& adView) override;

 private:
  OMIDQuilbrnAdSessionRegistry() = default;

  mutable std::mutex mutex_;
  std::vector<std::weak_ptr<OMIDQuilbrnAdSession>> adSessions_;
  std::vector<std::shared_ptr<OMIDQuilbrnAdSession>> activeAdSessions_;
  std::vector<std::weak_ptr<OMIDQuilbrnAdSessionRegistryStateObserver>> observers_;
};
