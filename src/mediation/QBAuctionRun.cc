#include "mediation/QBAuctionRun.h"

#include <algorithm>
#include <utility>

#include "foundation/QBLoggerManager.h"

namespace {

std::string fallbackForCode(int code) {
  switch (code) {
    case QBAuctionErrorCode::kRequestNotBuilt: return "request_error";
    case QBAuctionErrorCode::kNoFill: return "no_fill";
    case QBAuctionErrorCode::kUndecodableAnswer: return "decode_error";
    case QBAuctionErrorCode::kMalformedAnswer: return "parse_error";
    case QBAuctionErrorCode::kTimeout: return "timeout";
    case QBAuctionErrorCode::kBadWaterfall: return "waterfall_error";
    case QBAuctionErrorCode::kCancelled: return "cancelled";
    default: return "http_error";
  }
}

}  // namespace

const char* QBAuctionRunStateName(QBAuctionRunState state) {
  switch (state) {
    case QBAuctionRunState::Idle: return "IDLE";
    case QBAuctionRunState::Building: return "BUILDING";
    case QBAuctionRunState::WaitingForAnswer: return "WAITING_FOR_ANSWER";
    case QBAuctionRunState::Evaluating: return "EVALUATING";
    case QBAuctionRunState::WaitingToRetry: return "WAITING_TO_RETRY";
    case QBAuctionRunState::Completed: return "COMPLETED";
  }
  return "UNKNOWN";
}

void QBAuctionRun::setStateLocked(QBAuctionRunState state) {
  if (state == state_) return;
  QB_LOG(std::string("auction state ") + QBAuctionRunStateName(state_) + " -> " + QBAuctionRunStateName(state),
         QBLogLevelVerbose, QBLogTagNetwork);
  state_ = state;
}

QBAuctionRunState QBAuctionRun::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

QBAuctionRun::QBAuctionRun(Setup setup, std::shared_ptr<const QBAuctionRequestParams> params, Completion completion,
                           Finished finished)
    : setup_(std::move(setup)),
      params_(params ? std::move(params) : std::make_shared<const QBAuctionRequestParams>()),
      completion_(std::move(completion)),
      finished_(std::move(finished)),
      // The settings bound maxTrials to at most QBAuctionSettings::kMaxTrials.
      maxTrials_(static_cast<int>(std::max<int64_t>(setup_.settings ? setup_.settings->maxTrials() : 1, 1))) {}

void QBAuctionRun::start() {
  setup_.queue->async([weak = weak_from_this()] {
    if (auto run = weak.lock()) run->begin();
  });
}

void QBAuctionRun::begin() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != QBAuctionRunState::Idle) return;
    setStateLocked(QBAuctionRunState::Building);
  }
  if (!setup_.settings || setup_.settings->auctioneerURL().empty()) {
    fail(QBAuctionErrorCode::kRequestNotBuilt, "auction request could not be built - no auctioneer URL",
         "request_error");
    return;
  }
  auto& utils = QBAuctionDataUtils::sharedInstance();
  const std::string json = utils.buildAuctionRequest(*params_, setup_.context);
  auto encoded = utils.encodeAuctionRequest(json, setup_.settings->encryptionVersion(),
                                            setup_.settings->compressAuctionRequest());
  if (!encoded.ok()) {
    fail(QBAuctionErrorCode::kRequestNotBuilt, "auction request could not be built - " + encoded.error().message,
         "request_error");
    return;
  }
  encoded_ = std::move(encoded).value();
  startTrial();
}

void QBAuctionRun::startTrial() {
  int trial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == QBAuctionRunState::Completed) return;
    trial = ++trial_;
    setStateLocked(QBAuctionRunState::WaitingForAnswer);
  }
  QB_LOG("auction request for " + params_->adUnit() + " - trial " + std::to_string(trial) + " of " +
             std::to_string(maxTrials_),
         QBLogLevelVerbose, QBLogTagNetwork);

  const int64_t timeoutMs = setup_.settings->timeout();
  platform::URLRequest request;
  request.url = setup_.settings->auctioneerURL();
  request.method = "POST";
  // The protocol compresses (and encrypts) the answer itself when the
  // configuration asks for it; HTTP-level gzip on top would only cost both
  // ends time.
  request.headers = {{"Content-Type", "application/json"}, {"Accept-Encoding", "identity"}};
  request.body = encoded_.body;
  // The platform-clock timer below decides the time-out; the transfer's own
  // limit is only a backstop for a timer that cannot fire.
  request.timeoutSeconds = static_cast<double>(timeoutMs) / 1000.0 + 1.0;
  request.ignoreLocalCache = true;
  request.maxResponseBytes = QBAuctionDataUtils::kMaxAnswerBytes;

  std::weak_ptr<QBAuctionRun> weak = weak_from_this();
  auto task = platform::URLSession::shared()->dataTask(
      std::move(request), setup_.queue, [weak, trial](platform::DataTaskResult result) {
        if (auto run = weak.lock()) run->onAnswer(trial, std::move(result));
      });
  auto timer = platform::Timer::once(setup_.queue, static_cast<double>(timeoutMs), [weak, trial] {
    if (auto run = weak.lock()) run->onTimeout(trial);
  });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == QBAuctionRunState::Completed) {
      timer->cancel();
      return;  // cancelled in between; the task was never started
    }
    task_ = task;
    timer_ = timer;
  }
  task->resume();
}

bool QBAuctionRun::settleTrial(int trial) {
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != QBAuctionRunState::WaitingForAnswer || trial != trial_) return false;
    setStateLocked(QBAuctionRunState::Evaluating);
    timer = std::move(timer_);
  }
  if (timer) timer->cancel();
  return true;
}

void QBAuctionRun::onAnswer(int trial, platform::DataTaskResult result) {
  if (!settleTrial(trial)) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_.reset();
  }
  if (result.error) {
    const auto& error = *result.error;
    if (error.domain == platform::URLError::kDomain && error.code == platform::URLErrorCode::TimedOut) {
      trialFailed(QBAuctionErrorCode::kTimeout, "auction timed out - " + error.message, "timeout", Outcome::Retryable);
    } else {
      trialFailed(QBAuctionErrorCode::kHttpError,
                  "auction request failed - " + error.message + " (" + std::to_string(error.code) + ")",
                  "http_error", Outcome::Retryable);
    }
    return;
  }
  const int status = result.response ? result.response->statusCode : 0;
  if (status == 204) {
    fail(QBAuctionErrorCode::kNoFill, "auction no fill (status 204)", "no_fill");
    return;
  }
  if (status != 200) {
    trialFailed(QBAuctionErrorCode::kHttpError, "auction request failed - status " + std::to_string(status),
                "http_error", status >= 500 ? Outcome::Retryable : Outcome::Final);
    return;
  }
  handleAnswerBody(result.body);
}

void QBAuctionRun::handleAnswerBody(const std::string& body) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  auto payload = utils.decodeAuctionAnswer(body, setup_.context.isEncryptedResponse, encoded_.answerKey);
  if (!payload.ok()) {
    fail(payload.error().code, payload.error().message, fallbackForCode(payload.error().code));
    return;
  }
  auto parsed = utils.parseAuctionAnswer(std::move(payload).value());
  if (!parsed.ok()) {
    fail(parsed.error().code, parsed.error().message, fallbackForCode(parsed.error().code));
    return;
  }
  auto response = std::move(parsed).value();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    response->setErrorCode(lastErrorCode_);
    response->setErrorMessage(lastErrorMessage_);
  }
  QB_LOG("auction success - auctionId = " + response->auctionId() + ", waterfall size = " +
             std::to_string(response->waterfall().size()),
         QBLogLevelVerbose, QBLogTagNetwork);
  finish(std::move(response));
}

void QBAuctionRun::onTimeout(int trial) {
  if (!settleTrial(trial)) return;
  std::shared_ptr<platform::DataTask> task;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task = std::move(task_);
  }
  if (task) task->cancel();
  trialFailed(QBAuctionErrorCode::kTimeout,
              "auction timed out after " + std::to_string(setup_.settings->timeout()) + " ms", "timeout",
              Outcome::Retryable);
}

void QBAuctionRun::trialFailed(int code, std::string message, std::string fallback, Outcome outcome) {
  int trial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == QBAuctionRunState::Completed) return;
    lastErrorCode_ = code;
    lastErrorMessage_ = message;
    trial = trial_;
  }
  if (outcome == Outcome::Final || trial >= maxTrials_) {
    fail(code, std::move(message), std::move(fallback));
    return;
  }
  QB_LOG("auction trial " + std::to_string(trial) + " failed (" + std::to_string(code) + " - " + message +
             "), trying again in " + std::to_string(setup_.retryIntervalMs) + " ms",
         QBLogLevelError, QBLogTagNetwork);
  auto timer = platform::Timer::once(setup_.queue, static_cast<double>(setup_.retryIntervalMs),
                                     [weak = weak_from_this()] {
                                       if (auto run = weak.lock()) run->startTrial();
                                     });
  std::lock_guard<std::mutex> lock(mutex_);
  if (state_ == QBAuctionRunState::Completed) {
    timer->cancel();
    return;
  }
  timer_ = std::move(timer);
  setStateLocked(QBAuctionRunState::WaitingToRetry);
}

void QBAuctionRun::fail(int code, std::string message, std::string fallback) {
  auto response = std::make_shared<QBAuctionResponseParams>();
  response->setIsSuccess(false);
  response->setErrorCode(code);
  response->setErrorMessage(message);
  response->setAuctionFallback(std::move(fallback));
  if (finish(std::move(response))) {
    QB_LOG("auction failed - " + std::to_string(code) + " " + message, QBLogLevelError, QBLogTagNetwork);
  }
}

void QBAuctionRun::cancel() {
  fail(QBAuctionErrorCode::kCancelled, "auction cancelled", "cancelled");
}

bool QBAuctionRun::finish(std::shared_ptr<QBAuctionResponseParams> response) {
  std::shared_ptr<platform::DataTask> task;
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == QBAuctionRunState::Completed) return false;
    setStateLocked(QBAuctionRunState::Completed);
    response->setAuctionTrial(trial_);
    task = std::move(task_);
    timer = std::move(timer_);
  }
  if (timer) timer->cancel();
  if (task) task->cancel();
  response->setElapsedTime(measurement_.getMeasuredDuration());
  if (completion_) {
    setup_.queue->async([completion = completion_, response = std::move(response)] { completion(response); });
  }
  if (finished_) finished_(this);
  return true;
}
