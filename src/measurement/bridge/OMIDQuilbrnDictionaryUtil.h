#pragma once
// JSON helpers of the measurement SDK, and the operations that build the view
// states the tree walker publishes (a state is one JSON object per view:
// frame, clipping, children and the marks of ad views and obstructions).
#include <optional>
#include <set>
#include <string>

#include "platform/json.h"
#include "platform/ui/geometry.h"

class OMIDQuilbrnObstructionInfo;

class OMIDQuilbrnDictionaryUtil {
 public:
  // The text of an object or array as a command argument: the script literal
  // whose value is what JSON.parse gives of its JSON text
  // (platform::scriptLiteral: compact JSON, a key "__proto__" kept a member);
  // none when the value is not a valid JSON object (another top-level type, or
  // a number that is not finite) or cannot be written.
  static std::optional<std::string> stringFromJSON(const platform::Json& object);

  // {"x", "y", "width", "height" (points, screen coordinates), "clipsToBounds"}.
  static platform::Json stateWithFrame(const platform::Rect& frame, bool clipsToBounds);
  // Appends to "childViews", making the array on the first child.
  static void addChildState(platform::Json& state, platform::Json childState);
  static void addSessionId(platform::Json& state, const std::string& sessionId);
  // "notVisibleReason": the reason's text; nothing for a code without one.
  static void addNotVisibleReason(platform::Json& state, int reason);
  // "noOutputDevice": 1 when isOutputDeviceNotAttached(status), else 0.
  static void addOutputDeviceStatus(platform::Json& state, int status);
  // "isFriendlyObstructionFor" (the session identifiers, ascending),
  // "friendlyObstructionClass", "friendlyObstructionPurpose" and, when the
  // obstruction has one, "friendlyObstructionReason".
  static void addObstructionInfo(platform::Json& state, const OMIDQuilbrnObstructionInfo& info);

  // 0 "MEDIA_CONTROLS", 1 "CLOSE_AD", 2 "NOT_VISIBLE", 3 "OTHER"; any other
  // value "MEDIA_CONTROLS".
  static std::string stringFromObstructionType(unsigned type);
  // 0 "notAttached", 1 "viewHidden", 2 "viewAlphaZero", 3 "noAdView"; none
  // for any other code (4: on screen).
  static std::optional<std::string> getStringHiddenReason(int reason);
  static bool isOutputDeviceNotAttached(int status) { return status == 1; }
};
