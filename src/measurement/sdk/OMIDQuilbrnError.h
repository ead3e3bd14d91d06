#pragma once
// The errors of the measurement SDK: domain "com.omid.library", one code per
// refusal, the message as the error's text. A failing initialiser answers
// null and a failing operation false after filling the caller's error (when
// the caller gave one; a null out-pointer leaves the call silent but still
// failing).
#include <cstddef>
#include <string>

#include "platform/result.h"

inline constexpr char kOMIDQuilbrnErrorDomain[] = "com.omid.library";

namespace OMIDQuilbrnErrorCode {
inline constexpr int NotActivated = 2;
inline constexpr int IdentifierTooLong = 1500;
inline constexpr int EmptyScript = 1501;
inline constexpr int ImpressionOwnerNone = 1502;
inline constexpr int ImpressionOwnerNotNative = 1503;
inline constexpr int MediaEventsOwnerNotNative = 1504;
inline constexpr int EventFilterRefused = 1505;
inline constexpr int NoContext = 1506;
inline constexpr int NoAdSession = 1507;
inline constexpr int NoWebView = 1508;
inline constexpr int NoPartner = 1509;
inline constexpr int NoResources = 1510;
inline constexpr int NoFriendlyObstruction = 1511;
inline constexpr int BadDetailedReason = 1512;
inline constexpr int BadCreativeType = 1513;
inline constexpr int BadImpressionType = 1514;
inline constexpr int DefinedByJavaScriptNeedsJavaScriptOwner = 1515;
inline constexpr int NotOnMainThread = 1516;
}  // namespace OMIDQuilbrnErrorCode

class OMIDQuilbrnError {
 public:
  // Stores a new error (the domain, `code`, `message`) in *error when error is
  // given; otherwise does nothing.
  static void setOMIDErrorFor(platform::Error* error, int code, const std::string& message);
  // The same with the message of the code's table (messageForCode).
  static void setOMIDErrorFor(platform::Error* error, int code);

  // The message of a code: "OM SDK has not been activated." for 2, ... ; ""
  // for a code outside the table. Code 1500 needs the length: see
  // identifierTooLongMessage.
  static std::string messageForCode(int code);
  // "The supplied customReferenceIdentifier is <length> characters which
  // exceeds the 256 limit."
  static std::string identifierTooLongMessage(size_t length);
};
