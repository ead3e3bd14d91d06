#pragma once
// Per-instance performance history sent with every auction request: for each
// instance name, the codes of its last waterfalls, oldest first (0 entered the
// waterfall, 1 failed to load, 2 loaded, 3 failed to show, 4 opened).
//
// Thread-safe: the ad-unit manager stores into it while the auction client
// reads it on its own queue. Every call answers on the calling thread.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/json.h"

class QBAuctionInstanceParts;

class QBAuctionHistory {
 public:
  // An empty history for each name, in the given order, keeping at most
  // `historyLimit` codes per instance (a limit below 0 counts as 0, which
  // keeps nothing).
  static std::shared_ptr<QBAuctionHistory> initWithWaterfall(std::vector<std::string> names, int64_t historyLimit);

  // Appends each instance's code to its list (a name not seen before gets a
  // list of its own, after the others) and drops the oldest codes beyond the
  // limit.
  void storeWaterfallPerformance(const std::map<std::string, int>& performance);

  // The codes of one instance, oldest first; empty for an unknown name.
  std::vector<int> historyForInstance(const std::string& name) const;
  int64_t historyLimit() const { return limit_; }

  // {"<instance>": [codes, oldest first], ...} in the order of the names (an
  // instance without codes yet has []). The request's "auctionHistory".
  platform::Json asJson() const;
  // The same object as JSON text appended to `out`; names found in `parts`
  // (may be null) take their text from there.
  void appendJson(std::string& out, const QBAuctionInstanceParts* parts) const;

 private:
  explicit QBAuctionHistory(int64_t limit) : limit_(limit) {}

  const int64_t limit_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::vector<int>>> history_;
};
