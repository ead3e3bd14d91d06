#include "quillborne/QBAdUnit.h"

namespace {
constexpr char kRewardedVideo[] = "rewardedVideo";
constexpr char kInterstitial[] = "interstitial";
constexpr char kOfferwall[] = "offerwall";
constexpr char kBanner[] = "banner";
}  // namespace

QBAdUnit QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() { return QBAdUnit(kRewardedVideo); }
QBAdUnit QBAdUnit::QB_AD_UNIT_INTERSTITIAL() { return QBAdUnit(kInterstitial); }
QBAdUnit QBAdUnit::QB_AD_UNIT_OFFERWALL() { return QBAdUnit(kOfferwall); }
QBAdUnit QBAdUnit::QB_AD_UNIT_BANNER() { return QBAdUnit(kBanner); }

std::optional<QBAdUnit> QBAdUnit::fromValue(const std::string& value) {
  if (value == kRewardedVideo || value == kInterstitial || value == kOfferwall || value == kBanner) {
    return QBAdUnit(value);
  }
  return std::nullopt;
}

int QBAdUnit::getAdUnitId() const {
  if (value_ == kInterstitial) return kInterstitialId;
  if (value_ == kRewardedVideo) return kRewardedVideoId;
  if (value_ == kBanner) return kBannerId;
  return kOfferwallId;
}
