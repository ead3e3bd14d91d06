#include "mediation/QBAuctionHandler.h"

#include <algorithm>
#include <utility>

#include "mediation/QBAuctionRun.h"

std::shared_ptr<QBAuctionHandler> QBAuctionHandler::initWithAuctionSettings(
    std::shared_ptr<const QBAuctionSettings> settings, bool isEncryptedResponse, bool isOneToken,
    std::string sessionId) {
  return std::shared_ptr<QBAuctionHandler>(
      new QBAuctionHandler(std::move(settings), isEncryptedResponse, isOneToken, std::move(sessionId)));
}

QBAuctionHandler::QBAuctionHandler(std::shared_ptr<const QBAuctionSettings> settings, bool isEncryptedResponse,
                                   bool isOneToken, std::string sessionId)
    : settings_(std::move(settings)),
      isEncryptedResponse_(isEncryptedResponse),
      isOneToken_(isOneToken),
      sessionId_(std::move(sessionId)),
      queue_(platform::createLightSerialQueue(kQueueLabel)) {}

QBAuctionHandler::~QBAuctionHandler() {
  std::vector<std::shared_ptr<QBAuctionRun>> runs;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    runs.swap(runs_);
  }
  for (auto& run : runs) run->cancel();
}

void QBAuctionHandler::executeAuctionWithParams(std::shared_ptr<const QBAuctionRequestParams> params,
                                                CompletionBlock completion) {
  QBAuctionRun::Setup setup;
  setup.settings = settings_;
  setup.context.sessionId = sessionId_;
  setup.context.isOneToken = isOneToken_;
  // Either side asking for an encrypted answer makes the request ask for one
  // and the parser insist on one, so the two never disagree.
  setup.context.isEncryptedResponse = isEncryptedResponse_ || (params && params->isEncryptedResponse());
  setup.context.compressResponse = settings_ && settings_->compressAuctionResponse();
  setup.queue = queue_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    setup.retryIntervalMs = retryIntervalMs_;
  }
  auto run = std::make_shared<QBAuctionRun>(
      std::move(setup), std::move(params), std::move(completion),
      [weak = weak_from_this()](const QBAuctionRun* finished) {
        if (auto self = weak.lock()) self->runFinished(finished);
      });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    runs_.push_back(run);
  }
  run->start();
}

void QBAuctionHandler::runFinished(const QBAuctionRun* run) {
  std::shared_ptr<QBAuctionRun> released;  // dropped after the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(runs_.begin(), runs_.end(), [run](const auto& r) { return r.get() == run; });
  if (it != runs_.end()) {
    released = std::move(*it);
    runs_.erase(it);
  }
}

void QBAuctionHandler::cancelAuctions() {
  std::vector<std::shared_ptr<QBAuctionRun>> runs;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    runs = runs_;
  }
  for (auto& run : runs) run->cancel();
}

size_t QBAuctionHandler::activeAuctionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_.size();
}

size_t QBAuctionHandler::waitingToRetryCountForTesting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(runs_.begin(), runs_.end(), [](const auto& run) {
    return run->state() == QBAuctionRunState::WaitingToRetry;
  }));
}

void QBAuctionHandler::setTrialRetryIntervalMs(int64_t intervalMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  retryIntervalMs_ = std::max<int64_t>(intervalMs, 0);
}

int64_t QBAuctionHandler::trialRetryIntervalMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return retryIntervalMs_;
}
