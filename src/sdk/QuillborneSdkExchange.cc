// Step 2 of start-up: the configuration request, the wait for the network,
// the answer, and what a failure leads to (cache, retry, or the end).
#include <utility>

#include "foundation/QBHttpService.h"
#include "foundation/QBInitProvider.h"
#include "foundation/QBLoggerManager.h"
#include "sdk/QBConfigurationCache.h"
#include "sdk/QBConfigurationExchange.h"
#include "sdk/QuillborneSdk.h"

namespace {

constexpr int kTagNetwork = 4;
constexpr int kTagInternal = 6;

}  // namespace

void QuillborneSdk::sendConfigurationRequest() {
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
  }
  if (!PMEReachabilityManager::checkReachability()) {
    waitForNetwork();
    return;
  }
  // Built here, off the main queue: the init view, encryption and encoding.
  const auto url = QBConfigurationExchange::requestUrl(initEndpoint(), QBInitProvider::sharedInstance().getInitData());
  uint64_t attempt = 0;
  int number = 0;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
    attempt = ++currentAttempt_;
    number = ++requestsSent_;
  }
  if (!url) {
    handleFailure(attempt, url.error());
    return;
  }
  QB_LOG("configuration request " + std::to_string(number) + " to " + initEndpoint() +
             QBConfigurationExchange::requestPath(),
         0, kTagNetwork);
  platform::URLRequest request;
  request.url = url.value();
  request.method = "GET";
  request.timeoutSeconds = kConfigurationRequestTimeoutSeconds;
  request.ignoreLocalCache = true;
  request.maxResponseBytes = QBConfigurationExchange::kMaxAnswerBytes;
  std::weak_ptr<QuillborneSdk> weak = weak_from_this();
  QBHttpService::send(
      std::move(request),
      [weak, attempt](platform::DataTaskResult answer) {
        if (auto self = weak.lock()) self->onConfigurationAnswer(attempt, answer);
      },
      platform::globalQueue(platform::QueuePriority::High));
}

void QuillborneSdk::waitForNetwork() {
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked() || waitingForNetwork_) return;
    waitingForNetwork_ = true;
  }
  QB_LOG("no network connection; the configuration request waits for the network", 1, kTagNetwork);
  PMEReachabilityManager::sharedManager()->addDelegate(weak_from_this());
  // The network may have come back before the listener was in place.
  if (PMEReachabilityManager::checkReachability()) resumeAfterNetwork();
}

void QuillborneSdk::reachabilityChanged(std::shared_ptr<PMEReachability> reachability) {
  if (reachability && reachability->hasConnectivity()) resumeAfterNetwork();
}

void QuillborneSdk::resumeAfterNetwork() {
  {
    std::lock_guard lock(mutex_);
    if (!waitingForNetwork_) return;
    waitingForNetwork_ = false;
    if (!isStartingLocked()) return;
  }
  PMEReachabilityManager::sharedManager()->removeDelegate(this);
  QB_LOG("network is back; sending the configuration request", 1, kTagNetwork);
  std::weak_ptr<QuillborneSdk> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::High)->async([weak] {
    if (auto self = weak.lock()) self->sendConfigurationRequest();
  });
}

void QuillborneSdk::onConfigurationAnswer(uint64_t attempt, const platform::DataTaskResult& answer) {
  std::string appKey;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked() || attempt != currentAttempt_) return;
    appKey = appKey_;
  }
  auto configuration = QBConfigurationExchange::decodeAnswer(answer);
  if (!configuration) {
    handleFailure(attempt, configuration.error());
    return;
  }
  auto parsed = parser_->parseConfiguration(configuration.value());
  if (!parsed) {
    handleFailure(attempt, QBConfigurationExchange::makeError(QBConfigurationExchange::Errc::InvalidConfiguration,
                                                              parsed.error().message));
    return;
  }
  QBConfigurationCache().save(appKey, configuration.value());
  completeStartUp(std::nullopt);
}

void QuillborneSdk::handleFailure(uint64_t attempt, const platform::Error& error) {
  QB_LOG("configuration request failed: " + error.message, 3, kTagNetwork);
  if (error.domain == QBConfigurationExchange::kErrorDomain &&
      error.code == static_cast<int>(QBConfigurationExchange::Errc::Refused)) {
    failStartUp(QBError::createError(501), "the server refused the request; no retry");
    return;
  }
  std::string appKey;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked() || attempt != currentAttempt_) return;
    appKey = appKey_;
  }

  QBConfigurationCache cache;
  auto cached = cache.load(appKey);
  switch (cached.status) {
    case QBConfigurationCache::Status::Found: {
      auto parsed = parser_->parseConfiguration(cached.configuration);
      if (parsed) {
        completeStartUp(QBError::createError(502));
        return;
      }
      QB_LOG("cached configuration is corrupt and was ignored: " + parsed.error().message, 3, kTagInternal);
      cache.clear();
      break;
    }
    case QBConfigurationCache::Status::Corrupt:
      QB_LOG("cached configuration is corrupt and was ignored: " + cached.detail, 3, kTagInternal);
      cache.clear();
      break;
    case QBConfigurationCache::Status::OtherAppKey:
      QB_LOG("cached configuration belongs to another application key; not used", 1, kTagInternal);
      break;
    case QBConfigurationCache::Status::Missing:
      break;
  }

  bool exhausted = false;
  int retry = 0;
  int64_t delayMs = 0;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked() || attempt != currentAttempt_) return;
    exhausted = retries_ >= kMaxConfigurationRetries;
    if (!exhausted) {
      retry = retries_++;
      delayMs = retryDelayMs(retry);
      std::weak_ptr<QuillborneSdk> weak = weak_from_this();
      retryTimer_ = platform::Timer::once(platform::mainQueue(), static_cast<double>(delayMs), [weak, attempt] {
        if (auto self = weak.lock()) self->onRetryTimer(attempt);
      });
    }
  }
  if (exhausted) {
    failStartUp(QBError::createError(501), "no valid answer after " + std::to_string(kMaxConfigurationRetries) +
                                               " retries");
    return;
  }
  QB_LOG("retrying the configuration request in " + std::to_string(delayMs / 1000) + " s (retry " +
             std::to_string(retry + 1) + " of " + std::to_string(kMaxConfigurationRetries) + ")",
         1, kTagNetwork);
}

void QuillborneSdk::onRetryTimer(uint64_t attempt) {
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked() || attempt != currentAttempt_) return;
    retryTimer_.reset();
  }
  // The main queue only hands over; the request is built on the worker.
  std::weak_ptr<QuillborneSdk> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::High)->async([weak] {
    if (auto self = weak.lock()) self->sendConfigurationRequest();
  });
}

