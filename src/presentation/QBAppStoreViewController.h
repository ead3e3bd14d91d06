#pragma once
// The custom store view controller: the platform's store page put inside a
// view of this system, so that it follows the application's orientation rules
// and can be embedded in the hybrid split view. Main queue only, except
// loadProductWithParameters (any thread).
#include <memory>
#include <vector>

#include "platform/storekit/store_product_view_controller.h"
#include "presentation/QBAbstractView.h"

// A root view that closes the store page on a touch that reaches it: the
// store content covers the page, so the touches that reach this view itself
// are those outside the store content.
class QBNAppStoreVCRootView : public QBAbstractView {
 public:
  using QBAbstractView::QBAbstractView;

  // A touch event (type 0) while shouldNotifyOnStoreDismissed holds tells the
  // parent store controller's delegate productViewControllerDidFinish; the
  // touch then climbs the responder chain as usual.
  void touchesBegan(const std::vector<platform::Touch>& touches, const platform::Event& event) override;
  // The first view controller up the responder chain is a store product view
  // controller, and this view has a subview.
  bool shouldNotifyOnStoreDismissed() const;
};

class QBAppStoreViewController : public platform::StoreProductViewController {
 public:
  // With a new plain QBAbstractView / a new QBNAppStoreVCRootView as the base
  // view.
  static std::shared_ptr<QBAppStoreViewController> defaultAppStoreViewController();
  static std::shared_ptr<QBAppStoreViewController> appStoreViewControllerWithCustomRootView();
  static std::shared_ptr<QBAppStoreViewController> initWithAbstractView(std::shared_ptr<QBAbstractView> view);

  // The view that becomes the controller's root view once loaded, holding
  // the store's own view.
  const std::shared_ptr<QBAbstractView>& baseViewContainer() const { return baseViewContainer_; }

  // Runs the store's load with the same parameters and completion from the
  // default-priority global queue. When the controller is gone by then, the
  // completion runs there with a failure.
  void loadProductWithParameters(const platform::StoreProductParameters& parameters,
                                 platform::StoreLoadCompletion completion) override;

  // The application's supported orientations (QBNAppOrientationHolder).
  uint64_t supportedInterfaceOrientations() const override;
  bool prefersStatusBarHidden() const override { return true; }
  // Switches the base view's orientation updates off.
  void viewWillDisappear(bool animated) override;

  explicit QBAppStoreViewController(std::shared_ptr<QBAbstractView> view) : baseViewContainer_(std::move(view)) {}

 protected:
  // The store's view is kept aside, the base view becomes the root view and
  // the store's view its subview.
  void viewDidLoad() override;

 private:
  std::shared_ptr<QBAbstractView> baseViewContainer_;
};
