#include "core/QBPlacement.h"

#include <utility>

#include "core/QBJsonValues.h"

QBPlacement::QBPlacement(int64_t placementId, std::string placementName, bool isDefault, std::string rewardName,
                         int64_t rewardAmount)
    : placementId_(placementId),
      placementName_(std::move(placementName)),
      isDefault_(isDefault),
      rewardName_(std::move(rewardName)),
      rewardAmount_(rewardAmount) {}

std::shared_ptr<const QBPlacement> QBPlacement::fromJson(const platform::Json& entry) {
  const auto name = qbjson::nonEmptyString(entry, "placementName");
  if (!entry.is_object() || !name) return nullptr;
  auto placement = std::make_shared<QBPlacement>(qbjson::intOr(entry, "placementId", -1), *name,
                                                 qbjson::boolOr(entry, "isDefault", false),
                                                 qbjson::stringOr(entry, "rewardName"),
                                                 qbjson::intOr(entry, "rewardAmount", 0, 0));
  const platform::Json capping = qbjson::objectOr(entry, "capping");
  placement->setCapping(qbjson::boolOr(capping, "enabled", false),
                        qbjson::boundedInt(capping, "maxImpressions", {0, qbjson::kMaxCount, 0}),
                        qbjson::stringOr(capping, "unit", kCappingPerDay));
  const platform::Json pacing = qbjson::objectOr(entry, "pacing");
  placement->setPacing(qbjson::boolOr(pacing, "enabled", false),
                       qbjson::boundedInt(pacing, "seconds", {0, qbjson::kMaxPacingSeconds, 0}));
  placement->setDeliveryEnabled(qbjson::boolOr(entry, "deliveryEnabled", true));
  return placement;
}

void QBPlacement::setCapping(bool enabled, int64_t maxCount, const std::string& unit) {
  cappingEnabled_ = enabled && maxCount >= 1;
  cappingValue_ = maxCount >= 1 ? maxCount : 0;
  cappingType_ = unit == kCappingPerHour ? kCappingPerHour : kCappingPerDay;
}

void QBPlacement::setPacing(bool enabled, int64_t seconds) {
  pacingEnabled_ = enabled && seconds >= 1;
  pacingValue_ = seconds >= 1 ? seconds : 0;
}

std::string QBPlacement::description() const {
  std::string text = "placement: " + placementName_ + " (id " + std::to_string(placementId_) + ")";
  if (isDefault_) text += ", default";
  text += ", reward: " + rewardName_ + " x " + std::to_string(rewardAmount_);
  if (cappingEnabled_) text += ", capping: " + std::to_string(cappingValue_) + "/" + cappingType_;
  if (pacingEnabled_) text += ", pacing: " + std::to_string(pacingValue_) + "s";
  if (!deliveryEnabled_) text += ", delivery off";
  return text;
}
