#pragma once
// Per-session show limits of network instances ("maxAdsPerSession"). A
// session is the life of the capping manager, which is the life of the ad-unit
// manager that made it: counters are never reset and never stored.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// What capping needs of an instance.
class QBSessionCappingDelegate {
 public:
  // The limit that means "no limit".
  static constexpr int32_t kNoLimit = 99;

  virtual ~QBSessionCappingDelegate() = default;
  // The instance's provider name.
  virtual std::string getInstanceName() const = 0;
  // Shows allowed per session; kNoLimit means no limit.
  virtual int32_t getMaxAdsPerSession() const = 0;
};

// A plain record of an instance name and its limit, for instances that have no
// waterfall instance object (yet).
class QBSessionCappingInstance : public QBSessionCappingDelegate {
 public:
  QBSessionCappingInstance(std::string instanceName, int32_t maxAdsPerSession);
  static std::shared_ptr<QBSessionCappingInstance> initWithInstanceName(std::string instanceName,
                                                                        int32_t maxAdsPerSession);

  int32_t maxAdsPerSession() const { return maxAdsPerSession_; }
  const std::string& instanceName() const { return instanceName_; }

  std::string getInstanceName() const override { return instanceName_; }
  int32_t getMaxAdsPerSession() const override { return maxAdsPerSession_; }

 private:
  int32_t maxAdsPerSession_;
  std::string instanceName_;
};

// Counts the shows of each limited instance. Thread-safe: every call may come
// from any thread and answers on it; the instance's own getters are called
// outside the manager's lock.
class QBSessionCappingManager {
 public:
  // One counter at 0 per member whose limit is not kNoLimit, keyed by its
  // instance name; a later member with the same name resets that counter.
  // Null members are skipped.
  explicit QBSessionCappingManager(const std::vector<std::shared_ptr<QBSessionCappingDelegate>>& smashes);
  static std::shared_ptr<QBSessionCappingManager> initWithSmashes(
      const std::vector<std::shared_ptr<QBSessionCappingDelegate>>& smashes);

  // Adds one show to the member's counter; a member without a counter (or a
  // null one) changes nothing.
  void increaseShowCounter(const std::shared_ptr<QBSessionCappingDelegate>& smash);
  // Whether the member has a counter that has reached the limit the member
  // reports now. Members without a counter are never capped.
  bool isCapped(const std::shared_ptr<QBSessionCappingDelegate>& smash) const;
  // The same for the instance of this name with this limit. Until a show is
  // counted every counter is 0, which only a limit of 0 or less reaches: no
  // lookup then (an auction asks this of every configured instance).
  bool isCapped(const std::string& instanceName, int64_t limit) const;
  // The shows counted for the instance of this name; nothing when it has no
  // counter (its limit was kNoLimit, or it is unknown).
  std::optional<int64_t> showCount(const std::string& instanceName) const;

  // Counters by instance name.
  std::map<std::string, int64_t> instanceToShowCount() const;
  // Whether any counter has left 0.
  bool hasCountedShows() const { return countedShows_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> countedShows_{false};
  mutable std::mutex mutex_;
  // Hashed: every auction looks up each configured instance, and instance
  // names often share long prefixes that an ordered map compares again and
  // again.
  std::unordered_map<std::string, int64_t> instanceToShowCount_;
};
