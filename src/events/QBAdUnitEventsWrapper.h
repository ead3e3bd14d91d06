#pragma once
// The event sender of one ad-unit manager or waterfall instance.
//
// For every event it asks its source for the common data
// (getEventsAdditionalDataDictionary with the event kind), puts the event's own
// data on top (the event's own keys win), maps the kind to the event id of the
// ad unit at the wrapper's level and hands the event to the ad unit's events
// engine (rewarded video "events", interstitial "InterstitialEvents"). A kind
// without an id sends nothing and does not ask the source. After
// releaseMemory() (or once the source is gone) events still go out, with their
// own data only.
//
// Thread-safe: every sender may be called from any thread and returns at
// once (the engine does the rest on its queue). Key names of the event data:
// docs/events.md.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "events/QBAdUnitEventsProtocol.h"
#include "events/QBAdUnitEventsTables.h"
#include "events/QBEventKinds.h"
#include "quillborne/QBAdUnit.h"

class QBAdUnitEventsWrapper;

// Init flow: kinds 0 and 3.
class QBEventsInitFlow {
 public:
  explicit QBEventsInitFlow(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  // Kind 0, {"managerName", "loadingMode"}.
  void startedWithManager(const std::string& managerName, const std::string& loadingMode);
  // Kind 3, {"duration"} in ms.
  void endedWithDuration(int64_t duration);

 private:
  QBAdUnitEventsWrapper& wrapper_;
};

// Load: kinds 4 to 8, 20 and 21.
class QBEventsLoad {
 public:
  explicit QBEventsLoad(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  // Kind 4; "publisherLoad": true only when set.
  void loadAdWithPublisherLoad(bool publisherLoad);
  // Kind 5, "duration"; "publisherLoad": true only when set.
  void sucessWithDuration(int64_t duration, bool publisherLoad);
  // Kind 6, "duration", "errorCode".
  void failedWithDuration(int64_t duration, int errorCode);
  // Kind 7, "duration", "errorCode", "reason" when not empty.
  void failedWithReason(const std::string& reason, int64_t duration, int errorCode);
  // Kind 8, "duration", "errorCode".
  void noFillWithDuration(int64_t duration, int errorCode);
  // Kind 20 when available, else 21; "duration"; when expired also
  // "errorCode" 1057 and "reason" "loaded ads are expired".
  void availabilityChanged(bool available, int64_t timeSpentInLastAvailabilityInMs, bool isAdExpired);

 private:
  QBAdUnitEventsWrapper& wrapper_;
};

// Auction: kinds 29 to 33 and 37.
class QBEventsAuction {
 public:
  explicit QBEventsAuction(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  void request();                                                                  // 29
  void failedWithDuration(int64_t duration, int code, const std::string& reason);  // 30
  void successWithDuration(int64_t duration);                                      // 31
  void requestWaterfall(const std::string& waterfall);                             // 32, "ext1"
  void responseWaterfall(const std::string& waterfall);                            // 33, "ext1"
  void adUnitCappedWithAuctionId(const std::string& auctionId);                    // 37, "auctionId"

 private:
  QBAdUnitEventsWrapper& wrapper_;
};

// Bidder tokens: kinds 22 to 28. Provider data (a JSON object) is merged in
// first, the named values after it.
class QBEventsToken {
 public:
  explicit QBEventsToken(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  void collect();                                                              // 22
  void completedWithDuration(int64_t duration);                                // 23
  void failedWithReason(const std::string& reason);                            // 24
  void collectForInstanceWithProviderData(const platform::Json& providerData);  // 25
  void completedWithProviderData(const platform::Json& providerData, int64_t duration);  // 26
  void failedWithProviderData(const platform::Json& providerData, int64_t duration,
                              const std::string& reason);                      // 27
  void timedOutWithProviderData(const platform::Json& providerData, int64_t duration);  // 28

 private:
  QBAdUnitEventsWrapper& wrapper_;
};

// Ad interaction: kinds 9 to 19, 34 and 35; the placement goes in
// "placement".
class QBEventsAdInteraction {
 public:
  explicit QBEventsAdInteraction(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  void showWithPlacementName(const std::string& placementName);  // 9
  // 10, "status" "true" or "false".
  void showChanceWithStatus(bool status);
  void showSuccessWithPlacementName(const std::string& placementName);  // 11
  // 12: "errorCode", "reason" (the message) and "ext1" (the expired
  // instances) when not empty.
  void showFailedWithPlacementName(const std::string& placementName, int errorCode,
                                   const std::string& errorMessage, const std::string& expiredSmashes);
  void adStartedWithPlacementName(const std::string& placementName);  // 13
  void adEndedWithPlacementName(const std::string& placementName);    // 14
  void adVisibleWithPlacementName(const std::string& placementName);  // 15
  void adOpenedWithPlacementName(const std::string& placementName);   // 16
  void adClickedWithPlacementName(const std::string& placementName);  // 17
  // 18, "ext1" = the available instances text.
  void adClosedWithPlacementName(const std::string& placementName, const std::string& availableInstances);
  // 19: "rewardName", "rewardAmount", "transTimestamp", "transId",
  // "timeAfterClosed", every server parameter as its own key, and
  // "dynamicUserId" when not empty.
  void adRewardedWithPlacementName(const std::string& placementName, const std::string& rewardName,
                                   int64_t rewardAmount, const std::string& timestamp, const std::string& transId,
                                   int64_t timeAfterClosed, const platform::Json& rewardedServerParams,
                                   const std::string& dynamicUserId);
  void placementCapped(const std::string& placementName);  // 34
  void sessionCapped();                                    // 35

 private:
  QBAdUnitEventsWrapper& wrapper_;
};

// Troubleshooting: kinds 38 to 58; each carries "reason".
class QBEventsTroubleshoot {
 public:
  explicit QBEventsTroubleshoot(QBAdUnitEventsWrapper& wrapper) : wrapper_(wrapper) {}
  // 38: "errorCode", "reason", "ext1" = the instance name.
  void notificationErrorWithCode(int code, const std::string& reason, const std::string& smashName);
  void networkAdapterNotAvailableWithReason(const std::string& reason);  // 39
  void adAdapterNotAvailableWithReason(const std::string& reason);       // 40
  void providerSettingsMissingWithReason(const std::string& reason);     // 41
  void biddingDataMissingWithProviderData(const platform::Json& providerData, const std::string& reason);  // 42
  void unexpectedInitSuccessWithReason(const std::string& reason);     // 43
  void unexpectedInitFailedWithReason(const std::string& reason);      // 44
  void unexpectedAuctionSuccessWithReason(const std::string& reason);  // 45
  void unexpectedAuctionFailedWithReason(const std::string& reason);   // 46
  void unexpectedLoadSuccessWithReason(const std::string& reason);     // 47
  void unexpectedLoadFailedWithReason(const std::string& reason);      // 48
  void unexpectedShowFailedWithReason(const std::string& reason);      // 49
  void unexpectedClosedWithReason(const std::string& reason);          // 50
  void unexpectedTimeoutWithReason(const std::string& reason);         // 51
  void loadFailedWithCode(int code, const std::string& reason);        // 52, also "errorCode"
  void internalErrorWithReason(const std::string& reason);             // 53
  void waterfallOverheadWithReason(const std::string& reason);         // 56
  void auctionSuccessfulRecoveryWithCode(int code, const std::string& reason);  // 57, also "errorCode"
  void adExpiredWithReason(const std::string& reason);                 // 58

 private:
  void send(int kind, const std::string& reason);
  QBAdUnitEventsWrapper& wrapper_;
};

class QBAdUnitEventsWrapper {
 public:
  // level: QBAdUnitEventsTables::kLevelMediation (0) or kLevelProvider (1).
  QBAdUnitEventsWrapper(QBAdUnit adUnit, int level, std::weak_ptr<QBAdUnitEventsProtocol> eventsInterface);
  static std::shared_ptr<QBAdUnitEventsWrapper> initWithAdunit(QBAdUnit adUnit, int level,
                                                               std::weak_ptr<QBAdUnitEventsProtocol> eventsInterface);
  QBAdUnitEventsWrapper(const QBAdUnitEventsWrapper&) = delete;
  QBAdUnitEventsWrapper& operator=(const QBAdUnitEventsWrapper&) = delete;

  // Lets go of the source; later events carry only their own data.
  void releaseMemory();

  QBEventsInitFlow& flowInit() { return flowInit_; }
  QBEventsLoad& load() { return load_; }
  QBEventsAuction& auction() { return auction_; }
  QBEventsToken& token() { return token_; }
  QBEventsAdInteraction& adInteraction() { return adInteraction_; }
  QBEventsTroubleshoot& troubleshoot() { return troubleshoot_; }

  const QBAdUnit& adUnit() const { return adUnit_; }
  int level() const { return level_; }
  // The id `kind` maps to for this wrapper's ad unit and level.
  std::optional<int> eventIdForKind(int kind) const;

  // Sends an event of `kind` with `data` (a JSON object) as its own data.
  void sendEvent(int kind, platform::Json data);

 private:
  const QBAdUnit adUnit_;
  const int level_;
  mutable std::mutex mutex_;
  std::weak_ptr<QBAdUnitEventsProtocol> source_;

  QBEventsInitFlow flowInit_{*this};
  QBEventsLoad load_{*this};
  QBEventsAuction auction_{*this};
  QBEventsToken token_{*this};
  QBEventsAdInteraction adInteraction_{*this};
  QBEventsTroubleshoot troubleshoot_{*this};
};
