#include "presentation/QBAppStoreAdapterFactory.h"

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/ui/ui_device.h"

std::shared_ptr<QBAppStoreInsideVCP> QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(
    const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration) {
  const auto chosen = configuration ? configuration : QBNSKViewControllerConfiguration::defaultConfiguration();
  if (chosen->viewControllerType() == 1) {
    return std::make_shared<QBAppStoreInsideSKStoreViewControllerAdapter>(
        std::make_shared<platform::StoreProductViewController>());
  }
  return createAdapterForCustomViewControllerWithConfiguration(*chosen);
}

std::shared_ptr<QBAppStoreInsideVCP> QBAppStoreAdapterFactory::createAdapterForCustomViewControllerWithConfiguration(
    const QBNSKViewControllerConfiguration& configuration) {
  PlovermarkLogManager::sharedManager().log(
      "QBAppStoreAdapterFactory | createAdapterForCustomViewControllerWithConfiguration: | StoreKit ViewController "
      "configuration " +
          configuration.description(),
      1, 5);
  auto controller = configuration.useCustomRootView() ? QBAppStoreViewController::appStoreViewControllerWithCustomRootView()
                                                      : QBAppStoreViewController::defaultAppStoreViewController();
  if (configuration.modalPresentationStyle() >= 0) {
    controller->setModalPresentationStyle(static_cast<int>(configuration.modalPresentationStyle()));
  }
  if (configuration.modalInPresentation() && platform::Device::current().isSystemVersionAtLeast("13.0")) {
    controller->setModalInPresentation(true);
  }
  return std::make_shared<QBAppStoreInsideCustomViewControllerAdapter>(std::move(controller));
}
