#pragma once
// The controller page's HTTP requests and their responses, as the HTTP proxy
// converts them: a URL request made from the page's values, carrying the
// page's identifier of the request with it, and a response turned into the
// dictionary of the page's reply.
//
// Pure conversions; any thread; nothing throws.
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/net.h"

// The request property that carries the page's identifier of a request.
inline constexpr char kQBuniqueIdentifierProperty[] = "identifier";

// A page's timeout that is not above 0 leaves the platform's default; one
// above the longest is cut to it (a page cannot hold a request and its
// background time for days).
inline constexpr double kQBControllerAPIDefaultTimeoutSeconds = 60;
inline constexpr double kQBControllerAPIMaxTimeoutSeconds = 600;

class QBControllerAPIRequest {
 public:
  // A request for `url` tagged with `identifier`; none when either is missing
  // or empty, or when `headers` is neither null nor a JSON object whose values
  // are texts, numbers or booleans (numbers and booleans go as their text).
  //  - a non-empty `method` is upper-cased (else the platform's GET);
  //  - `cache` false ignores locally cached data;
  //  - every header entry is set (value for name);
  //  - a non-empty `data` is the body, as its UTF-8 bytes;
  //  - a `timeout` above 0 is the timeout (cut to
  //    kQBControllerAPIMaxTimeoutSeconds); else kQBControllerAPIDefaultTimeoutSeconds.
  static std::optional<platform::URLRequest> requestWithUrlString(const std::optional<std::string>& url,
                                                                  const std::optional<std::string>& identifier,
                                                                  const std::optional<std::string>& method,
                                                                  const platform::Json& headers,
                                                                  const std::optional<std::string>& data, bool cache,
                                                                  double timeout);
  // No method, headers or body; cache false; the default timeout.
  static std::optional<platform::URLRequest> requestWithUrlString(const std::optional<std::string>& url,
                                                                  const std::optional<std::string>& identifier);

  // The identifier the request carries, or none.
  static std::optional<std::string> getQBuniqueIdentifier(const platform::URLRequest& request);
};

class QBControllerAPIResponse {
 public:
  // {"statusCode": the status, "headers": {name: value}} for an HTTP response
  // ("headers" only when there is at least one; fields of one name, matched
  // without regard to case, joined with ", " under the first spelling);
  // none without a response.
  static std::optional<platform::Json> serializeToControllerCallback(
      const std::optional<platform::HTTPURLResponse>& response);
};
