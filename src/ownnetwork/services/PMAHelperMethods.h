#pragma once
// Conversions and small facts that the whole own network shares: JSON, query
// strings, percent escapes, error values, device facts, colours, the close-
// button frame, the key window, the top-most view controller and its window
// scene.
//
// Everything is a class operation, synchronous and on the calling thread. All
// are thread-safe except applicationKeyWindow, topMostController and
// avaibleWindowScene, which read the UI layer and belong on the main queue.
// Nothing throws; an "error" out-parameter (may be null) is written only when
// the call fails.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"
#include "platform/ui/geometry.h"

namespace platform {
class Window;
class WindowScene;
class ViewController;
}  // namespace platform

// The own network's SDK version.
inline constexpr char kQBNSDKVersion[] = "7.3.1";

// Error domains of the own network: the public API's, the general one and the
// one of failures reported by the system's own services (JSON parsing).
inline constexpr char kQBNAPIErrorDomain[] = "com.quilbrn.erros";
inline constexpr char kPMAErrorDomain[] = "PMAErrorDomain";
inline constexpr char kPMAOSAPIErrorDomain[] = "PMAOSAPIErrorDomain";

// The description of an error without one.
inline constexpr char kPMAUnknownErrorReason[] = "internal error - unknown reason";

// Text encodings of the conversions that take one, numbered as the platform
// numbers them. Other numbers are not supported (the conversion fails).
inline constexpr int kPMAASCIIStringEncoding = 1;
inline constexpr int kPMAUTF8StringEncoding = 4;
inline constexpr int kPMAISOLatin1StringEncoding = 5;

class PMAHelperMethods {
 public:
  // ------------------------------------------------------------------ JSON

  // Any JSON value read from the text's bytes in `encoding`. Absent text:
  // "unable to decode string to JSON - string object is nil" (API domain,
  // code 0); text the encoding cannot hold: "unable to decode string to JSON -
  // string cannot be represented in the encoding" (API domain, code 0); text
  // that does not parse: the parser's error as it is.
  static std::optional<platform::Json> decodeJSONObject(const std::optional<std::string>& text, int encoding,
                                                        platform::Error* error);

  // The object or array of a JSON text (other top-level values do not count
  // as a dictionary). Absent text: "cannot serialize json string - empty
  // string param" (general domain, code 0); anything that does not parse: the
  // parser's description, or kPMAUnknownErrorReason when it has none
  // (OS-API domain, code 0).
  static std::optional<platform::Json> dictionaryFromJsonString(const std::optional<std::string>& text,
                                                                platform::Error* error);
  // The same; a failure is logged (level 1, tag 5) instead of passed out.
  static std::optional<platform::Json> dictionaryFromJsonString(const std::optional<std::string>& text);

  // decodeFromPercentEscapeString then dictionaryFromJsonString; an empty
  // object where that gives nothing (the error still passed out).
  static platform::Json uriDecodeJsonAndConvertToDictionary(const std::optional<std::string>& text,
                                                            platform::Error* error);

  // Compact JSON text of an object or array. Any other top-level value, or a
  // number that is not finite, fails (OS-API domain, code 0); the failure is
  // also printed to the console.
  static std::optional<std::string> JSONStringFromDictionary(const platform::Json& dictionary, platform::Error* error);

  // ----------------------------------------------------------- query strings

  // Splits at "&"; a non-empty part with at least one "=" stores the text
  // between its first and second "=" (or its end) under the text before the
  // first. Nothing is decoded; a later key replaces an earlier one in place.
  static platform::Json dictionaryFromQueryStringParameters(const std::string& query);
  // key=value for each member, in the object's order, joined with "&";
  // nothing encoded; values that are not text show as qbnjson::description.
  static std::string queryStringfromDictionary(const platform::Json& dictionary);

  // ---------------------------------------------------------- percent escapes

  // Every byte except A-Z a-z 0-9 - . _ ~ percent-escaped (upper-case hex) -
  // the reserved characters ! * ' ( ) ; : @ & = + $ , / ? % # [ ], the double
  // quote, the space, and everything never legal in a URL. A value that is not
  // text gives "".
  static std::string encodeToPercentEscapeString(const platform::Json& value);
  static std::string encodeToPercentEscapeString(const std::string& text);
  static std::string encodeToPercentEscapeString(const char* text);

  // "+" becomes a space, then each escape is resolved as UTF-8. An escape that
  // is malformed ("%zz", a lone "%") or whose bytes are not UTF-8 keeps its
  // text.
  static std::string decodeFromPercentEscapeString(const std::string& text);

  // A new object in which each text value has its escapes resolved (as
  // decodeFromPercentEscapeString, but "+" stays "+", and escapes of the
  // characters in `leaveEscaped` stay escaped), then is replaced by the JSON
  // object or array it parses to, when it parses. Values that are not text
  // stay as they are. Anything but an object gives an empty object.
  static platform::Json decodeByReplacingPercentEscapes(const platform::Json& dictionary,
                                                        const std::optional<std::string>& leaveEscaped);
  static platform::Json decodeByReplacingPercentEscapes(const platform::Json& dictionary);

  // A copy in which each text value is percent-escaped (after being decoded
  // when `decodeFirst`) and each object value is treated the same way;
  // numbers, booleans, null and arrays stay as they are.
  static platform::Json deepEncodeValuesInDictionary(const platform::Json& dictionary, bool decodeFirst);

  // `domain` followed by "&" key "=" escaped value for each member, then every
  // "?&" replaced by "?".
  static std::string encodeToPercentEscapeStringWithDomain(const std::string& domain, const platform::Json& params);

  // ------------------------------------------------------------------ errors

  // An error with `reason` as its description (kPMAUnknownErrorReason when
  // absent) in `domain` (kPMAErrorDomain when absent).
  static platform::Error errorWithReason(const std::optional<std::string>& reason, int code,
                                         const std::optional<std::string>& domain);
  // The error's description, or `defaultMessage` when there is no error or
  // its description is empty.
  static std::string buildErrorMessageFromError(const std::optional<platform::Error>& error,
                                                const std::string& defaultMessage);
  // "Error Domain=<domain> Code=<code> \"<message>\"", as logs show an error.
  static std::string errorDescription(const platform::Error& error);

  // ----------------------------------------------------- checks, conversions

  static bool isStringExistAndNotEmpty(const std::optional<std::string>& text);
  // Whether `dictionary` has a member for every key (true for no keys).
  static bool areKeysExistInDictionary(const platform::Json& dictionary, const std::vector<std::string>& keys);
  // The text of `data` in `encoding`; none when the bytes are not valid in it.
  static std::optional<std::string> stringFromData(const std::string& data, int encoding);
  // The platform clock's wall time in whole milliseconds since 1970, as text.
  static std::string timeInMilliSeconds();
  // MD5 of the UTF-8 bytes, 32 lower-case hexadecimal digits.
  static std::string getMD5Hash(const std::string& text);

  // Colour of a hexadecimal text: every "#" removed; 3 digits become 6 by
  // doubling each; 6 digits get "ff" appended; the text is then read as one
  // hexadecimal number (white space and "0x" in front allowed, stopping at the
  // first other character, all ones when it passes 32 bits): red = bits
  // 31-24, green 23-16, blue 15-8, alpha 7-0, each / 255.
  static platform::Color colorWithHexString(const std::string& text);
  // The opaque colour 0xRRGGBB.
  static platform::Color colorWithHex(int64_t hex);

  // ------------------------------------------------------------ device facts

  // The hardware model ("iPhone15,2"), read once and kept for the process.
  static std::string platformString();
  static void resetPlatformStringForTesting();
  // False when the application runs with the tablet idiom; otherwise whether
  // the hardware model contains "ipad" in any case.
  static bool isIphoneAppOnIpadDevice();
  // Free disk space in whole MiB; 0 when it cannot be read.
  static uint64_t getFreeDiskspace();
  // The link-level address of "en0" as "%02X:%02X:%02X:%02X:%02X:%02X"; none
  // when the system has no such interface.
  static std::optional<std::string> getMACAddress();
  // The same for any interface name.
  static std::optional<std::string> macAddressOfInterface(const std::string& name);

  // Device and application facts for the controller page: "deviceOEM",
  // "deviceModel", "deviceOs", "deviceOSVersion", "deviceApiLevel" (the OS
  // version up to its first ".", the whole version without one), "bundleId",
  // "SDKVersion", "deviceIds[IDFV]", "deviceIds[IFA]" (each "" when missing),
  // "isLimitAdTrackingEnabled" ("false"/"true" text) and, when the carrier
  // has a non-empty name, "mobileCarrier".
  static platform::Json getGeneralParamsDic();
  // The OS version before its first "."; "" when it has none.
  static std::string getDeviceApiLevelFromDeviceOsVersion(const std::string& osVersion);
  // "RewardedVideo", "Interstitial", "OfferWall" (2 and 3), "Banner"; none
  // above 4.
  static std::optional<std::string> productTypeByPMAType(uint64_t productType);

  // ------------------------------------------------------------------ layout

  // The close button's rectangle: "width", "height" and "margin" read as
  // integers; "position" "top-left", "top-right", "bottom-left" or
  // "bottom-right" places it `margin` from those corners of `frame` (its size
  // only, not its origin), an object with "x" and "y" places it there, and
  // anything else at (0, 0).
  static platform::Rect frameForButtonFromParamsDictionary(const platform::Json& params, const platform::Rect& frame);

  // Main queue only.
  static std::shared_ptr<platform::Window> applicationKeyWindow();
  // From the key window's root view controller, the last one reached along
  // the presented-view-controller links; none without a key window or root.
  static std::shared_ptr<platform::ViewController> topMostController();
  // The window scene of the controller's view's window; none when the
  // controller, its view (a view not loaded yet is in no window), the window
  // or the scene is missing.
  static std::shared_ptr<platform::WindowScene> avaibleWindowScene(
      const std::shared_ptr<platform::ViewController>& controller);
};
