// The view-state operations of OMIDQuilbrnDictionaryUtil (the tree walker's).
#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/session/OMIDQuilbrnFriendlyObstruction.h"
#include "measurement/walker/OMIDQuilbrnAdViewCache.h"

platform::Json OMIDQuilbrnDictionaryUtil::stateWithFrame(const platform::Rect& frame, bool clipsToBounds) {
  return platform::Json{{"x", frame.origin.x},
                        {"y", frame.origin.y},
                        {"width", frame.size.width},
                        {"height", frame.size.height},
                        {"clipsToBounds", clipsToBounds}};
}

void OMIDQuilbrnDictionaryUtil::addChildState(platform::Json& state, platform::Json childState) {
  auto& children = state["childViews"];
  if (!children.is_array()) children = platform::Json::array();
  children.push_back(std::move(childState));
}

void OMIDQuilbrnDictionaryUtil::addSessionId(platform::Json& state, const std::string& sessionId) {
  state["adSessionId"] = sessionId;
}

void OMIDQuilbrnDictionaryUtil::addNotVisibleReason(platform::Json& state, int reason) {
  if (auto text = getStringHiddenReason(reason)) state["notVisibleReason"] = *text;
}

void OMIDQuilbrnDictionaryUtil::addOutputDeviceStatus(platform::Json& state, int status) {
  state["noOutputDevice"] = isOutputDeviceNotAttached(status) ? 1 : 0;
}

void OMIDQuilbrnDictionaryUtil::addObstructionInfo(platform::Json& state, const OMIDQuilbrnObstructionInfo& info) {
  platform::Json ids = platform::Json::array();
  for (const auto& id : info.sessionIds()) ids.push_back(id);
  state["isFriendlyObstructionFor"] = std::move(ids);
  const auto& obstruction = info.friendlyObstruction();
  if (!obstruction) return;
  state["friendlyObstructionClass"] = obstruction->obstructionViewClass();
  state["friendlyObstructionPurpose"] = stringFromObstructionType(obstruction->purpose());
  if (obstruction->detailedReason()) state["friendlyObstructionReason"] = *obstruction->detailedReason();
}

std::string OMIDQuilbrnDictionaryUtil::stringFromObstructionType(unsigned type) {
  switch (type) {
    case OMIDQuilbrnFriendlyObstructionCloseAd:
      return "CLOSE_AD";
    case OMIDQuilbrnFriendlyObstructionNotVisible:
      return "NOT_VISIBLE";
    case OMIDQuilbrnFriendlyObstructionOther:
      return "OTHER";
    default:
      return "MEDIA_CONTROLS";
  }
}

std::optional<std::string> OMIDQuilbrnDictionaryUtil::getStringHiddenReason(int reason) {
  switch (reason) {
    case OMIDQuilbrnHiddenReasonNotAttached:
      return "notAttached";
    case OMIDQuilbrnHiddenReasonViewHidden:
      return "viewHidden";
    case OMIDQuilbrnHiddenReasonViewAlphaZero:
      return "viewAlphaZero";
    case OMIDQuilbrnHiddenReasonNoAdView:
      return "noAdView";
    default:
      return std::nullopt;
  }
}
