#pragma once
// One prepared store page of the in-app store session: its StoreKit
// parameters, its view unique id, its adapter and its flags. Main queue only.
//
// States follow from the flags: loading (loadingStoreInProgress), loaded
// (hasAppStorePage), failed (neither, after a completion), cancelled
// (shouldCancelLoading).
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/storekit/store_product_parameters.h"
#include "presentation/QBAppStoreInsideVCP.h"
#include "presentation/QBNSKViewControllerConfiguration.h"

class QBAppStoreInsideSession;

class QBAppStoreObject : public std::enable_shared_from_this<QBAppStoreObject> {
 public:
  // How long a load that shows its page when done may take.
  static constexpr double kLoadTimeoutMs = 10'000;
  // After a timeout while the network is reachable, the cancel waits this
  // long.
  static constexpr double kOnlineCancelDelayMs = 3'000;

  // The page for a load command: `params` is the command's
  // "storeKitLoadParams" (a percent-escaped JSON object text, or an object).
  // Parameters that do not parse give an object with empty parameters under
  // the same view id; otherwise the app id becomes a number and the nonce a
  // UUID. `appId` is not used (the parameters name the app). Show flag off.
  static std::shared_ptr<QBAppStoreObject> appStoreObjectWithAppStoreParams(
      const platform::Json& params, const std::string& viewId, const std::string& appId,
      const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration);
  // None as parameters holds only the item identifier "-1"; none as view id
  // is "-1". The adapter comes from QBAppStoreAdapterFactory.
  static std::shared_ptr<QBAppStoreObject> initWithAppStorePageParams(
      std::optional<platform::StoreProductParameters> params,
      const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration, bool showStoreWhenDoneLoading,
      const std::optional<std::string>& viewUniqueId);

  bool showStoreWhenDoneLoading() const { return showStoreWhenDoneLoading_; }
  void setShowStoreWhenDoneLoading(bool show) { showStoreWhenDoneLoading_ = show; }
  bool hasAppStorePage() const { return hasAppStorePage_; }
  bool isLoadingStoreInProgress() const { return loadingStoreInProgress_; }
  bool shouldCancelLoading() const { return shouldCancelLoading_; }
  void setShouldCancelLoading(bool cancel) { shouldCancelLoading_ = cancel; }
  void setLoadingStoreInProgress(bool loading) { loadingStoreInProgress_ = loading; }

  const std::string& viewUniqueId() const { return viewUniqueId_; }
  const platform::StoreProductParameters& appStorePageParams() const { return appStorePageParams_; }
  const std::shared_ptr<QBAppStoreInsideVCP>& storeKitAdapter() const { return storeKitAdapter_; }
  // The item identifier's value, or none.
  std::optional<platform::Json> appStorePageAppId() const;
  // Whether the load timeout is armed.
  bool isLoadTimerArmed() const { return loadingTimer_ && loadingTimer_->isValid(); }

  // Keeps the report delegate (strongly) and gives the StoreKit delegate to
  // the adapter.
  void setDelegatesWithQBAppStoreInsideDelegate(
      std::shared_ptr<QBAppStoreInsideDelegate> delegate,
      std::weak_ptr<platform::StoreProductViewControllerDelegate> storeProductViewControllerDelegate);
  // The session the load completion shows or cancels through (held weakly).
  void setSession(std::weak_ptr<QBAppStoreInsideSession> session) { session_ = std::move(session); }

  // Validates the parameters and loads the page; reports loaded (and, with
  // the show flag, shows it or cancels).
  void loadStore();
  // Presents the page from `presenter`; reports shown or failed to show.
  void showStoreFromViewController(const std::shared_ptr<platform::ViewController>& presenter);
  // Arms the load timeout (kLoadTimeoutMs).
  void setTimerForTimeoutTask();
  // The timeout: cancels the page with "Timeout Reached", at once when the
  // network is unreachable, after kOnlineCancelDelayMs otherwise.
  void executeTimeoutTasks();
  // The adapter's cleanup; the timer stops.
  void cleanup();

  // "storeAppId" (the app id, or "-1" without one), "viewUniqueId" and
  // "storeKitLoadParams" (the parameters, a nonce as its text): the members
  // every report of this page carries.
  platform::Json reportMembers() const;

  QBAppStoreObject(platform::StoreProductParameters params, std::shared_ptr<QBAppStoreInsideVCP> adapter,
                   bool showStoreWhenDoneLoading, std::string viewUniqueId);

 private:
  void handleLoadCompletion(bool result, const std::optional<platform::Error>& error);
  void stopTimer();

  bool showStoreWhenDoneLoading_ = false;
  bool hasAppStorePage_ = false;
  bool loadingStoreInProgress_ = false;
  bool shouldCancelLoading_ = false;
  const std::string viewUniqueId_;
  platform::StoreProductParameters appStorePageParams_;
  std::shared_ptr<QBAppStoreInsideVCP> storeKitAdapter_;
  std::shared_ptr<QBAppStoreInsideDelegate> delegate_;
  std::weak_ptr<QBAppStoreInsideSession> session_;
  std::shared_ptr<platform::Timer> loadingTimer_;
};
