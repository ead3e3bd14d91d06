#pragma once
// Static HTTP sender over the shared URL session (platform::URLSession::
// shared()). It makes no retries of its own.
//
// Every call returns at once. Its completion runs exactly once, never inside
// the call, on the given completion queue (by default the session's default
// global queue), with the data task's result unchanged: a response with any
// status and its body, or an error of the URL-loading domain (-1001 timed out,
// -1004 cannot connect, ...). Building the request can fail only when
// compression fails; that error (platform.zip domain) reaches the completion
// the same way, and nothing is sent.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/net.h"

using QBQueryParams = std::vector<std::pair<std::string, std::string>>;

class QBHttpService {
 public:
  // Runs `request` as a data task of the shared session.
  static void send(platform::URLRequest request, platform::DataTaskCompletion completion,
                   platform::QueueRef completionQueue = nullptr);

  // POSTs `body` to `url` with "Content-Type: application/json". With gzip the
  // body on the wire is the base64 text (standard alphabet, padded) of the
  // gzip compression of `body` (zlib's fastest level); no Content-Encoding header is sent, since the
  // bytes are plain text. Without gzip `body` is sent as is.
  static void sendPostRequest(const std::string& url, const std::string& body, bool gzip,
                              double timeoutSeconds, platform::DataTaskCompletion completion,
                              platform::QueueRef completionQueue = nullptr);
  // The same with the compact JSON text of `body`.
  static void sendPostRequest(const std::string& url, const platform::Json& body, bool gzip,
                              double timeoutSeconds, platform::DataTaskCompletion completion,
                              platform::QueueRef completionQueue = nullptr);

  // GETs `url` with the parameters appended to its query in the given order
  // (after "?", or "&" when the URL already has a query; before any
  // "#fragment"); names and values are percent-encoded (QBUtils::percentEncode).
  static void sendGetRequest(const std::string& url, const QBQueryParams& query, double timeoutSeconds,
                             platform::DataTaskCompletion completion,
                             platform::QueueRef completionQueue = nullptr);
  // The same with the parameters in key order.
  static void sendGetRequest(const std::string& url, const std::map<std::string, std::string>& query,
                             double timeoutSeconds, platform::DataTaskCompletion completion,
                             platform::QueueRef completionQueue = nullptr);

  // The URL sendGetRequest fetches.
  static std::string urlWithQuery(const std::string& url, const QBQueryParams& query);
  // The request sendPostRequest sends, or the compression error.
  static platform::Result<platform::URLRequest> makePostRequest(const std::string& url,
                                                                const std::string& body, bool gzip,
                                                                double timeoutSeconds);
};
