#pragma once
// Network reachability: the process-wide monitor, its reachability object and
// the listener interface.
//
// The monitor watches platform::ReachabilitySource. On every change of status
// it tells each registered listener reachabilityChanged() with its one
// reachability object, on the serial queue "com.plovermark.reachability",
// never while holding a lock. Listeners are held weakly: a listener destroyed
// while registered is skipped and dropped, never called.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/dispatch.h"

inline constexpr char kPMEReachabilityQueueLabel[] = "com.plovermark.reachability";

// Reachability of the internet connection. Every query reads the current
// status of the platform's reachability source, so the object always answers
// for "now", also inside a reachabilityChanged() call that reports an older
// change. Thread-safe.
class PMEReachability {
 public:
  PMEReachability() = default;

  // 0 not reachable, 1 cellular, 2 Wi-Fi.
  int currentReachabilityStatus() const;
  // Whether a connection must be established first; never on this platform.
  bool connectionRequired() const;
  // True while the status is other than not reachable.
  bool hasConnectivity() const;
  // "wifi" for 2, "3G" for 1, "notReachable" for 0.
  std::string getDeviceReachabilityType() const;
  // "wifi" on Wi-Fi; on cellular the radio-access-technology name of the
  // device facts ("notReachable" when there is none or it is empty);
  // "notReachable" when not reachable.
  std::string getCellularNetworkType() const;
};

// A reachability listener.
class PMENotifierProtocol {
 public:
  virtual ~PMENotifierProtocol() = default;
  // Called on "com.plovermark.reachability" after each change of status.
  virtual void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) = 0;
};

class PMEReachabilityManager : public std::enable_shared_from_this<PMEReachabilityManager> {
 public:
  // The process-wide monitor, created (and subscribed to the reachability
  // source) on first use. Thread-safe.
  static std::shared_ptr<PMEReachabilityManager> sharedManager();
  // Drops the shared monitor and its listeners and puts the reachability
  // source back to its start status (dropping its listeners); the next
  // sharedManager() builds a new monitor. Notices still queued for the old
  // monitor reach nobody.
  static void resetForTesting();

  ~PMEReachabilityManager();
  PMEReachabilityManager(const PMEReachabilityManager&) = delete;
  PMEReachabilityManager& operator=(const PMEReachabilityManager&) = delete;

  // Registers a listener without owning it. Adding one already registered
  // changes nothing; an expired pointer is ignored.
  void addDelegate(std::weak_ptr<PMENotifierProtocol> delegate);
  // Unregisters a listener. The raw-pointer form serves a listener that
  // unregisters from its destructor; the pointer is only compared, never
  // followed. A notice already under way does not reach a listener removed
  // before its turn.
  void removeDelegate(const std::shared_ptr<PMENotifierProtocol>& delegate);
  void removeDelegate(const PMENotifierProtocol* delegate);

  // The reachability object of the internet connection (always the same one).
  std::shared_ptr<PMEReachability> getReachabilityObject() const;

  // True when the shared monitor's status is other than not reachable and no
  // connection is required.
  static bool checkReachability();

  // Live listeners now registered.
  size_t delegateCountForTesting() const;

 private:
  struct Entry {
    std::weak_ptr<PMENotifierProtocol> listener;
    const void* identity = nullptr;  // compared only
    std::atomic<bool> active{true};
  };

  PMEReachabilityManager();
  void start();
  void onStatusChanged();

  const std::shared_ptr<PMEReachability> reachability_;
  const platform::QueueRef queue_;
  platform::ReachabilityToken token_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Entry>> entries_;
};
