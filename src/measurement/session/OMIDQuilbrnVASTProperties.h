#pragma once
// A video ad's placement as its VAST document gives it, sent with the loaded
// event.
#include <string>

#include "measurement/session/OMIDQuilbrnTypes.h"
#include "platform/json.h"

class OMIDQuilbrnVASTProperties {
 public:
  // Skippable after `skipOffset` seconds.
  static OMIDQuilbrnVASTProperties initWithSkipOffset(double skipOffset, bool autoPlay, OMIDQuilbrnPosition position) {
    return initWithSkippable(true, skipOffset, autoPlay, position);
  }
  // Not skippable (offset 0).
  static OMIDQuilbrnVASTProperties initWithAutoPlay(bool autoPlay, OMIDQuilbrnPosition position) {
    return initWithSkippable(false, 0, autoPlay, position);
  }
  static OMIDQuilbrnVASTProperties initWithSkippable(bool skippable, double skipOffset, bool autoPlay,
                                                     OMIDQuilbrnPosition position) {
    return OMIDQuilbrnVASTProperties(skippable, skipOffset, autoPlay, position);
  }

  bool isSkippable() const { return skippable_; }
  double skipOffset() const { return skipOffset_; }
  bool isAutoPlay() const { return autoPlay_; }
  OMIDQuilbrnPosition position() const { return position_; }

  // "preroll", "midroll", "postroll" or "standalone" (any other value reads
  // "preroll").
  std::string positionString() const;
  // {"skippable": true, "skipOffset", "autoPlay", "position"} when skippable,
  // else {"skippable": false, "autoPlay", "position"}.
  platform::Json toJSON() const;

 private:
  OMIDQuilbrnVASTProperties(bool skippable, double skipOffset, bool autoPlay, OMIDQuilbrnPosition position)
      : skippable_(skippable), skipOffset_(skipOffset), autoPlay_(autoPlay), position_(position) {}
  bool skippable_;
  double skipOffset_;
  bool autoPlay_;
  OMIDQuilbrnPosition position_;
};
