#pragma once
// The placement of a show and the reward it carries, as handed to the
// application's click and reward callbacks. Plain value: copyable and safe to
// share between threads.
#include <cstdint>
#include <string>
#include <utility>

class QBPlacementInfo {
 public:
  QBPlacementInfo() = default;
  QBPlacementInfo(std::string placementName, std::string rewardName, int64_t rewardAmount)
      : placementName_(std::move(placementName)), rewardName_(std::move(rewardName)), rewardAmount_(rewardAmount) {}

  const std::string& placementName() const { return placementName_; }
  const std::string& rewardName() const { return rewardName_; }
  int64_t rewardAmount() const { return rewardAmount_; }

  // "placement name: <name>, reward name: <reward>, reward amount: <amount>".
  std::string description() const;

  bool operator==(const QBPlacementInfo&) const = default;

 private:
  std::string placementName_;
  std::string rewardName_;
  int64_t rewardAmount_ = 0;
};
