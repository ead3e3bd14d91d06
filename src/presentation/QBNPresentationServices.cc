#include "presentation/QBNPresentationServices.h"

#include <utility>

#include "presentation/PMEOrientationContext.h"
#include "presentation/QBNAdContainer.h"
#include "presentation/QBNAdViewsManager.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBProductContext.h"

std::shared_ptr<QBNPresentationServices> QBNPresentationServices::sharedInstance() {
  static auto& services = *new std::shared_ptr<QBNPresentationServices>(std::make_shared<QBNPresentationServices>());
  return services;
}

platform::Json QBNPresentationServices::applicationOrientationData(bool appDelegateDataAllowed) const {
  const auto data = PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(appDelegateDataAllowed);
  return data ? data->dictionaryRepresentation() : platform::Json::object();
}

uint64_t QBNPresentationServices::supportedOrientationForViewController(
    const std::shared_ptr<platform::ViewController>& viewController) const {
  return PMEOrientationContext::supportedOrientationForViewController(viewController);
}

void QBNPresentationServices::setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) {
  QBNAppOrientationHolder::sharedInstance().setSessionConfiguration(std::move(configuration));
}

platform::Result<uint32_t> QBNPresentationServices::convertProductNameToProductType(
    const std::optional<std::string>& name) const {
  platform::Error error;
  const uint32_t type = QBProductContext::convertProductNameToProductType(name, &error);
  if (type == QBProductContext::kUnknownProductType) return error;
  return type;
}

std::optional<QBNPresentationServicesP::AdView> QBNPresentationServices::getAdUnitWebViewById(
    const std::string& adViewId) const {
  const auto adView = QBNAdViewsManager::sharedManager().getAdUnitWebViewById(adViewId);
  if (!adView) return std::nullopt;
  AdView answer;
  answer.viewToPresent = adView->getViewToPresent();
  if (auto container = std::dynamic_pointer_cast<QBNAdContainer>(adView)) {
    answer.isAdContainer = true;
    answer.containerView = container;
  }
  return answer;
}

void QBNPresentationServices::removeAdUnitWebViewById(const std::string& adViewId) {
  QBNAdViewsManager::sharedManager().removeAdViewWithId(adViewId, platform::Json::object(), {},
                                                        [](const std::optional<platform::Error>&) {});
}
