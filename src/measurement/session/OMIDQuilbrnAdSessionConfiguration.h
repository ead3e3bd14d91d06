#pragma once
// What a session measures and who reports it: the creative and impression
// types, and whether native code or the measurement script reports
// impressions and media events.
#include <memory>

#include "measurement/session/OMIDQuilbrnTypes.h"
#include "platform/result.h"

class OMIDQuilbrnAdSessionConfiguration {
 public:
  // Checks, in this order: creative type outside 1-5 (1513), impression type
  // outside 1-8 (1514), an impression owner of none or 0 (1502), a type
  // defined by JavaScript with a native impression owner (1515). Null with
  // the error on a failed check. A media events owner of 0 is kept as none
  // (3); owners above 3 are kept as given.
  static std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> initWithCreativeType(
      OMIDQuilbrnCreativeType creativeType, OMIDQuilbrnImpressionType impressionType,
      OMIDQuilbrnOwner impressionOwner, OMIDQuilbrnOwner mediaEventsOwner, bool isolateVerificationScripts,
      platform::Error* error);

  OMIDQuilbrnCreativeType creativeType() const { return creativeType_; }
  void setCreativeType(OMIDQuilbrnCreativeType value) { creativeType_ = value; }
  OMIDQuilbrnImpressionType impressionType() const { return impressionType_; }
  void setImpressionType(OMIDQuilbrnImpressionType value) { impressionType_ = value; }
  OMIDQuilbrnOwner impressionOwner() const { return impressionOwner_; }
  void setImpressionOwner(OMIDQuilbrnOwner value) { impressionOwner_ = value; }
  OMIDQuilbrnOwner mediaEventsOwner() const { return mediaEventsOwner_; }
  void setMediaEventsOwner(OMIDQuilbrnOwner value) { mediaEventsOwner_ = value; }
  bool isolateVerificationScripts() const { return isolateVerificationScripts_; }
  void setIsolateVerificationScripts(bool value) { isolateVerificationScripts_ = value; }

 private:
  OMIDQuilbrnAdSessionConfiguration() = default;
  OMIDQuilbrnCreativeType creativeType_ = 0;
  OMIDQuilbrnImpressionType impressionType_ = 0;
  OMIDQuilbrnOwner impressionOwner_ = 0;
  OMIDQuilbrnOwner mediaEventsOwner_ = 0;
  bool isolateVerificationScripts_ = false;
};
