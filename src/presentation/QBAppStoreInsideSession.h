#pragma once
// The in-app store session: one prepared store page (QBAppStoreObject) per
// view unique id, loaded through StoreKit and presented on request, with
// every step reported to the delegate. It is also the delegate of every store
// controller it loads (the user's close comes back here). Main queue only; no
// locks.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "platform/storekit/store_product_view_controller.h"
#include "presentation/QBAppStoreObject.h"
#include "presentation/QBNSKViewControllerConfiguration.h"

class QBAppStoreInsideSession : public QBAppStoreInsideSessionP,
                                public platform::StoreProductViewControllerDelegate,
                                public std::enable_shared_from_this<QBAppStoreInsideSession> {
 public:
  // The process-wide session, made on first use (never destroyed).
  static std::shared_ptr<QBAppStoreInsideSession> sharedInstance();
  // A session of its own (tests).
  static std::shared_ptr<QBAppStoreInsideSession> create();

  // ---- QBAppStoreInsideSessionP.
  void setDelegate(std::weak_ptr<QBAppStoreInsideDelegate> delegate) override { delegate_ = std::move(delegate); }
  // Reports started, then registers and loads a new page, which replaces
  // (and cleans up) a page registered earlier under the id. When the adapter
  // cannot show under the application's orientations: reports loaded false
  // with "Unsupported Orientation", cancels the page registered earlier under
  // the id with that reason and forgets it; the new page is not registered.
  void loadStoreWithAppId(const std::optional<std::string>& appId, const std::optional<std::string>& viewUniqueId,
                          const platform::Json& params, bool showIfSuccess) override;
  // Removes the page, then cleans it up (its controller loses its delegate).
  void cleanupForViewUniqueId(const std::string& viewUniqueId) override;
  bool hasAppStorePageForViewUniqueId(const std::string& viewUniqueId) const override;
  void setViewControllerToPresentFrom(const std::shared_ptr<platform::ViewController>& controller) override {
    viewControllerToPresentFrom_ = controller;
  }
  void showStoreForUniqueId(const std::string& viewUniqueId) override;
  std::optional<platform::Json> storeKitDataToController(const std::optional<platform::Json>& report) const override;

  // ---- Further operations.
  // Unless the page is on screen: marks it cancelled, stops its loading and
  // reports finished (not presented) with `reason`. Nothing without a page.
  void cancelLoading(const std::string& viewUniqueId, const std::string& reason);
  // The page's controller is on screen; NO without a page.
  bool isStorePresented(const std::string& viewUniqueId) const;
  std::shared_ptr<platform::ViewController> getAppStoreViewCtrlByViewUniqueId(const std::string& viewUniqueId) const;
  std::shared_ptr<QBAppStoreObject> appStoreObjectForViewUniqueId(const std::string& viewUniqueId) const;
  std::shared_ptr<platform::ViewController> viewControllerToPresentFrom() const {
    return viewControllerToPresentFrom_.lock();
  }
  std::shared_ptr<QBAppStoreInsideDelegate> delegate() const { return delegate_.lock(); }
  size_t pageCount() const { return appStoreDictionary_.size(); }

  // The store controller configuration of a load command: the defaults, then
  // "shouldUseOriginalStoreKitViewController" (type 1 when true, 0 when
  // false), "useCustomRootView", "modalPresentationStyle" (taken when 0 or
  // more) and "modalInPresentation", each when present. Texts are read as the
  // page writes booleans and integers (qbnjson).
  static std::shared_ptr<QBNSKViewControllerConfiguration> viewControllerConfigurationFromAppStoreJsParams(
      const platform::Json& params);

  // ---- StoreKit: the user closed a page. Dismisses it (unless it is
  // embedded in the split view), then reports finished for its view id, or,
  // for a controller no page owns, logs event 2020 and reports finished with
  // "chosenViewUniqueId is empty" (both only to a delegate that takes
  // finished reports).
  void productViewControllerDidFinish(const std::shared_ptr<platform::StoreProductViewController>& controller) override;

  // Every page cleaned up and forgotten; no delegate or presenting
  // controller.
  void resetForTesting();

 private:
  QBAppStoreInsideSession() = default;
  void reportFinished(const platform::Json& parameters) const;
  // A page that no longer stands for its view id: forgotten, and cleaned up
  // unless it is on screen (its controller keeps the session as delegate, so
  // the user can still close it).
  void retire(const std::shared_ptr<QBAppStoreObject>& object);

  std::weak_ptr<platform::ViewController> viewControllerToPresentFrom_;
  std::weak_ptr<QBAppStoreInsideDelegate> delegate_;
  std::map<std::string, std::shared_ptr<QBAppStoreObject>> appStoreDictionary_;
};
