#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"

#include "measurement/sdk/OMIDQuilbrnError.h"

std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(
    OMIDQuilbrnCreativeType creativeType, OMIDQuilbrnImpressionType impressionType, OMIDQuilbrnOwner impressionOwner,
    OMIDQuilbrnOwner mediaEventsOwner, bool isolateVerificationScripts, platform::Error* error) {
  namespace C = OMIDQuilbrnErrorCode;
  int refusal = 0;
  if (creativeType < OMIDQuilbrnCreativeTypeDefinedByJavaScript || creativeType > OMIDQuilbrnCreativeTypeAudio) {
    refusal = C::BadCreativeType;
  } else if (impressionType < OMIDQuilbrnImpressionTypeDefinedByJavaScript ||
             impressionType > OMIDQuilbrnImpressionTypeOther) {
    refusal = C::BadImpressionType;
  } else if (impressionOwner == OMIDQuilbrnNoneOwner || impressionOwner == 0) {
    refusal = C::ImpressionOwnerNone;
  } else if ((creativeType == OMIDQuilbrnCreativeTypeDefinedByJavaScript ||
              impressionType == OMIDQuilbrnImpressionTypeDefinedByJavaScript) &&
             impressionOwner == OMIDQuilbrnNativeOwner) {
    refusal = C::DefinedByJavaScriptNeedsJavaScriptOwner;
  }
  if (refusal) {
    OMIDQuilbrnError::setOMIDErrorFor(error, refusal);
    return nullptr;
  }
  std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration(new OMIDQuilbrnAdSessionConfiguration);
  configuration->creativeType_ = creativeType;
  configuration->impressionType_ = impressionType;
  configuration->impressionOwner_ = impressionOwner;
  configuration->mediaEventsOwner_ = mediaEventsOwner == 0 ? OMIDQuilbrnNoneOwner : mediaEventsOwner;
  configuration->isolateVerificationScripts_ = isolateVerificationScripts;
  return configuration;
}
