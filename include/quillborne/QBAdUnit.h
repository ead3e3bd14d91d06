#pragma once
// The ad-unit value type: one of "rewardedVideo", "interstitial", "offerwall"
// and "banner". Plain value: copyable, comparable by its text, hashable, safe
// to share between threads.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>

class QBAdUnit {
 public:
  // Ad-unit numbers as getAdUnitId() gives them.
  static constexpr int kOfferwallId = 1;
  static constexpr int kInterstitialId = 2;
  static constexpr int kRewardedVideoId = 3;
  static constexpr int kBannerId = 4;

  // New values "rewardedVideo", "interstitial", "offerwall", "banner".
  static QBAdUnit QB_AD_UNIT_REWARDED_VIDEO();
  static QBAdUnit QB_AD_UNIT_INTERSTITIAL();
  static QBAdUnit QB_AD_UNIT_OFFERWALL();
  static QBAdUnit QB_AD_UNIT_BANNER();

  // The ad unit whose text is exactly `value` ("interstitial" ...); none for
  // any other text (case matters).
  static std::optional<QBAdUnit> fromValue(const std::string& value);

  // The ad unit's text ("rewardedVideo", "interstitial", ...).
  const std::string& value() const { return value_; }
  // Same as value().
  std::string description() const { return value_; }

  // Two ad units are equal when their texts are.
  bool isEqual(const QBAdUnit& other) const { return value_ == other.value_; }
  bool operator==(const QBAdUnit& other) const { return isEqual(other); }

  // The ad unit's number: offerwall 1, interstitial 2, rewarded video 3,
  // banner 4.
  int getAdUnitId() const;

 private:
  explicit QBAdUnit(std::string value) : value_(std::move(value)) {}
  std::string value_;
};

template <>
struct std::hash<QBAdUnit> {
  size_t operator()(const QBAdUnit& unit) const noexcept { return std::hash<std::string>()(unit.value()); }
};
