#pragma once
// The presentation library's class-level services that the own-network core
// uses (orientation facts, product names, the registry of ad-unit web views).
// The presentation library registers its implementation at start-up; while
// nothing is registered, sharedInstance() is null and the core answers as it
// would for an absent object (no call, empty answers).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/services/QBNNativeSessionConfiguration.h"
#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class View;
class ViewController;
}  // namespace platform

class QBNPresentationServicesP {
 public:
  virtual ~QBNPresentationServicesP() = default;

  // The registered services, or null. Any thread.
  static std::shared_ptr<QBNPresentationServicesP> sharedInstance();
  static void registerSharedInstance(std::shared_ptr<QBNPresentationServicesP> services);

  // The rest: main queue only.

  // The application's orientation data as the page receives it (the
  // dictionary representation: strings "currentDeviceOrientation",
  // "plistOrientation", "windowOrientation", ...); the application delegate's
  // answer is asked only when allowed.
  virtual platform::Json applicationOrientationData(bool appDelegateDataAllowed) const = 0;
  // The orientation mask a view controller supports.
  virtual uint64_t supportedOrientationForViewController(
      const std::shared_ptr<platform::ViewController>& viewController) const = 0;
  // The publisher's native session configuration (after the page's
  // "setNativeConfiguration"): the application-orientation holder reads
  // whether presentation orientation follows the application delegate from
  // that object from then on.
  virtual void setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) = 0;
  // "RewardedVideo" 0, "Interstitial" 1, "OfferWall" 2, "Banner" 4 (any case);
  // anything else: the error "failed to find product type".
  virtual platform::Result<uint32_t> convertProductNameToProductType(const std::optional<std::string>& name) const = 0;

  // An ad-unit web view registered under an ad view id.
  struct AdView {
    std::shared_ptr<platform::View> viewToPresent;
    bool isAdContainer = false;  // the view container around an ad-unit web view
    // That container itself (the view a banner listener receives); null
    // unless isAdContainer.
    std::shared_ptr<platform::View> containerView;
  };
  virtual std::optional<AdView> getAdUnitWebViewById(const std::string& adViewId) const = 0;
  // Removes and cleans up the ad-unit web view registered under the id
  // (nothing for an unknown id): for one that nobody will ever be handed, a
  // loaded banner whose load was given up on. Default: nothing.
  virtual void removeAdUnitWebViewById(const std::string& /*adViewId*/) {}
};
