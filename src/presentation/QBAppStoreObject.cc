#include "presentation/QBAppStoreObject.h"

#include "foundation/PMEReachability.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "presentation/QBAppStoreAdapterFactory.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBAppStoreUtils.h"

namespace {

constexpr int kTagNative = 5;

void log(const std::string& message, uint64_t level = 1) {
  PlovermarkLogManager::sharedManager().log(message, level, kTagNative);
}

std::string adapterName(const QBAppStoreInsideVCP& adapter) {
  return adapter.isCustomStoreKitViewController() ? "QBAppStoreInsideCustomViewControllerAdapter"
                                                  : "QBAppStoreInsideSKStoreViewControllerAdapter";
}

}  // namespace

QBAppStoreObject::QBAppStoreObject(platform::StoreProductParameters params,
                                   std::shared_ptr<QBAppStoreInsideVCP> adapter, bool showStoreWhenDoneLoading,
                                   std::string viewUniqueId)
    : showStoreWhenDoneLoading_(showStoreWhenDoneLoading),
      viewUniqueId_(std::move(viewUniqueId)),
      appStorePageParams_(std::move(params)),
      storeKitAdapter_(std::move(adapter)) {}

std::shared_ptr<QBAppStoreObject> QBAppStoreObject::initWithAppStorePageParams(
    std::optional<platform::StoreProductParameters> params,
    const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration, bool showStoreWhenDoneLoading,
    const std::optional<std::string>& viewUniqueId) {
  if (!params) {
    params.emplace();
    params->set(platform::kSKStoreProductParameterITunesItemIdentifier, platform::Json("-1"));
  }
  auto adapter = QBAppStoreAdapterFactory::createAdapterWithViewControllerConfiguration(configuration);
  log("QBAppStoreObject | StoreKit ViewController adapter is of type: " + adapterName(*adapter));
  return std::make_shared<QBAppStoreObject>(std::move(*params), std::move(adapter), showStoreWhenDoneLoading,
                                            viewUniqueId.value_or("-1"));
}

std::shared_ptr<QBAppStoreObject> QBAppStoreObject::appStoreObjectWithAppStoreParams(
    const platform::Json& params, const std::string& viewId, const std::string& /*appId*/,
    const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration) {
  std::optional<platform::Json> parsed;
  platform::Error error{kPMAErrorDomain, 0, "storeKitLoadParams is no JSON object text"};
  if (params.is_string()) {
    parsed = PMAHelperMethods::dictionaryFromJsonString(
        PMAHelperMethods::decodeFromPercentEscapeString(params.get<std::string>()), &error);
  } else if (params.is_object()) {
    parsed = params;
  }
  if (!parsed || !parsed->is_object()) {
    // The page keeps its view id, so its reports and "clearAppPage" still
    // reach it; validation then fails for want of an app id.
    log("QBAppStoreObject converting parameters to JSON Error " + PMAHelperMethods::errorDescription(error), 3);
    return initWithAppStorePageParams(platform::StoreProductParameters(), configuration, false, viewId);
  }
  auto storeParams = platform::StoreProductParameters::fromJson(*parsed);
  QBAppStoreUtils::convertApplicationIdFromStringToNSNumber(storeParams);
  QBAppStoreUtils::convertSKAdNetworkNonceToUUID(storeParams);
  return initWithAppStorePageParams(std::move(storeParams), configuration, false, viewId);
}

std::optional<platform::Json> QBAppStoreObject::appStorePageAppId() const {
  const auto* value = appStorePageParams_.find(platform::kSKStoreProductParameterITunesItemIdentifier);
  if (!value) return std::nullopt;
  if (const auto* uuid = std::get_if<platform::Uuid>(value)) return platform::Json(uuid->UUIDString());
  return std::get<platform::Json>(*value);
}

platform::Json QBAppStoreObject::reportMembers() const {
  return platform::Json{{"storeAppId", appStorePageAppId().value_or(platform::Json("-1"))},
                        {"viewUniqueId", viewUniqueId_},
                        {"storeKitLoadParams", appStorePageParams_.toJson()}};
}

void QBAppStoreObject::setDelegatesWithQBAppStoreInsideDelegate(
    std::shared_ptr<QBAppStoreInsideDelegate> delegate,
    std::weak_ptr<platform::StoreProductViewControllerDelegate> storeProductViewControllerDelegate) {
  delegate_ = std::move(delegate);
  storeKitAdapter_->setStoreVCDelegate(std::move(storeProductViewControllerDelegate));
}

void QBAppStoreObject::loadStore() {
  log("-[QBAppStoreObject loadStore] for viewUniqueId: " + viewUniqueId_);
  log("QBAppStoreInsideSession | loadStore with params");
  loadingStoreInProgress_ = true;
  if (showStoreWhenDoneLoading_) setTimerForTimeoutTask();

  auto valid = QBAppStoreUtils::validateAppStoreParams(appStorePageParams_);
  if (!valid.ok()) {
    log("QBAppStoreObject | Store load failure " + valid.error().message);
    stopTimer();
    loadingStoreInProgress_ = false;
    hasAppStorePage_ = false;
    auto loaded = platform::Json{{"isLoaded", false}};
    loaded.update(reportMembers());
    loaded["errMsg"] = "Invalid Parameters";
    if (delegate_) delegate_->didLoadAppStoreInsideSessionWithParameters(loaded);
    if (auto session = session_.lock()) session->cancelLoading(viewUniqueId_, "Invalid Parameters");
    return;
  }

  // The store answers on any thread; the answer is handled on the main queue.
  std::weak_ptr<QBAppStoreObject> weak = weak_from_this();
  storeKitAdapter_->loadProductWithParameters(
      valid.value(), [weak](bool result, std::optional<platform::Error> error) {
        platform::mainQueue()->async([weak, result, error = std::move(error)] {
          if (auto self = weak.lock()) self->handleLoadCompletion(result, error);
        });
      });
}

void QBAppStoreObject::handleLoadCompletion(bool result, const std::optional<platform::Error>& error) {
  log(std::string("QBAppStoreObject | Store load ") +
      (result ? "success" : "failure: " + (error ? error->message : std::string())));
  stopTimer();
  loadingStoreInProgress_ = false;
  hasAppStorePage_ = result;
  auto loaded = platform::Json{{"isLoaded", result}};
  loaded.update(reportMembers());
  if (!result) {
    loaded["errMsg"] = error ? "Error Domain : " + error->domain + " with Error Code : " + std::to_string(error->code)
                             : std::string("StoreKit Load Error");
  }
  if (delegate_) delegate_->didLoadAppStoreInsideSessionWithParameters(loaded);
  if (!showStoreWhenDoneLoading_ || shouldCancelLoading_) return;
  auto session = session_.lock();
  if (!session) return;
  if (result) {
    session->showStoreForUniqueId(viewUniqueId_);
  } else {
    log("-[QBAppStoreObject loadStore]: " + (error ? PMAHelperMethods::errorDescription(*error) : std::string()), 3);
    session->cancelLoading(viewUniqueId_, "StoreKit Load Error");
  }
}

void QBAppStoreObject::showStoreFromViewController(const std::shared_ptr<platform::ViewController>& presenter) {
  std::weak_ptr<QBAppStoreObject> weak = weak_from_this();
  storeKitAdapter_->showStoreFromViewController(presenter, [weak](std::optional<platform::Error> error) {
    auto self = weak.lock();
    if (!self) return;
    self->showStoreWhenDoneLoading_ = false;
    if (!self->delegate_) return;
    auto members = self->reportMembers();
    if (error) {
      members["error"] = error->message;
      self->delegate_->didFailedToDisplayAppStoreInsideWithError(*error, members);
    } else {
      self->delegate_->didShowAppStoreInsideWithParameters(members);
    }
  });
}

void QBAppStoreObject::setTimerForTimeoutTask() {
  std::weak_ptr<QBAppStoreObject> weak = weak_from_this();
  loadingTimer_ = platform::Timer::once(platform::mainQueue(), kLoadTimeoutMs, [weak] {
    if (auto self = weak.lock()) self->executeTimeoutTasks();
  });
}

void QBAppStoreObject::executeTimeoutTasks() {
  // The cancel belongs to this page: a page that replaced it under the same
  // view id is not touched.
  auto cancel = [](const std::shared_ptr<QBAppStoreObject>& self) {
    auto session = self->session_.lock();
    if (session && session->appStoreObjectForViewUniqueId(self->viewUniqueId_) == self) {
      session->cancelLoading(self->viewUniqueId_, "Timeout Reached");
    }
  };
  if (!PMEReachabilityManager::checkReachability()) {
    cancel(shared_from_this());
    return;
  }
  std::weak_ptr<QBAppStoreObject> weak = weak_from_this();
  platform::mainQueue()->after(kOnlineCancelDelayMs, [weak, cancel] {
    if (auto self = weak.lock()) cancel(self);
  });
}

void QBAppStoreObject::stopTimer() {
  if (loadingTimer_) loadingTimer_->cancel();
  loadingTimer_.reset();
}

void QBAppStoreObject::cleanup() {
  stopTimer();
  storeKitAdapter_->cleanup();
}
