#pragma once
// The auction client of one ad unit: builds the auction request, posts it to
// the auctioneer URL of the auction settings with its own trials, parses the
// answer into a QBAuctionResponseParams, and fires the auction's notification
// URLs. Wire format, codes and retry rules: docs/auction.md.
//
// executeAuctionWithParams contract:
//  * returns at once; the request is built, compressed and encrypted on the
//    handler's serial queue ("com.quilbrn.auctionHandler"), never on the
//    caller's stack;
//  * the completion runs exactly once, on that queue, with a success or a
//    failure: on an answer, on no fill (204), on a malformed answer, on the
//    time-out of the last trial, after the last retry, on cancelAuctions() and
//    when the handler is destroyed with the auction under way (1009);
//  * a trial that fails with a transport error, a 5xx status or its time-out
//    (settings' timeout, on the platform clock) is tried again after
//    trialRetryIntervalMs(), up to the settings' maxTrials trials in all
//    (at least one); every other failure ends the auction at once;
//  * an answer that arrives after its trial timed out is dropped (the transfer
//    is cancelled at the time-out).
//
// Thread-safe: every method may be called from any thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/QBAuctionSettings.h"
#include "mediation/QBAuctionRequestParams.h"
#include "mediation/QBAuctionResponseParams.h"
#include "platform/dispatch.h"
#include "platform/json.h"

class QBAuctionRun;

class QBAuctionHandler : public std::enable_shared_from_this<QBAuctionHandler> {
 public:
  using CompletionBlock = std::function<void(std::shared_ptr<QBAuctionResponseParams>)>;

  static constexpr int64_t kDefaultTrialRetryIntervalMs = 1000;
  static constexpr const char* kQueueLabel = "com.quilbrn.auctionHandler";
  // Event ids of the conversion-value report (rewarded video, interstitial).
  static constexpr int kConversionValueEventIdRv = 81350;
  static constexpr int kConversionValueEventIdIs = 82350;

  // One client per ad-unit manager. isEncryptedResponse: ask for (and expect)
  // an encrypted answer even when a request does not; isOneToken: sent as the
  // request's "isOneToken"; sessionId: the request's "sessionId". A null
  // settings record behaves as settings without an auctioneer URL: every
  // auction fails with 1001.
  static std::shared_ptr<QBAuctionHandler> initWithAuctionSettings(std::shared_ptr<const QBAuctionSettings> settings,
                                                                   bool isEncryptedResponse, bool isOneToken,
                                                                   std::string sessionId);
  // Cancels the auctions under way (each completes with 1009).
  ~QBAuctionHandler();
  QBAuctionHandler(const QBAuctionHandler&) = delete;
  QBAuctionHandler& operator=(const QBAuctionHandler&) = delete;

  // Runs one auction (see the contract above). A null params record counts as
  // an empty one.
  void executeAuctionWithParams(std::shared_ptr<const QBAuctionRequestParams> params, CompletionBlock completion);
  // Ends every auction under way with 1009 "auction cancelled" (their
  // completions are posted to the queue; a completion already posted is not
  // called twice). Any thread.
  void cancelAuctions();
  // Auctions started and not yet completed.
  size_t activeAuctionCount() const;
  // Auctions whose last trial failed and whose retry timer runs.
  size_t waitingToRetryCountForTesting() const;

  // Wait between a failed trial and the next one (default 1000 ms; negative
  // counts as 0). Applies to trials scheduled afterwards.
  void setTrialRetryIntervalMs(int64_t intervalMs);
  int64_t trialRetryIntervalMs() const;

  const std::shared_ptr<const QBAuctionSettings>& auctionSettings() const { return settings_; }
  bool isEncryptedResponse() const { return isEncryptedResponse_; }
  bool isOneToken() const { return isOneToken_; }
  const std::string& sessionId() const { return sessionId_; }
  // The queue that runs the auctions and their completions.
  const platform::QueueRef& queue() const { return queue_; }

  // --- notification reports; each returns at once and reports nothing back.
  // instanceType: 1 non-bidder, 2 bidder (the winner's). Macro values:
  // docs/auction.md, "Notification URLs". A null winner item reports nothing.

  // Fires the winner's and the generic "nurl" URLs.
  void reportLoadSuccessForGenericNotifications(const std::shared_ptr<QBAuctionResponseItem>& genericNotifications,
                                                const std::shared_ptr<QBAuctionResponseItem>& winnerItem,
                                                int instanceType);
  // Fires the "lurl" URLs of every other instance of `waterfall` (instance
  // names in waterfall order) whose item in `serverData` has any.
  void reportAuctionLoseWithWaterfall(const std::vector<std::string>& waterfall,
                                      const std::map<std::string, std::shared_ptr<QBAuctionResponseItem>>& serverData,
                                      const std::shared_ptr<QBAuctionResponseItem>& genericNotifications,
                                      const std::shared_ptr<QBAuctionResponseItem>& winnerItem,
                                      int winnerInstanceType);
  // Fires the "burl" and "impressionUrls" URLs of the winner and of the
  // generic notifications, with the placement name.
  void reportImpressionForGenericNotifications(const std::shared_ptr<QBAuctionResponseItem>& genericNotifications,
                                               const std::shared_ptr<QBAuctionResponseItem>& winnerItem,
                                               int instanceType, const std::string& placementName);
  // When the last answer carried conversion-value parameters (a non-empty
  // object) and the shown item a conversion value: hands the value to the
  // shared QBConversionValue (which never lowers it) and, for rewarded video
  // (adUnit 3) and interstitial (2), logs the conversion-value event in the
  // ad unit's events engine with providerEventDictionary plus "auctionId",
  // "sessionDepth", "conversionValue" and "stored". Otherwise nothing.
  void reportAuctionConversionValueForParameters(const platform::Json& parameters, std::optional<int> cvValue,
                                                 const std::string& auctionId, int sessionDepth, int adUnit,
                                                 const platform::Json& providerEventDictionary);

 private:
  QBAuctionHandler(std::shared_ptr<const QBAuctionSettings> settings, bool isEncryptedResponse, bool isOneToken,
                   std::string sessionId);
  void runFinished(const QBAuctionRun* run);

  const std::shared_ptr<const QBAuctionSettings> settings_;
  const bool isEncryptedResponse_;
  const bool isOneToken_;
  const std::string sessionId_;
  const platform::QueueRef queue_;

  mutable std::mutex mutex_;
  int64_t retryIntervalMs_ = kDefaultTrialRetryIntervalMs;
  std::vector<std::shared_ptr<QBAuctionRun>> runs_;
};
