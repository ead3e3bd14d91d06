#pragma once
// The own network's product types, as the controller page and the demand
// sources number them.
#include <cstdint>

namespace QBNProductType {
inline constexpr int64_t RewardedVideo = 0;
inline constexpr int64_t Interstitial = 1;
inline constexpr int64_t OfferWall = 2;
inline constexpr int64_t OfferWallCredits = 3;
inline constexpr int64_t Banner = 4;
}  // namespace QBNProductType
