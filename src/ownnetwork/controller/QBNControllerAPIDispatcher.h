#pragma once
// The native-to-page command channel: a QBNControllerAPIData becomes one line
// of script that calls the page's run-function entry point, evaluated in the
// publisher's hidden controller web view on the main queue.
//
//   PMA_CORE.SDKController.runFunction(`<name>?parameters=<JSON>`, `<success>`, `<fail>`)
//
// The parameter part is left out when there are no parameters (or an empty
// object), the callback part unless both callback names are given (an empty
// name counts as given). The name, the JSON text and the callback names stand
// inside template literals: a backslash, a backtick, "${" and a carriage
// return in them are escaped so that the page receives exactly the text; a
// line without them is not changed. docs/controller-page.md shows what the
// page does with the line.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "platform/json.h"

class QBNControllerPublisherP;

// Encoding of the parameters' string values (QBNControllerAPIData options).
class QBNEncoder {
 public:
  // Option 1: every string value percent-escaped; 2: percent-decoded, then
  // escaped; both at every depth of nested objects (arrays, numbers, booleans
  // and null stay). Any other option: an unchanged copy.
  static platform::Json encodeDictionary(const platform::Json& dictionary, int encodingOptions);
};

class QBNControllerAPICommandBuilder {
 public:
  static constexpr const char* kRunFunction = "PMA_CORE.SDKController.runFunction";

  // The whole line.
  static std::string buildCommandFromData(const QBNControllerAPIData& data, int encodeOptions);
  // "?parameters=" and the JSON text of the encoded parameters, or "".
  static std::string formatFunctionParamsWithData(const QBNControllerAPIData& data, int encodingOptions);
  // The JSON text of the encoded parameters; "" for none or an empty object
  // (and for a value that cannot be written, after logging).
  static std::string formatFunctionParams(const platform::Json& params, int encodingOptions);
  // ", `<success>`, `<fail>`" when both names are given, else "".
  static std::string formatCallbacksWithData(const QBNControllerAPIData& data);
};

class ControllerAPIUtils {
 public:
  // The request's "demandSourceId", else its "demandSourceName" (texts as
  // they are, other values as qbnjson::description); none without both.
  static std::optional<std::string> extractDemandSourceIdFromDictionary(const platform::Json& dictionary);
};

// A command's description for logs: the compact JSON of {"functionName",
// "functionParams", "successCallbackName", "failCallbackName", "options"},
// absent values as "empty".
std::string QBNControllerAPIDataDescription(const QBNControllerAPIData& data);

// Sends commands to the page of one publisher's controller web view.
class QBNControllerAPIDispatcher {
 public:
  explicit QBNControllerAPIDispatcher(std::weak_ptr<QBNControllerPublisherP> publisher);

  // Builds the line on the calling thread (any thread), then evaluates it in
  // the publisher's controller web view on the main queue, lines in the order
  // they were dispatched. Without a publisher or a web view by then, the line
  // is dropped. The result of the evaluation is not read; the command's taken
  // callback runs when the evaluation ends (or when the line is dropped). A
  // call that answers the page is evaluated as one (its work is charged to
  // the page's processor budget).
  void dispatchCommandWithData(const QBNControllerAPIData& data, int encodeOptions);
  void dispatchCommandWithData(const QBNControllerAPIData& data) { dispatchCommandWithData(data, 0); }

  // Hears every line just before it is evaluated, on the main queue (null:
  // nobody).
  static void setEvaluationObserverForTesting(std::function<void(const std::string&)> observer);

 private:
  std::weak_ptr<QBNControllerPublisherP> publisher_;
};
