#pragma once
// The calls a legacy product delegate (rewarded video, interstitial, banner
// made through the publisher's product API, without an ad instance) may take.
// Each is a small interface named after its call: a delegate derives from
// QBNProductDelegate and the calls it implements, and a call it does not
// implement is dropped (the caller looks with dynamic_cast).
//
// They are called on the thread that delivered the controller page's
// command (the main queue for page messages).
#include <string>

#include "ownnetwork/services/PMADemandSource.h"
#include "platform/json.h"
#include "platform/result.h"

// ---- Rewarded video.
class PmaRewardedVideoDidUpdateAdUnitsCall {
 public:
  virtual ~PmaRewardedVideoDidUpdateAdUnitsCall() = default;
  virtual void pmaRewardedVideoDidUpdateAdUnits(const platform::Json& configuration) = 0;
};
class PmaRewardedVideoDidFailInitWithErrorCall {
 public:
  virtual ~PmaRewardedVideoDidFailInitWithErrorCall() = default;
  virtual void pmaRewardedVideoDidFailInitWithError(const platform::Error& error) = 0;
};
class PmaRewardedVideoNoMoreOffersCall {
 public:
  virtual ~PmaRewardedVideoNoMoreOffersCall() = default;
  virtual void pmaRewardedVideoNoMoreOffers() = 0;
};
class PmaRewardedVideoWindowWillOpenCall {
 public:
  virtual ~PmaRewardedVideoWindowWillOpenCall() = default;
  virtual void pmaRewardedVideoWindowWillOpen() = 0;
};
class PmaRewardedVideoDidFailShowWithErrorCall {
 public:
  virtual ~PmaRewardedVideoDidFailShowWithErrorCall() = default;
  virtual void pmaRewardedVideoDidFailShowWithError(const platform::Error& error) = 0;
};
class PmaRewardedVideoDidReceiveCreditCall {
 public:
  virtual ~PmaRewardedVideoDidReceiveCreditCall() = default;
  virtual void pmaRewardedVideoDidReceiveCredit(const platform::Json& creditInfo) = 0;
};
class PmaRewardedVideoWindowDidCloseCall {
 public:
  virtual ~PmaRewardedVideoWindowDidCloseCall() = default;
  virtual void pmaRewardedVideoWindowDidClose() = 0;
};
class PmaRewardedVideoAdClickedCall {
 public:
  virtual ~PmaRewardedVideoAdClickedCall() = default;
  virtual void pmaRewardedVideoAdClicked() = 0;
};
class PmaRewardedVideoAdDidReceiveNotificationOnEventCall {
 public:
  virtual ~PmaRewardedVideoAdDidReceiveNotificationOnEventCall() = default;
  virtual void pmaRewardedVideoAdDidReceiveNotificationOnEvent(const std::string& eventName,
                                                               const platform::Json& extData) = 0;
};

// ---- Interstitial.
class PlovermarkISInitSuccessCall {
 public:
  virtual ~PlovermarkISInitSuccessCall() = default;
  virtual void plovermarkISInitSuccess() = 0;
};
class PlovermarkISInitFailedWithErrorCall {
 public:
  virtual ~PlovermarkISInitFailedWithErrorCall() = default;
  virtual void plovermarkISInitFailedWithError(const platform::Error& error) = 0;
};
class PlovermarkISLoadSuccessCall {
 public:
  virtual ~PlovermarkISLoadSuccessCall() = default;
  virtual void plovermarkISLoadSuccess() = 0;
};
class PlovermarkISLoadFailedWithErrorCall {
 public:
  virtual ~PlovermarkISLoadFailedWithErrorCall() = default;
  virtual void plovermarkISLoadFailedWithError(const platform::Error& error) = 0;
};
class PlovermarkISShowSuccessCall {
 public:
  virtual ~PlovermarkISShowSuccessCall() = default;
  virtual void plovermarkISShowSuccess() = 0;
};
class PlovermarkISShowFailWithErrorCall {
 public:
  virtual ~PlovermarkISShowFailWithErrorCall() = default;
  virtual void plovermarkISShowFailWithError(const platform::Error& error) = 0;
};
class PlovermarkISAdClosedCall {
 public:
  virtual ~PlovermarkISAdClosedCall() = default;
  virtual void plovermarkISAdClosed() = 0;
};
class PlovermarkISAdClickedCall {
 public:
  virtual ~PlovermarkISAdClickedCall() = default;
  virtual void plovermarkISAdClicked() = 0;
};
class PlovermarkISAdDidReceiveNotificationOnEventCall {
 public:
  virtual ~PlovermarkISAdDidReceiveNotificationOnEventCall() = default;
  virtual void plovermarkISAdDidReceiveNotificationOnEvent(const std::string& eventName,
                                                           const platform::Json& extData) = 0;
};

// ---- Banner.
class QBNBannerInitSuccessCall {
 public:
  virtual ~QBNBannerInitSuccessCall() = default;
  virtual void QBNBannerInitSuccess() = 0;
};
class QBNBannerInitFailedWithErrorCall {
 public:
  virtual ~QBNBannerInitFailedWithErrorCall() = default;
  virtual void QBNBannerInitFailedWithError(const platform::Error& error) = 0;
};
class QBNBannerShowSuccessCall {
 public:
  virtual ~QBNBannerShowSuccessCall() = default;
  virtual void QBNBannerShowSuccess() = 0;
};
