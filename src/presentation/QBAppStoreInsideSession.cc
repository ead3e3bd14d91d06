#include "presentation/QBAppStoreInsideSession.h"

#include <algorithm>
#include <climits>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "presentation/QBAppStoreUtils.h"
#include "presentation/QBSplitViewController.h"

namespace {

constexpr int kTagNative = 5;

void log(const std::string& message, uint64_t level = 1) {
  PlovermarkLogManager::sharedManager().log(message, level, kTagNative);
}

}  // namespace

std::shared_ptr<QBAppStoreInsideSession> QBAppStoreInsideSession::sharedInstance() {
  static auto& session = *new std::shared_ptr<QBAppStoreInsideSession>(create());
  return session;
}

std::shared_ptr<QBAppStoreInsideSession> QBAppStoreInsideSession::create() {
  return std::shared_ptr<QBAppStoreInsideSession>(new QBAppStoreInsideSession());
}

std::shared_ptr<QBNSKViewControllerConfiguration> QBAppStoreInsideSession::viewControllerConfigurationFromAppStoreJsParams(
    const platform::Json& params) {
  auto configuration = QBNSKViewControllerConfiguration::defaultConfiguration();
  if (auto original = qbnjson::boolValue(params, "shouldUseOriginalStoreKitViewController")) {
    configuration->setViewControllerType(*original ? 1 : 0);
  }
  if (auto custom = qbnjson::boolValue(params, "useCustomRootView")) configuration->setUseCustomRootView(*custom);
  if (params.is_object() && params.contains("modalPresentationStyle")) {
    const int64_t style = qbnjson::integerValue(params, "modalPresentationStyle");
    if (style >= 0) configuration->setModalPresentationStyle(std::min<int64_t>(style, INT_MAX));
  }
  if (auto modal = qbnjson::boolValue(params, "modalInPresentation")) configuration->setModalInPresentation(*modal);
  return configuration;
}

void QBAppStoreInsideSession::loadStoreWithAppId(const std::optional<std::string>& appId,
                                                 const std::optional<std::string>& viewUniqueId,
                                                 const platform::Json& params, bool showIfSuccess) {
  if (!PMAHelperMethods::isStringExistAndNotEmpty(appId) || !PMAHelperMethods::isStringExistAndNotEmpty(viewUniqueId)) {
    return;
  }
  const std::string& id = *viewUniqueId;
  // A command without parameters reports them as an empty text (which the
  // page receives as an empty dictionary).
  const platform::Json rawParams =
      params.is_object() && params.contains("storeKitLoadParams") ? params["storeKitLoadParams"] : platform::Json("");
  const platform::Json commandMembers = {{"storeAppId", *appId}, {"viewUniqueId", id}, {"storeKitLoadParams", rawParams}};
  if (auto delegate = delegate_.lock()) delegate->didStartAppStoreInsideSessionWithParameters(commandMembers);

  auto configuration = viewControllerConfigurationFromAppStoreJsParams(params);
  auto object = QBAppStoreObject::appStoreObjectWithAppStoreParams(rawParams, id, *appId, configuration);
  auto earlier = appStoreObjectForViewUniqueId(id);

  if (!object->storeKitAdapter()->isStoreKitOrientationSupported()) {
    log("-[QBAppStoreInsideSession loadStoreWithAppId:viewUniqueId:params:showIfSuccess:] - StoreKit ViewController "
        "orientation is not supported");
    auto loaded = platform::Json{{"isLoaded", false}};
    loaded.update(commandMembers);
    loaded["errMsg"] = "Unsupported Orientation";
    if (auto delegate = delegate_.lock()) delegate->didLoadAppStoreInsideSessionWithParameters(loaded);
    cancelLoading(id, "Unsupported Orientation");
    // The earlier page no longer stands for this view: a later "openUrl" must
    // not show another ad's app.
    if (earlier) retire(earlier);
    return;
  }

  object->setShowStoreWhenDoneLoading(showIfSuccess);
  appStoreDictionary_[object->viewUniqueId()] = object;
  if (earlier && earlier != object) retire(earlier);
  object->setSession(weak_from_this());
  object->setDelegatesWithQBAppStoreInsideDelegate(delegate_.lock(), weak_from_this());
  object->loadStore();
}

void QBAppStoreInsideSession::retire(const std::shared_ptr<QBAppStoreObject>& object) {
  auto it = appStoreDictionary_.find(object->viewUniqueId());
  if (it != appStoreDictionary_.end() && it->second == object) appStoreDictionary_.erase(it);
  if (!object->storeKitAdapter()->isStoreVisible()) object->cleanup();
}

void QBAppStoreInsideSession::cleanupForViewUniqueId(const std::string& viewUniqueId) {
  auto it = appStoreDictionary_.find(viewUniqueId);
  if (it == appStoreDictionary_.end()) return;
  auto object = std::move(it->second);
  appStoreDictionary_.erase(it);
  object->cleanup();
}

bool QBAppStoreInsideSession::hasAppStorePageForViewUniqueId(const std::string& viewUniqueId) const {
  auto object = appStoreObjectForViewUniqueId(viewUniqueId);
  return object && object->hasAppStorePage();
}

void QBAppStoreInsideSession::showStoreForUniqueId(const std::string& viewUniqueId) {
  if (auto object = appStoreObjectForViewUniqueId(viewUniqueId)) {
    object->showStoreFromViewController(viewControllerToPresentFrom_.lock());
  }
}

std::optional<platform::Json> QBAppStoreInsideSession::storeKitDataToController(
    const std::optional<platform::Json>& report) const {
  return QBAppStoreUtils::storeKitDataToController(report);
}

void QBAppStoreInsideSession::cancelLoading(const std::string& viewUniqueId, const std::string& reason) {
  auto object = appStoreObjectForViewUniqueId(viewUniqueId);
  if (!object || isStorePresented(viewUniqueId)) return;
  object->setShouldCancelLoading(true);
  object->setLoadingStoreInProgress(false);
  auto finished = platform::Json{{"didStoreKitPresent", false}};
  finished.update(object->reportMembers());
  finished["errMsg"] = reason;
  reportFinished(finished);
}

bool QBAppStoreInsideSession::isStorePresented(const std::string& viewUniqueId) const {
  auto object = appStoreObjectForViewUniqueId(viewUniqueId);
  return object && object->storeKitAdapter()->isStoreVisible();
}

std::shared_ptr<platform::ViewController> QBAppStoreInsideSession::getAppStoreViewCtrlByViewUniqueId(
    const std::string& viewUniqueId) const {
  auto object = appStoreObjectForViewUniqueId(viewUniqueId);
  return object ? object->storeKitAdapter()->getStoreViewController() : nullptr;
}

std::shared_ptr<QBAppStoreObject> QBAppStoreInsideSession::appStoreObjectForViewUniqueId(
    const std::string& viewUniqueId) const {
  auto it = appStoreDictionary_.find(viewUniqueId);
  return it == appStoreDictionary_.end() ? nullptr : it->second;
}

void QBAppStoreInsideSession::reportFinished(const platform::Json& parameters) const {
  auto delegate = delegate_.lock();
  if (auto finish = std::dynamic_pointer_cast<QBAppStoreInsideFinishDelegate>(delegate)) {
    finish->didFinishAppStoreInsideSessionWithParameters(parameters);
  }
}

void QBAppStoreInsideSession::productViewControllerDidFinish(
    const std::shared_ptr<platform::StoreProductViewController>& controller) {
  log("QBAppStoreInsideSession | productViewControllerDidFinish:");
  std::shared_ptr<QBAppStoreObject> chosen;
  for (const auto& [id, object] : appStoreDictionary_) {
    if (controller && object->storeKitAdapter()->getStoreViewController() == controller) chosen = object;
  }
  // Embedded in the split view, the page is not presented: nothing to dismiss.
  if (controller && !std::dynamic_pointer_cast<QBSplitViewController>(PMAHelperMethods::topMostController())) {
    controller->dismissViewControllerAnimated(true);
  }

  if (!std::dynamic_pointer_cast<QBAppStoreInsideFinishDelegate>(delegate_.lock())) return;
  if (!chosen) {
    QBNEventsTracker::logEvent(QBNEvents::storeKitCloseWithoutViewUniqueId(),
                               platform::Json{{"callfailreason", "chosenViewUniqueId is empty"}});
    reportFinished(platform::Json{{"didStoreKitPresent", true}, {"errMsg", "chosenViewUniqueId is empty"}});
    return;
  }
  auto finished = platform::Json{{"didStoreKitPresent", true},
                                 {"storeAppId", chosen->appStorePageAppId().value_or(platform::Json("-1"))},
                                 {"viewUniqueId", chosen->viewUniqueId()}};
  if (chosen->appStorePageParams().empty()) {
    finished["errMsg"] = "AppStorePageParams dictionary is empty";
  } else {
    finished["storeKitLoadParams"] = chosen->appStorePageParams().toJson();
  }
  reportFinished(finished);
}

void QBAppStoreInsideSession::resetForTesting() {
  auto pages = std::move(appStoreDictionary_);
  appStoreDictionary_.clear();
  for (const auto& [id, object] : pages) object->cleanup();
  delegate_.reset();
  viewControllerToPresentFrom_.reset();
}
