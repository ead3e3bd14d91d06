#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/dispatch.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"
#include "presentation/QBAppStoreErrors.h"
#include "presentation/QBAppStoreInsideVCP.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBOrientationUtillis.h"

namespace {

constexpr int kTagNative = 5;

void log(const std::string& message) { PlovermarkLogManager::sharedManager().log(message, 1, kTagNative); }

}  // namespace

// ------------------------------------------------------------ shared steps

template <class Controller>
bool QBAppStoreInsideAdapterBase<Controller>::isStoreVisible() const {
  return storeKitViewController_ && storeKitViewController_->isViewLoaded() &&
         storeKitViewController_->view()->window() != nullptr;
}

template <class Controller>
void QBAppStoreInsideAdapterBase<Controller>::setStoreVCDelegate(
    std::weak_ptr<platform::StoreProductViewControllerDelegate> delegate) {
  if (storeKitViewController_) storeKitViewController_->setDelegate(std::move(delegate));
}

template <class Controller>
void QBAppStoreInsideAdapterBase<Controller>::loadProductWithParameters(
    const platform::StoreProductParameters& parameters, platform::StoreLoadCompletion completion) {
  log("loading StoreKit started with paramaters: " + platform::dumpJson(parameters.toJson()));
  if (!storeKitViewController_) {
    completion(false, QBAppStoreErrors::error(QBAppStoreErrors::kStoreViewControllerGone));
    return;
  }
  storeKitViewController_->loadProductWithParameters(parameters, std::move(completion));
}

template <class Controller>
void QBAppStoreInsideAdapterBase<Controller>::cleanup() {
  if (storeKitViewController_) storeKitViewController_->setDelegate({});
  storeKitViewController_.reset();
}

template <class Controller>
void QBAppStoreInsideAdapterBase<Controller>::present(const std::shared_ptr<platform::ViewController>& presenter,
                                                      ShowCompletion completion) {
  // The platform refuses without calling back; the caller still gets its one
  // answer.
  auto shared = std::make_shared<ShowCompletion>(std::move(completion));
  const bool started =
      presenter && presenter->presentViewController(storeKitViewController_, true, [shared] { (*shared)(std::nullopt); });
  if (!started) {
    platform::mainQueue()->async(
        [shared] { (*shared)(QBAppStoreErrors::error(QBAppStoreErrors::kPresentationRefused)); });
  }
}

template class QBAppStoreInsideAdapterBase<QBAppStoreViewController>;
template class QBAppStoreInsideAdapterBase<platform::StoreProductViewController>;

// ------------------------------------------------------------ custom adapter

void QBAppStoreInsideCustomViewControllerAdapter::showStoreFromViewController(
    const std::shared_ptr<platform::ViewController>& presenter, ShowCompletion completion) {
  const auto& store = storeKitViewController_;
  if (store && store->baseViewContainer()) store->baseViewContainer()->setOrientationUpdates(true);

  // A phone page with the status bar shown goes full screen. The style is the
  // store controller's: the presenter's own style only matters when the host
  // presents that controller, and is the host's to choose. A style the page
  // configured is kept.
  const auto& device = platform::Device::current();
  if (store && device.isSystemVersionAtLeast("8.4") &&
      device.userInterfaceIdiom() != platform::UserInterfaceIdiom::Pad &&
      !platform::Application::shared().isStatusBarHidden() &&
      store->modalPresentationStyle() == platform::ModalPresentationStyle::Automatic) {
    store->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  }

  if (store && presenter && QBNFeaturesManager::sharedManager().shouldBlockMultiplePresentationStoreKitCallInRow() &&
      presenter->presentedViewController() == store) {
    completion(QBAppStoreErrors::error(QBAppStoreErrors::kAlreadyPresented));
    return;
  }
  present(presenter, [store, completion = std::move(completion)](std::optional<platform::Error> error) {
    // A refused controller that is not on screen stops following orientation.
    if (error && store && !store->presentingViewController() && store->baseViewContainer()) {
      store->baseViewContainer()->setOrientationUpdates(false);
    }
    completion(std::move(error));
  });
}

// ---------------------------------------------------------- platform adapter

QBAppStoreInsideSKStoreViewControllerAdapter::QBAppStoreInsideSKStoreViewControllerAdapter(
    std::shared_ptr<platform::StoreProductViewController> controller)
    : QBAppStoreInsideAdapterBase(controller ? std::move(controller)
                                             : std::make_shared<platform::StoreProductViewController>()) {}

bool QBAppStoreInsideSKStoreViewControllerAdapter::isStoreKitOrientationSupported() const {
  return QBOrientationUtillis::orientationsHasSharedOrientation(QBNAppOrientationHolder::sharedInstance().appOrientation(),
                                                                platform::InterfaceOrientationMask::Portrait);
}

void QBAppStoreInsideSKStoreViewControllerAdapter::showStoreFromViewController(
    const std::shared_ptr<platform::ViewController>& presenter, ShowCompletion completion) {
  present(presenter, std::move(completion));
}
