#pragma once
// The request and reply conventions every script handler follows.
//
// A request is the flat dictionary of the command's query: texts as they
// stood in the URL, not percent-decoded. "success" and "fail" name the page
// functions of the replies; a feature command carries its sub-command under
// "functionName" and the sub-command's arguments under "functionParams", the
// percent-escaped JSON text of one object.
//
// A reply is one call of the page function the request named (or of a fixed
// event name), with a dictionary of parameters and no page callbacks, sent
// through the publisher's controller manager; a failure carries its message
// under "errMsg". A reply holding "forceCommand" = true reaches the page at
// once, any other waits until the page is ready. Every reply answers the page
// (QBNControllerAPIData::setAnswersPage): the page's work in running it is
// charged to its web view's processor budget, whenever the reply is sent.
//
// Pure helpers; any thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBNPublisherAgent;
class QBNControllerManagerP;

class QBNJSConventions {
 public:
  // The request's text under `key`; none when the request is no object, or
  // the value is missing or no text.
  static std::optional<std::string> text(const platform::Json& request, const std::string& key);
  // "functionName".
  static std::optional<std::string> functionName(const platform::Json& request);
  // "functionParams" percent-decoded and parsed; an empty object when it is
  // missing or is no JSON object.
  static platform::Json functionParams(const platform::Json& request);

  // Sends `function` with `parameters` to the page, without page callbacks;
  // with `decodeFirst` every string value is percent-decoded, then
  // percent-encoded on the way. Dropped when the request named no function
  // (none or ""), or the publisher or its controller manager is gone.
  static void reply(const std::weak_ptr<QBNPublisherAgent>& publisherAgent, const std::optional<std::string>& function,
                    const platform::Json& parameters, bool decodeFirst);
  // The same for text the native side produced (response bodies, tokens,
  // platform facts) or read decoded from the request: every string value is
  // percent-encoded on the way, never decoded first, so "+" and "%" reach the
  // page as they are (the command builder's option 1).
  static void replyEncoded(const std::weak_ptr<QBNPublisherAgent>& publisherAgent,
                           const std::optional<std::string>& function, const platform::Json& parameters);
  // The same through `controllerManager` (dropped when null), with one of
  // QBNControllerAPIData's encoding options.
  static void reply(const std::shared_ptr<QBNControllerManagerP>& controllerManager,
                    const std::optional<std::string>& function, const platform::Json& parameters, int encodingOptions);

  // The request with each text value percent-decoded ("+" as a space). Sent
  // percent-encoded (option 1), the page's values arrive as decode-then-encode
  // sends them, while native texts added beside them (error messages) arrive
  // as they are, which decoding would corrupt.
  static platform::Json decodedTexts(const platform::Json& request);
  // A request's text under `key`, percent-decoded ("+" as a space), as the
  // page escapes every value; none as text() gives none.
  static std::optional<std::string> decodedText(const platform::Json& request, const std::string& key);
};
