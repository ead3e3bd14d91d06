#include "presentation/QBNAdViewsManager.h"

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "presentation/QBNAdContainer.h"

namespace {

void log(const std::string& line) { PlovermarkLogManager::sharedManager().log(line, 1, 5); }

void fail(const QBNAdViewCompletion& completion, const std::string& reason) {
  if (completion) completion(PMAHelperMethods::errorWithReason(reason, 0, std::nullopt));
}

void succeed(const QBNAdViewCompletion& completion) {
  if (completion) completion(std::nullopt);
}

}  // namespace

QBNAdViewsManager& QBNAdViewsManager::sharedManager() {
  static auto& manager = *new QBNAdViewsManager();
  return manager;
}

std::shared_ptr<QBNPresentableAdView> QBNAdViewsManager::getAdUnitWebViewById(
    const std::optional<std::string>& adViewId) const {
  if (!adViewId) return nullptr;
  const auto it = adViews_.find(*adViewId);
  return it == adViews_.end() ? nullptr : it->second;
}

std::shared_ptr<QBNAdViewWebPresenter> QBNAdViewsManager::createAdView(const std::optional<std::string>& adViewId,
                                                                       std::shared_ptr<QBNAdSize> adSize,
                                                                       bool shouldUseOffScreenView,
                                                                       std::weak_ptr<QBNAdViewDelegate> delegate,
                                                                       const QBNAdViewCompletion& completion) {
  constexpr char kSelector[] = "createAdView:adSize:shouldUseOffScreenView:delegate:completionHandler:";
  if (!adViewId || getAdUnitWebViewById(adViewId)) {
    fail(completion, std::string("WPAD - ") + kSelector + " | adViewID: " + adViewId.value_or(""));
    return nullptr;
  }
  auto presenter = QBNAdViewWebPresenter::create(*adViewId, std::move(adSize), shouldUseOffScreenView);
  if (!presenter) {
    fail(completion, std::string("WPAD - ") + kSelector + " | adUnitWebView is nil");
    return nullptr;
  }
  presenter->setCommunicatorDelegate(std::move(delegate));
  return presenter;
}

void QBNAdViewsManager::loadUrlWithParams(const QBNAdViewLoadParams& params, std::weak_ptr<QBNAdViewDelegate> delegate,
                                          const QBNAdViewCompletion& completion) {
  if (!params.adViewId()) {
    log("WPAD - loadUrlWithParams:delegate:completionHandler: | adViewID is missing");
    fail(completion, "QBNAdunitWebView not Exsits");
    return;
  }
  auto presenter = createAdView(params.adViewId(), params.adSize(), params.shouldUseOffScreenViewInWebPresenter(),
                                std::move(delegate), completion);
  if (!presenter) return;
  std::shared_ptr<QBNPresentableAdView> adView = presenter;
  if (params.shouldCreateContainer()) {
    adView = QBNAdContainer::create(presenter, params.shouldUseOffScreenViewInAdContainer());
  }
  adViews_[*params.adViewId()] = adView;
  adView->loadAdWithURL(params.urlString(), completion);
}

void QBNAdViewsManager::sendMessageToAdview(const std::optional<std::string>& adViewId,
                                            const std::optional<platform::Json>& params,
                                            const QBNAdViewCompletion& completion) {
  const auto adView = getAdUnitWebViewById(adViewId);
  if (!adView || !params) {
    log("WPAD - sendMessageToAdview:params:completionHandler: | adViewID: " + adViewId.value_or(""));
    fail(completion, "QBNAdunitWebView not Exsits");
    return;
  }
  std::optional<std::string> message;
  if (params->is_object() && params->contains("params") && (*params)["params"].is_object()) {
    const auto& inner = (*params)["params"];
    if (inner.contains("params") && inner["params"].is_string()) message = inner["params"].get<std::string>();
  }
  adView->sendMessage(message);
  succeed(completion);
}

void QBNAdViewsManager::removeAdViewWithId(const std::optional<std::string>& adViewId, const platform::Json&,
                                           std::weak_ptr<QBNAdViewDelegate>, const QBNAdViewCompletion& completion) {
  const auto adView = getAdUnitWebViewById(adViewId);
  if (!adView) {
    fail(completion, "removeAdViewWithId failed. adViewId not found in the collection");
    return;
  }
  adViews_.erase(*adViewId);
  // Its measurement session (if the page started one) ends with it: the
  // session and the walk of every window would otherwise go on until the
  // page finishes it, for good when it never does.
  QBNOMIDManager::sharedInstance()->finishSessionOfRemovedAdView(*adViewId);
  adView->performCleanup();
  succeed(completion);
}

void QBNAdViewsManager::performWebViewActionWithId(const std::optional<std::string>& adViewId,
                                                   const platform::Json& params, const QBNAdViewCompletion& completion) {
  const auto adView = getAdUnitWebViewById(adViewId);
  if (!adView) {
    fail(completion, "performWebViewActionWithId failed. adViewId not found in the collection");
    return;
  }
  std::optional<std::string> actionName;
  if (params.is_object() && params.contains("actionName") && params["actionName"].is_string()) {
    actionName = params["actionName"].get<std::string>();
  }
  adView->performWebViewActionWithActionName(actionName, completion);
}

void QBNAdViewsManager::sendHandleGetViewVisibilityWithId(const std::optional<std::string>& adViewId,
                                                          const platform::Json&, const QBNAdViewCompletion& completion) {
  const auto adView = getAdUnitWebViewById(adViewId);
  if (!adView) {
    fail(completion, "sendHandleGetViewVisibilityWithId failed. adViewId not found in the collection");
    return;
  }
  adView->sendHandleGetViewVisibility();
}

void QBNAdViewsManager::resetForTesting() {
  auto views = std::move(adViews_);
  adViews_.clear();
  for (auto& [id, view] : views) view->performCleanup();
  QBNAdViewWebPresenter::resetOffscreenViewForTesting();
}
