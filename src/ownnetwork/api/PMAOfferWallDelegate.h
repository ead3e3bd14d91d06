#pragma once
// The offerwall's listener, given at offerwall initialisation. Every call is
// optional and a small interface of its own: a delegate derives from
// PMAOfferWallDelegate and the calls it implements. The publisher reaches it
// through the functions of PMAOfferWallCalls, which do nothing for a missing
// delegate or a call it does not implement (the credit then answers NO).
//
// The publisher's command handlers call it on the thread that delivered the
// controller page's command (the main queue for page messages).
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

class PMAOfferWallDelegate {
 public:
  virtual ~PMAOfferWallDelegate() = default;
};

class PmaInitOfferWallSuccessCall {
 public:
  virtual ~PmaInitOfferWallSuccessCall() = default;
  virtual void pmaInitOfferWallSuccess() = 0;
};
class PmaInitOfferWallFailedWithErrorCall {
 public:
  virtual ~PmaInitOfferWallFailedWithErrorCall() = default;
  virtual void pmaInitOfferWallFailedWithError(const platform::Error& error) = 0;
};
// `placementId`: none when the page gave none (or an empty one).
class PmaOfferWallShowSuccessCall {
 public:
  virtual ~PmaOfferWallShowSuccessCall() = default;
  virtual void pmaOfferWallShowSuccess(const std::optional<std::string>& placementId) = 0;
};
class PmaOfferWallShowFailedWithErrorCall {
 public:
  virtual ~PmaOfferWallShowFailedWithErrorCall() = default;
  virtual void pmaOfferWallShowFailedWithError(const platform::Error& error) = 0;
};
class PmaOfferWallDidCloseCall {
 public:
  virtual ~PmaOfferWallDidCloseCall() = default;
  virtual void pmaOfferWallDidClose() = 0;
};
class PmaOfferwallDidFailGettingCreditWithErrorCall {
 public:
  virtual ~PmaOfferwallDidFailGettingCreditWithErrorCall() = default;
  virtual void pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) = 0;
};
// Verified credits: "credits", "totalCredits", "totalCreditsFlag" (each when
// the page sent it). YES accepts them, and the page is told they arrived.
class PmaOfferWallDidReceiveCreditCall {
 public:
  virtual ~PmaOfferWallDidReceiveCreditCall() = default;
  virtual bool pmaOfferWallDidReceiveCredit(const platform::Json& creditInfo) = 0;
};
class PmaOfferwallDidReceiveNotificationOnEventCall {
 public:
  virtual ~PmaOfferwallDidReceiveNotificationOnEventCall() = default;
  virtual void pmaOfferwallDidReceiveNotificationOnEvent(const std::string& eventName,
                                                         const platform::Json& extData) = 0;
};

// Each call reaches the delegate only when it implements it.
namespace PMAOfferWallCalls {

using Delegate = std::shared_ptr<PMAOfferWallDelegate>;

inline void pmaInitOfferWallSuccess(const Delegate& d) {
  if (auto* call = dynamic_cast<PmaInitOfferWallSuccessCall*>(d.get())) call->pmaInitOfferWallSuccess();
}
inline void pmaInitOfferWallFailedWithError(const Delegate& d, const platform::Error& error) {
  if (auto* call = dynamic_cast<PmaInitOfferWallFailedWithErrorCall*>(d.get())) {
    call->pmaInitOfferWallFailedWithError(error);
  }
}
inline void pmaOfferWallShowSuccess(const Delegate& d, const std::optional<std::string>& placementId) {
  if (auto* call = dynamic_cast<PmaOfferWallShowSuccessCall*>(d.get())) call->pmaOfferWallShowSuccess(placementId);
}
inline void pmaOfferWallShowFailedWithError(const Delegate& d, const platform::Error& error) {
  if (auto* call = dynamic_cast<PmaOfferWallShowFailedWithErrorCall*>(d.get())) {
    call->pmaOfferWallShowFailedWithError(error);
  }
}
inline void pmaOfferWallDidClose(const Delegate& d) {
  if (auto* call = dynamic_cast<PmaOfferWallDidCloseCall*>(d.get())) call->pmaOfferWallDidClose();
}
inline void pmaOfferwallDidFailGettingCreditWithError(const Delegate& d, const platform::Error& error) {
  if (auto* call = dynamic_cast<PmaOfferwallDidFailGettingCreditWithErrorCall*>(d.get())) {
    call->pmaOfferwallDidFailGettingCreditWithError(error);
  }
}
// NO without a delegate that implements it.
inline bool pmaOfferWallDidReceiveCredit(const Delegate& d, const platform::Json& creditInfo) {
  auto* call = dynamic_cast<PmaOfferWallDidReceiveCreditCall*>(d.get());
  return call && call->pmaOfferWallDidReceiveCredit(creditInfo);
}
inline void pmaOfferwallDidReceiveNotificationOnEvent(const Delegate& d, const std::string& eventName,
                                                      const platform::Json& extData) {
  if (auto* call = dynamic_cast<PmaOfferwallDidReceiveNotificationOnEventCall*>(d.get())) {
    call->pmaOfferwallDidReceiveNotificationOnEvent(eventName, extData);
  }
}

}  // namespace PMAOfferWallCalls
