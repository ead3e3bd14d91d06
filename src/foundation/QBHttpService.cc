#include "foundation/QBHttpService.h"

#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "platform/crypto.h"
#include "platform/zip.h"

namespace {

void fail(platform::Error error, platform::DataTaskCompletion completion, platform::QueueRef queue) {
  if (!completion) return;
  if (!queue) queue = platform::globalQueue();
  queue->async([error = std::move(error), completion = std::move(completion)] {
    platform::DataTaskResult result;
    result.error = error;
    completion(std::move(result));
  });
}

}  // namespace

void QBHttpService::send(platform::URLRequest request, platform::DataTaskCompletion completion,
                         platform::QueueRef completionQueue) {
  QB_LOG(request.method + " " + request.url, 0, 4);
  auto callback = [completion = std::move(completion)](platform::DataTaskResult result) {
    if (completion) completion(std::move(result));
  };
  platform::URLSession::shared()
      ->dataTask(std::move(request), std::move(completionQueue), std::move(callback))
      ->resume();
}

platform::Result<platform::URLRequest> QBHttpService::makePostRequest(const std::string& url,
                                                                      const std::string& body,
                                                                      bool gzip, double timeoutSeconds) {
  platform::URLRequest request;
  request.url = url;
  request.method = "POST";
  request.headers = {{"Content-Type", "application/json"}};
  request.timeoutSeconds = timeoutSeconds;
  request.ignoreLocalCache = true;
  if (gzip) {
    auto compressed = platform::gzipCompress(body, platform::CompressionLevel::Fastest);
    if (!compressed) return compressed.error();
    request.body = platform::base64Encode(compressed.value());
  } else {
    request.body = body;
  }
  return request;
}

void QBHttpService::sendPostRequest(const std::string& url, const std::string& body, bool gzip,
                                    double timeoutSeconds, platform::DataTaskCompletion completion,
                                    platform::QueueRef completionQueue) {
  auto request = makePostRequest(url, body, gzip, timeoutSeconds);
  if (!request) {
    QB_LOG("cannot compress the body for " + url + ": " + request.error().message, 3, 4);
    fail(request.error(), std::move(completion), std::move(completionQueue));
    return;
  }
  send(std::move(request).value(), std::move(completion), std::move(completionQueue));
}

void QBHttpService::sendPostRequest(const std::string& url, const platform::Json& body, bool gzip,
                                    double timeoutSeconds, platform::DataTaskCompletion completion,
                                    platform::QueueRef completionQueue) {
  sendPostRequest(url, platform::dumpJson(body), gzip, timeoutSeconds, std::move(completion),
                  std::move(completionQueue));
}

std::string QBHttpService::urlWithQuery(const std::string& url, const QBQueryParams& query) {
  if (query.empty()) return url;
  std::string encoded;
  for (const auto& [name, value] : query) {
    if (!encoded.empty()) encoded += '&';
    encoded += QBUtils::percentEncode(name);
    encoded += '=';
    encoded += QBUtils::percentEncode(value);
  }
  const size_t hash = url.find('#');
  std::string base = url.substr(0, hash);
  const std::string fragment = hash == std::string::npos ? std::string() : url.substr(hash);
  if (base.find('?') == std::string::npos) {
    base += '?';
  } else if (base.back() != '?' && base.back() != '&') {
    base += '&';
  }
  return base + encoded + fragment;
}

void QBHttpService::sendGetRequest(const std::string& url, const QBQueryParams& query,
                                   double timeoutSeconds, platform::DataTaskCompletion completion,
                                   platform::QueueRef completionQueue) {
  platform::URLRequest request;
  request.url = urlWithQuery(url, query);
  request.method = "GET";
  request.timeoutSeconds = timeoutSeconds;
  request.ignoreLocalCache = true;
  send(std::move(request), std::move(completion), std::move(completionQueue));
}

void QBHttpService::sendGetRequest(const std::string& url, const std::map<std::string, std::string>& query,
                                   double timeoutSeconds, platform::DataTaskCompletion completion,
                                   platform::QueueRef completionQueue) {
  sendGetRequest(url, QBQueryParams(query.begin(), query.end()), timeoutSeconds, std::move(completion),
                 std::move(completionQueue));
}
