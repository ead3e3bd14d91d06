#pragma once
// Session depth per ad unit: how many ads of the ad unit have been shown in
// this session, plus one (so it starts at 1). Kept in memory for the process
// and mirrored into the global data store ("adunit_data" -> <ad unit> ->
// "sd") for the auction and token views.
//
// Thread-safe; answers on the calling thread.
#include <mutex>
#include <string>
#include <unordered_map>

#include "foundation/QBGlobalDataManager.h"
#include "quillborne/QBAdUnit.h"

// Writes an ad unit's session depth into the global data store, keeping the
// ad unit's other "adunit_data" entries.
class QBSessionDepthGlobalDataWriter {
 public:
  void setSessionDepth(const QBAdUnit& adUnit, int sessionDepth);

 private:
  QBGlobalDataWriter writer_;
};

class QBSessionDepthManager {
 public:
  static QBSessionDepthManager& sharedManager();
  // Forgets every counter (the next read starts at 1 again).
  void resetForTesting();

  // The ad unit's session depth (1 before its first show).
  int getSessionDepth(const QBAdUnit& adUnit);
  // Adds 1 to the ad unit's session depth.
  void increaseSessionDepth(const QBAdUnit& adUnit);

 private:
  QBSessionDepthManager() = default;
  // With mutex_ held: the counter, created at 1 (and published) on first use.
  int& counterLocked(const QBAdUnit& adUnit);

  std::mutex mutex_;
  std::unordered_map<std::string, int> depths_;
  QBSessionDepthGlobalDataWriter writer_;
};
