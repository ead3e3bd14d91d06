#include "measurement/session/OMIDQuilbrnFriendlyObstruction.h"

#include "platform/runtime.h"
#include "platform/ui/view.h"

std::shared_ptr<OMIDQuilbrnFriendlyObstruction> OMIDQuilbrnFriendlyObstruction::initWithObstructionView(
    const std::shared_ptr<platform::View>& obstructionView, OMIDQuilbrnFriendlyObstructionType purpose,
    const std::optional<std::string>& detailedReason) {
  std::shared_ptr<OMIDQuilbrnFriendlyObstruction> obstruction(new OMIDQuilbrnFriendlyObstruction);
  obstruction->obstructionView_ = obstructionView;
  obstruction->obstructionViewClass_ = obstructionView ? platform::className(obstructionView) : std::string();
  obstruction->purpose_ = purpose;
  obstruction->detailedReason_ = detailedReason;
  return obstruction;
}
