#pragma once
// The own network's data requests: the controller page download, the page's
// file downloads and the requests its handlers make. A data manager retries
// a request that timed out, turns an HTTP status outside 200-399 into an error
// and delivers the answer where the caller asks; it owns the download manager
// through which the own network reaches its disk cache.
//
// Two implementations share one contract and differ where noted:
// QBNDataManager (the default) and PMADataManager; QBNDataManagerFactory
// picks one from the configuration's shouldUseURLSession.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/data/QBNDataManagerConfiguration.h"
#include "platform/dispatch.h"
#include "platform/net.h"

inline constexpr char kPMAHTTPErrorDomain[] = "PMAHTTPErrorDomain";
// User-defaults keys written when a data manager is made.
inline constexpr char kQBNSdkVersionKey[] = "QBNSdkVersion";
inline constexpr char kQBNShouldGatherInformationKey[] = "shouldGatherInformationAndSendReportsToController";

// The answer of a request: the response and body of the last attempt, and
// its error - a transport error of the URL-loading domain (response absent),
// or for a status below 200 or above 399 an error of kPMAHTTPErrorDomain whose
// code is the status and whose message is the status's standard text
// (response and body present).
using QBNDataRequestCompletion = std::function<void(platform::DataTaskResult)>;

class QBNDataManagerProtocol {
 public:
  virtual ~QBNDataManagerProtocol() = default;

  // Sends `request` and answers once, never inside the call. A time-out
  // (-1001) is sent again while the attempts budget (config().retryNumber,
  // counting the first attempt) allows: at once when retryDelay is below 1,
  // else after retryDelay seconds from the main queue; an attempt that is
  // retried is not answered. Any other error is answered as it is.
  //
  // Where the answer runs: QBNDataManager adds it to `queue`, or without one
  // runs it on the session's delivery thread (the default global queue); a
  // missing completion is fine. PMADataManager answers on `queue` (the
  // default global queue without one); without a completion the request is
  // still sent and nothing is answered.
  virtual void sendDataRequest(platform::URLRequest request, platform::QueueRef queue,
                               QBNDataRequestCompletion completion) = 0;

  virtual QBNDataManagerConfiguration config() const = 0;
  virtual void setConfig(const QBNDataManagerConfiguration& config) = 0;
  virtual std::shared_ptr<PMADownloadManager> downloadMgr() const = 0;
  virtual void setDownloadMgr(std::shared_ptr<PMADownloadManager> downloadMgr) = 0;
};

// What the two data managers share: settings, the download manager, the
// creation steps and the rules for answers and retries. Thread-safe.
class QBNDataManagerBase : public QBNDataManagerProtocol, public std::enable_shared_from_this<QBNDataManagerBase> {
 public:
  void sendDataRequest(platform::URLRequest request, platform::QueueRef queue,
                       QBNDataRequestCompletion completion) override;
  // The same with an explicit attempts budget (at least one attempt).
  virtual void sendDataRequest(platform::URLRequest request, int32_t retryNumber, platform::QueueRef queue,
                               QBNDataRequestCompletion completion) = 0;

  QBNDataManagerConfiguration config() const override;
  // Logs "<class> | setConfig | <description>" (level 1, tag 5).
  void setConfig(const QBNDataManagerConfiguration& config) override;
  std::shared_ptr<PMADownloadManager> downloadMgr() const override;
  void setDownloadMgr(std::shared_ptr<PMADownloadManager> downloadMgr) override;

  // The result of one attempt as the caller gets it (the status rule above).
  static platform::DataTaskResult answerFor(platform::DataTaskResult result);
  // Whether an attempt with this result and budget is sent again.
  static bool shouldRetry(const platform::DataTaskResult& result, int32_t retryNumber);

 protected:
  QBNDataManagerBase() = default;
  virtual const char* className() const = 0;
  // Creation, in order: setConfig; a new download manager; obsolete cache
  // folders removed under Library/Caches, then under Documents; "QBNSdkVersion"
  // set to the SDK version when it differs; the information-gathering flag set
  // to YES (and the defaults synchronised) when absent.
  void initWithConfiguration(const QBNDataManagerConfiguration& config);
  // Runs `send` at once when the configured delay is below 1 s, else from the
  // main queue after the delay.
  void retryLater(platform::Block send) const;

 private:
  mutable std::mutex mutex_;
  QBNDataManagerConfiguration config_;
  std::shared_ptr<PMADownloadManager> downloadMgr_;
};

// Over the shared URL session. A pending delayed retry does not keep the
// manager alive: when the manager is gone by then, the retry is not sent and
// the time-out of the last attempt is answered.
class QBNDataManager : public QBNDataManagerBase {
 public:
  // With the default configuration.
  static std::shared_ptr<QBNDataManager> init();
  static std::shared_ptr<QBNDataManager> initWithConfiguration(const QBNDataManagerConfiguration& config);

  using QBNDataManagerBase::sendDataRequest;
  void sendDataRequest(platform::URLRequest request, int32_t retryNumber, platform::QueueRef queue,
                       QBNDataRequestCompletion completion) override;

 protected:
  const char* className() const override { return "QBNDataManager"; }
};

// The connection twin: each attempt answers on the caller's queue, and a
// pending retry keeps the manager alive until it has run.
class PMADataManager : public QBNDataManagerBase {
 public:
  static std::shared_ptr<PMADataManager> init();
  static std::shared_ptr<PMADataManager> initWithConfiguration(const QBNDataManagerConfiguration& config);

  using QBNDataManagerBase::sendDataRequest;
  void sendDataRequest(platform::URLRequest request, int32_t retryNumber, platform::QueueRef queue,
                       QBNDataRequestCompletion completion) override;

 protected:
  const char* className() const override { return "PMADataManager"; }
};

class QBNDataManagerFactory {
 public:
  // A QBNDataManager when shouldUseURLSession, else a PMADataManager.
  static std::shared_ptr<QBNDataManagerProtocol> createDataManagerWithConfiguration(
      const QBNDataManagerConfiguration& config);
};
