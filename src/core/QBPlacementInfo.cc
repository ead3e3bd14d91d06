#include "quillborne/QBPlacementInfo.h"

std::string QBPlacementInfo::description() const {
  return "placement name: " + placementName_ + ", reward name: " + rewardName_ +
         ", reward amount: " + std::to_string(rewardAmount_);
}
