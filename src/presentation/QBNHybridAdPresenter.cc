#include "presentation/QBNHybridAdPresenter.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBNFullScreenBaseView.h"

namespace {

void log(const std::string& text, uint64_t level) { PlovermarkLogManager::sharedManager().log(text, level, 5); }

std::optional<std::string> text(const platform::Json& params, const char* key) {
  if (!params.is_object() || !params.contains(key)) return std::nullopt;
  return qbnjson::description(params[key]);
}

}  // namespace

std::shared_ptr<QBNHybridAdPresenter> QBNHybridAdPresenter::create(std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNHybridAdPresenter>(new QBNHybridAdPresenter(std::move(publisherAgent)));
}

std::optional<platform::Json> QBNHybridAdPresenter::layoutFrom(const platform::Json& params,
                                                               uint64_t decodedLogLevel) {
  std::optional<std::string> decoded;
  if (auto escaped = text(params, "hybridJson")) decoded = PMAHelperMethods::decodeFromPercentEscapeString(*escaped);
  log("decodedViewStructureStringJSON: " + decoded.value_or("<null>"), decodedLogLevel);
  platform::Error error;
  auto layout = PMAHelperMethods::decodeJSONObject(decoded, kPMAUTF8StringEncoding, &error);
  if (!layout) {
    log("Error in Call PlovermarkAds Function: " + (error.message.empty() ? "unknown reason" : error.message), 3);
    return std::nullopt;
  }
  return layout;
}

void QBNHybridAdPresenter::showHybridViewControllerWithDictionary(const platform::Json& params,
                                                                  uint32_t productType) {
  const auto layout = layoutFrom(params, 1);
  if (!layout || !layout->is_array()) return;
  // A split view that is still on screen would be left presented, out of
  // anyone's reach, under the new one.
  if (splitViewCtrl_ && splitViewCtrl_->isPresented()) {
    sendFail(params, "some product is already presented on screen");
    return;
  }
  const std::string viewUniqueId = text(params, "viewUniqueId").value_or("");
  std::vector<std::shared_ptr<QBHybridObject>> parts;
  for (const auto& element : *layout) {
    const auto viewType = element.is_object() ? text(element, "viewType") : std::nullopt;
    parts.push_back(QBHybridObject::initWithView(getViewFromStringViewType(viewType.value_or(""), viewUniqueId),
                                                 QBSplitViewController::screenRatioOf(element)));
  }
  splitViewCtrl_ = QBSplitViewController::initWithViewJsonArray(std::move(parts), viewUniqueId);
  splitViewCtrl_->setDelegate(weak_from_this());
  if (!splitViewCtrl_->show(productType, viewUniqueId)) {
    splitViewCtrl_.reset();
    sendFail(params, "did not find view controller to present from");
  }
}

void QBNHybridAdPresenter::handleHybridViewRatioConstrains(const platform::Json& params) {
  const auto layout = layoutFrom(params, 3);
  if (!layout) return;
  if (!layout->is_array()) {
    log("Error in Call PlovermarkAds Function: unknown reason", 3);
    return;
  }
  if (splitViewCtrl_ && !splitViewCtrl_->updateConstraintsForViews(*layout)) {
    log("Error in Call PlovermarkAds Function: the layout does not match the parts shown", 3);
  }
}

void QBNHybridAdPresenter::hideHybridAd() {
  if (splitViewCtrl_) splitViewCtrl_->hide();
}

bool QBNHybridAdPresenter::isPresented() const { return splitViewCtrl_ && splitViewCtrl_->isPresented(); }

std::shared_ptr<platform::ViewController> QBNHybridAdPresenter::presentedViewController() const {
  return isPresented() ? splitViewCtrl_ : nullptr;
}

std::shared_ptr<platform::View> QBNHybridAdPresenter::getViewFromStringViewType(const std::string& viewType,
                                                                                const std::string& viewUniqueId) const {
  if (viewType == "controller") return std::make_shared<QBNFullScreenBaseView>();
  if (viewType == "store") {
    const auto store = QBAppStoreInsideSession::sharedInstance()->getAppStoreViewCtrlByViewUniqueId(viewUniqueId);
    return store ? store->view() : nullptr;
  }
  return nullptr;
}

void QBNHybridAdPresenter::didDisplaySplitViewCtrlWithViewUniqueId(const std::string& viewUniqueId) {
  log("QBNHybridAdPresenter didDisplaySplitViewCtrlWithViewUniqueId: with viewUniqueId: " + viewUniqueId, 1);
  runCommand("appStoreInsideDisplayHybrid", platform::Json{{"viewUniqueId", viewUniqueId}});
}

void QBNHybridAdPresenter::didHideSplitViewCtrlWithViewUniqueId(const std::string& viewUniqueId) {
  log("QBNHybridAdPresenter didHideSplitViewCtrlWithViewUniqueId: with viewUniqueId: " + viewUniqueId, 1);
  runCommand("appStoreInsideHideHybrid", platform::Json{{"viewUniqueId", viewUniqueId}});
}

void QBNHybridAdPresenter::runCommand(const std::string& name, const platform::Json& params) const {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (manager) manager->runCommand(name, params, std::nullopt, std::nullopt, true);
}

void QBNHybridAdPresenter::sendFail(const platform::Json& params, const std::string& message) const {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  const auto fail = platform::getString(params, "fail");
  if (!manager || !fail) return;
  manager->runCommand(*fail, platform::Json{{"errMsg", message}}, std::nullopt, std::nullopt, true);
}
