#pragma once
// The presentation library's class-level services as the own-network core
// reaches them (QBNPresentationServicesP): orientation facts, the page's
// native session configuration, product names and the registry of ad-unit web
// views. Main queue only.
#include <memory>

#include "ownnetwork/interfaces/QBNPresentationServicesP.h"

class QBNPresentationServices : public QBNPresentationServicesP {
 public:
  // The process-wide services, made on first use (never destroyed).
  static std::shared_ptr<QBNPresentationServices> sharedInstance();

  // PMEOrientationContext's data, as its dictionary representation.
  platform::Json applicationOrientationData(bool appDelegateDataAllowed) const override;
  uint64_t supportedOrientationForViewController(
      const std::shared_ptr<platform::ViewController>& viewController) const override;
  // Hands the configuration to QBNAppOrientationHolder.
  void setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) override;
  platform::Result<uint32_t> convertProductNameToProductType(const std::optional<std::string>& name) const override;
  // QBNAdViewsManager's ad view: its web view, and the container when it is
  // one.
  std::optional<AdView> getAdUnitWebViewById(const std::string& adViewId) const override;
  // QBNAdViewsManager's removal (its measurement session finished with it).
  void removeAdUnitWebViewById(const std::string& adViewId) override;
};
