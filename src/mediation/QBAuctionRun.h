#pragma once
// One auction of QBAuctionHandler: its trials, timers and the one completion.
// Internal to the handler; see QBAuctionHandler.h for the contract.
//
// All work runs on the handler's queue; cancel() may come from any thread.
// The handler owns the run until it finishes; timers and transfers hold it
// weakly.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/QBAuctionSettings.h"
#include "foundation/DurationMeasurement.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionRequestParams.h"
#include "mediation/QBAuctionResponseParams.h"
#include "platform/dispatch.h"
#include "platform/net.h"

enum class QBAuctionRunState {
  Idle,              // made, not started
  Building,          // building and encoding the request
  WaitingForAnswer,  // a trial is on the wire
  Evaluating,        // the trial's answer (or time-out) is being examined
  WaitingToRetry,    // a trial failed; the retry timer runs
  Completed,         // the completion has been posted
};
const char* QBAuctionRunStateName(QBAuctionRunState state);

class QBAuctionRun : public std::enable_shared_from_this<QBAuctionRun> {
 public:
  using Completion = std::function<void(std::shared_ptr<QBAuctionResponseParams>)>;
  using Finished = std::function<void(const QBAuctionRun*)>;

  struct Setup {
    std::shared_ptr<const QBAuctionSettings> settings;
    QBAuctionRequestContext context;
    int64_t retryIntervalMs = 0;
    platform::QueueRef queue;
  };

  QBAuctionRun(Setup setup, std::shared_ptr<const QBAuctionRequestParams> params, Completion completion,
               Finished finished);

  // Posts the first step to the queue.
  void start();
  // Ends the auction with 1009 unless it already ended.
  void cancel();
  QBAuctionRunState state() const;

 private:
  enum class Outcome { Retryable, Final };

  void begin();
  void startTrial();
  void onAnswer(int trial, platform::DataTaskResult result);
  void onTimeout(int trial);
  // WaitingForAnswer -> Evaluating for the current trial; false when `trial`
  // is not the trial on the wire (a late answer, a time-out that lost).
  bool settleTrial(int trial);
  // With mutex_ held.
  void setStateLocked(QBAuctionRunState state);
  void trialFailed(int code, std::string message, std::string fallback, Outcome outcome);
  void fail(int code, std::string message, std::string fallback);
  // Completes the run; false when it had already completed.
  bool finish(std::shared_ptr<QBAuctionResponseParams> response);
  void handleAnswerBody(const std::string& body);

  const Setup setup_;
  const std::shared_ptr<const QBAuctionRequestParams> params_;
  const Completion completion_;
  const Finished finished_;
  const DurationMeasurement measurement_;
  const int maxTrials_;

  QBEncodedAuctionRequest encoded_;  // set by begin(), then only read

  mutable std::mutex mutex_;
  QBAuctionRunState state_ = QBAuctionRunState::Idle;
  int trial_ = 0;
  int lastErrorCode_ = 0;
  std::string lastErrorMessage_;
  std::shared_ptr<platform::DataTask> task_;
  std::shared_ptr<platform::Timer> timer_;
};
