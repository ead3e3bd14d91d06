#include "measurement/sdk/OMIDQuilbrnError.h"

#include <utility>

void OMIDQuilbrnError::setOMIDErrorFor(platform::Error* error, int code, const std::string& message) {
  if (error) *error = platform::Error{kOMIDQuilbrnErrorDomain, code, message};
}

void OMIDQuilbrnError::setOMIDErrorFor(platform::Error* error, int code) {
  setOMIDErrorFor(error, code, messageForCode(code));
}

std::string OMIDQuilbrnError::messageForCode(int code) {
  namespace C = OMIDQuilbrnErrorCode;
  switch (code) {
    case C::NotActivated: return "OM SDK has not been activated.";
    case C::EmptyScript: return "Script can not be empty.";
    case C::ImpressionOwnerNone: return "Impression owner can not be none.";
    case C::ImpressionOwnerNotNative: return "Impression owner should be NATIVE.";
    case C::MediaEventsOwnerNotNative: return "Media events owner should be NATIVE.";
    case C::EventFilterRefused: return "Event filter does not accept.";
    case C::NoContext: return "Context can not be nil.";
    case C::NoAdSession: return "Ad session can not be nil.";
    case C::NoWebView: return "Web view can not be nil.";
    case C::NoPartner: return "Partner can not be nil.";
    case C::NoResources: return "Resources can not be empty.";
    case C::NoFriendlyObstruction: return "Friendly obstruction can not be nil.";
    case C::BadDetailedReason: return "Friendly obstruction has improperly formatted detailed reason.";
    case C::BadCreativeType: return "CreativeType is invalid.";
    case C::BadImpressionType: return "ImpressionType is invalid";
    case C::DefinedByJavaScriptNeedsJavaScriptOwner:
      return "CreativeType/ImpressionType that is DefinedByJavascript must have a JavaScript impressionOwner.";
    case C::NotOnMainThread: return "OM SDK methods must be called on main thread";
    default: return {};
  }
}

std::string OMIDQuilbrnError::identifierTooLongMessage(size_t length) {
  return "The supplied customReferenceIdentifier is " + std::to_string(length) +
         " characters which exceeds the 256 limit.";
}
