#pragma once
// The own network's entry for what the mediation facade does not cover: its
// offerwall, its bidding token and its version. Ads of the own network's
// rewarded video and interstitial go through the facade (Quillborne.h), whose
// waterfalls hold the network. See docs/host.md.
//
// JSON values travel as compact UTF-8 JSON text.
#include <memory>
#include <optional>
#include <string>

#include "quillborne/QBError.h"
#include "quillborne/Quillborne.h"

namespace quillborne {

// The offerwall's listener, given at the offerwall's init; held weakly. Every
// call has a default that does nothing (the credit's declines it). Calls come
// on the thread that delivered the network page's command (the main queue).
class PMAOfferWallDelegate {
 public:
  virtual ~PMAOfferWallDelegate() = default;

  virtual void pmaInitOfferWallSuccess() {}
  virtual void pmaInitOfferWallFailedWithError(const QBError& /*error*/) {}
  // `placementId`: none when the page gave none.
  virtual void pmaOfferWallShowSuccess(const std::optional<std::string>& /*placementId*/) {}
  virtual void pmaOfferWallShowFailedWithError(const QBError& /*error*/) {}
  virtual void pmaOfferWallDidClose() {}
  virtual void pmaOfferwallDidFailGettingCreditWithError(const QBError& /*error*/) {}
  // Credits the offerwall's server signed and the library verified:
  // {"credits", "totalCredits", "totalCreditsFlag"}, each as the page sent it.
  // True accepts them: the page is told they arrived and the user's record is
  // stamped with the credit's time.
  virtual bool pmaOfferWallDidReceiveCredit(const std::string& /*creditInfoJson*/) { return false; }
  virtual void pmaOfferwallDidReceiveNotificationOnEvent(const std::string& /*eventName*/,
                                                         const std::string& /*extDataJson*/) {}
};

class QuillborneNetwork {
 public:
  QuillborneNetwork() = delete;

  // Starts the offerwall for `userId`; the listener hears the init's
  // outcome. `additionalParametersJson`: a JSON object of further
  // parameters for the network's page, or none. Returns at once.
  static void initOfferWallWithApplicationKey(const std::string& applicationKey, const std::string& userId,
                                              std::weak_ptr<PMAOfferWallDelegate> delegate,
                                              const std::optional<std::string>& additionalParametersJson = {});
  // Shows the offerwall over `viewController` (main queue); `parametersJson`:
  // a JSON object ("placementId" ...), "{}" for none. The listener hears the
  // show, the credits and the close.
  static void showOfferWallFromViewController(const Quillborne::ViewControllerRef& viewController,
                                              const std::string& parametersJson = "{}");
  // Asks the network's page for the user's credits; the listener hears them.
  static void getOfferWallCreditsWithApplicationKey(const std::string& applicationKey, const std::string& userId,
                                                    std::weak_ptr<PMAOfferWallDelegate> delegate);

  // The own network's bidding token (base64 text); none before there is one.
  // Read on the main queue: a caller elsewhere waits for it.
  static std::optional<std::string> getToken();
  // "7.3.1".
  static std::string getVersion();
};

}  // namespace quillborne
