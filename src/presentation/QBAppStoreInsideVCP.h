#pragma once
// One interface over the two store view controllers a store page can be
// shown by, and its two adapters. Main queue only.
#include <functional>
#include <memory>
#include <optional>

#include "platform/result.h"
#include "platform/storekit/store_product_view_controller.h"
#include "presentation/QBAppStoreViewController.h"

class QBAppStoreInsideVCP {
 public:
  using ShowCompletion = std::function<void(std::optional<platform::Error>)>;

  virtual ~QBAppStoreInsideVCP() = default;
  virtual bool isCustomStoreKitViewController() const = 0;
  // Whether the controller can be shown under the application's orientations.
  virtual bool isStoreKitOrientationSupported() const = 0;
  // The controller's view is loaded and in a window.
  virtual bool isStoreVisible() const = 0;
  virtual void setStoreVCDelegate(std::weak_ptr<platform::StoreProductViewControllerDelegate> delegate) = 0;
  // The controller's load; the completion comes on any thread (the caller
  // moves it to the main queue). Without a controller (after cleanup) the
  // completion runs at once with a failure.
  virtual void loadProductWithParameters(const platform::StoreProductParameters& parameters,
                                         platform::StoreLoadCompletion completion) = 0;
  // Presents the controller from `presenter`, animated. The completion runs
  // exactly once on the main queue: with no error once the presentation has
  // ended; with kPresentationRefused on the next turn when the platform
  // refuses (no presenter, one not on screen or already presenting);
  // kAlreadyPresented (custom adapter) answers at once.
  virtual void showStoreFromViewController(const std::shared_ptr<platform::ViewController>& presenter,
                                           ShowCompletion completion) = 0;
  // The controller loses its delegate and the adapter forgets it.
  virtual void cleanup() = 0;
  virtual std::shared_ptr<platform::StoreProductViewController> getStoreViewController() const = 0;
};

// What both adapters do the same way.
template <class Controller>
class QBAppStoreInsideAdapterBase : public QBAppStoreInsideVCP {
 public:
  bool isStoreVisible() const override;
  void setStoreVCDelegate(std::weak_ptr<platform::StoreProductViewControllerDelegate> delegate) override;
  void loadProductWithParameters(const platform::StoreProductParameters& parameters,
                                 platform::StoreLoadCompletion completion) override;
  void cleanup() override;
  std::shared_ptr<platform::StoreProductViewController> getStoreViewController() const override {
    return storeKitViewController_;
  }
  const std::shared_ptr<Controller>& storeKitViewController() const { return storeKitViewController_; }

 protected:
  explicit QBAppStoreInsideAdapterBase(std::shared_ptr<Controller> controller)
      : storeKitViewController_(std::move(controller)) {}
  // Presents the controller animated; a refusal answers with
  // kPresentationRefused on the next main-queue turn.
  void present(const std::shared_ptr<platform::ViewController>& presenter, ShowCompletion completion);

  std::shared_ptr<Controller> storeKitViewController_;
};

// The custom QBAppStoreViewController.
class QBAppStoreInsideCustomViewControllerAdapter final : public QBAppStoreInsideAdapterBase<QBAppStoreViewController> {
 public:
  explicit QBAppStoreInsideCustomViewControllerAdapter(std::shared_ptr<QBAppStoreViewController> controller)
      : QBAppStoreInsideAdapterBase(std::move(controller)) {}

  bool isCustomStoreKitViewController() const override { return true; }
  bool isStoreKitOrientationSupported() const override { return true; }
  // Switches the base view's orientation updates on; on a phone (system 8.4
  // or later) with the status bar shown, a controller still at its automatic
  // style is presented full screen; with the blocking switch on, a controller
  // the presenter already presents fails with kAlreadyPresented; otherwise
  // presents it.
  void showStoreFromViewController(const std::shared_ptr<platform::ViewController>& presenter,
                                   ShowCompletion completion) override;
};

// The platform's store product view controller as it is.
class QBAppStoreInsideSKStoreViewControllerAdapter final
    : public QBAppStoreInsideAdapterBase<platform::StoreProductViewController> {
 public:
  // Null gives a new controller.
  explicit QBAppStoreInsideSKStoreViewControllerAdapter(
      std::shared_ptr<platform::StoreProductViewController> controller = nullptr);

  bool isCustomStoreKitViewController() const override { return false; }
  // The platform's page is portrait only: YES when the application's
  // orientations include portrait.
  bool isStoreKitOrientationSupported() const override;
  void showStoreFromViewController(const std::shared_ptr<platform::ViewController>& presenter,
                                   ShowCompletion completion) override;
};
