#include "presentation/QBAppStoreViewController.h"

#include "platform/dispatch.h"
#include "presentation/QBAppStoreErrors.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBViewUtils.h"

// ------------------------------------------------------- QBNAppStoreVCRootView

bool QBNAppStoreVCRootView::shouldNotifyOnStoreDismissed() const {
  auto parent = QBViewUtils::parentViewController(*this);
  return std::dynamic_pointer_cast<platform::StoreProductViewController>(parent) && !subviews().empty();
}

void QBNAppStoreVCRootView::touchesBegan(const std::vector<platform::Touch>& touches, const platform::Event& event) {
  if (event.type == 0 && shouldNotifyOnStoreDismissed()) {
    auto store = std::dynamic_pointer_cast<platform::StoreProductViewController>(
        QBViewUtils::parentViewController(*this));
    if (auto delegate = store->delegate()) delegate->productViewControllerDidFinish(store);
  }
  QBAbstractView::touchesBegan(touches, event);
}

// ---------------------------------------------------- QBAppStoreViewController

std::shared_ptr<QBAppStoreViewController> QBAppStoreViewController::initWithAbstractView(
    std::shared_ptr<QBAbstractView> view) {
  return std::make_shared<QBAppStoreViewController>(std::move(view));
}

std::shared_ptr<QBAppStoreViewController> QBAppStoreViewController::defaultAppStoreViewController() {
  return initWithAbstractView(std::make_shared<QBAbstractView>());
}

std::shared_ptr<QBAppStoreViewController> QBAppStoreViewController::appStoreViewControllerWithCustomRootView() {
  return initWithAbstractView(std::make_shared<QBNAppStoreVCRootView>());
}

void QBAppStoreViewController::viewDidLoad() {
  platform::StoreProductViewController::viewDidLoad();
  if (!baseViewContainer_) return;
  auto storeView = view();
  setView(baseViewContainer_);
  baseViewContainer_->addSubview(storeView);
}

void QBAppStoreViewController::viewWillDisappear(bool animated) {
  platform::StoreProductViewController::viewWillDisappear(animated);
  if (baseViewContainer_) baseViewContainer_->setOrientationUpdates(false);
}

uint64_t QBAppStoreViewController::supportedInterfaceOrientations() const {
  return QBNAppOrientationHolder::sharedInstance().appOrientation();
}

void QBAppStoreViewController::loadProductWithParameters(const platform::StoreProductParameters& parameters,
                                                         platform::StoreLoadCompletion completion) {
  std::weak_ptr<QBAppStoreViewController> weak =
      std::static_pointer_cast<QBAppStoreViewController>(weak_from_this().lock());
  platform::globalQueue(platform::QueuePriority::Default)
      ->async([weak, parameters, completion = std::move(completion)]() mutable {
        auto self = weak.lock();
        if (!self) {
          completion(false, QBAppStoreErrors::error(QBAppStoreErrors::kStoreViewControllerGone));
          return;
        }
        self->platform::StoreProductViewController::loadProductWithParameters(parameters, std::move(completion));
      });
}
