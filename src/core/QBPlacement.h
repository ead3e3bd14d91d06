#pragma once
// One placement of an ad unit: its id and name, whether it is the default,
// the reward it grants, and its capping, pacing and delivery rules. Built from
// the server configuration (fromJson) or by hand; held as
// std::shared_ptr<const QBPlacement> once built and then only read.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/json.h"
#include "quillborne/QBPlacementInfo.h"

class QBPlacement {
 public:
  // Capping units: a count per calendar day or per hour.
  static constexpr const char* kCappingPerDay = "d";
  static constexpr const char* kCappingPerHour = "h";

  QBPlacement(int64_t placementId, std::string placementName, bool isDefault = false, std::string rewardName = "",
              int64_t rewardAmount = 0);

  // The placement of one entry of an ad unit's "placements" array (keys in
  // docs/configuration.md); none when the entry is not an object or has no
  // non-empty "placementName".
  static std::shared_ptr<const QBPlacement> fromJson(const platform::Json& entry);

  // -1 when the configuration gave none.
  int64_t placementId() const { return placementId_; }
  const std::string& placementName() const { return placementName_; }
  const std::string& name() const { return placementName_; }
  bool isDefault() const { return isDefault_; }
  const std::string& rewardName() const { return rewardName_; }
  int64_t rewardAmount() const { return rewardAmount_; }
  // Name, reward name and amount as the application sees them.
  QBPlacementInfo placementInfo() const { return QBPlacementInfo(placementName_, rewardName_, rewardAmount_); }

  // Capping: at most cappingValue() shows per cappingType() ("d" or "h").
  // Enabled only with a cappingValue of at least 1.
  bool isCappingEnabled() const { return cappingEnabled_; }
  int64_t cappingValue() const { return cappingValue_; }
  const std::string& cappingType() const { return cappingType_; }
  // Pacing: at least pacingValue() seconds between two shows. Enabled only
  // with a pacingValue of at least 1.
  bool isPacingEnabled() const { return pacingEnabled_; }
  int64_t pacingValue() const { return pacingValue_; }
  // False when the server switched the placement's delivery off.
  bool isDeliveryEnabled() const { return deliveryEnabled_; }

  // Setters for code that builds placements by hand (tests, defaults). A
  // capping unit other than "d" or "h" is taken as "d"; a count or interval
  // below 1 switches the rule off.
  void setCapping(bool enabled, int64_t maxCount, const std::string& unit);
  void setPacing(bool enabled, int64_t seconds);
  void setDeliveryEnabled(bool enabled) { deliveryEnabled_ = enabled; }

  // "placement: <name> (id <id>)" with the reward, capping and pacing, for logs.
  std::string description() const;

 private:
  int64_t placementId_;
  std::string placementName_;
  bool isDefault_;
  std::string rewardName_;
  int64_t rewardAmount_;
  bool cappingEnabled_ = false;
  int64_t cappingValue_ = 0;
  std::string cappingType_ = kCappingPerDay;
  bool pacingEnabled_ = false;
  int64_t pacingValue_ = 0;
  bool deliveryEnabled_ = true;
};
