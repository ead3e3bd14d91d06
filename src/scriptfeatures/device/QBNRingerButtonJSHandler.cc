#include "scriptfeatures/device/QBNRingerButtonJSHandler.h"

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "scriptfeatures/QBNJSConventions.h"
#include "scriptfeatures/device/QBNRingerCheckerController.h"
#include "scriptfeatures/files/QBNLightCacheManager.h"

using platform::Json;

namespace {

std::optional<std::string> decodedText(const Json& params, const std::string& key) {
  auto value = QBNJSConventions::text(params, key);
  if (!value) return std::nullopt;
  return PMAHelperMethods::decodeFromPercentEscapeString(*value);
}

}  // namespace

void QBNRingerButtonJSHandler::invokeAPIWithJSParams(const Json& params) {
  const auto name = decodedText(params, "functionName");
  if (!name) return;
  if (*name == "init") return handlePrepareRingerChecker(params);
  if (*name == "startListener") return handleStartRingerStatus(params);
  if (*name == "stopListener") return handleStopRingerCheckerStatus(params);
  sendCallbackToController(decodedText(params, "fail"), Json{{"errMsg", "unsupported API"}});
}

void QBNRingerButtonJSHandler::handlePrepareRingerChecker(const Json& params) {
  prepareDetectorController();
  sendEmptyCallbackToController(params);
}

void QBNRingerButtonJSHandler::handleStartRingerStatus(const Json& params) {
  prepareDetectorController();
  if (!ringerCheckerController_->isInitiatedSuccessfuly()) {
    return sendCallbackToController(decodedText(params, "fail"), Json{{"errMsg", kQBNRingerCheckerFailedMessage}});
  }
  std::weak_ptr<QBNRingerButtonJSHandler> weakSelf = weak_from_this();
  ringerCheckerController_->startRingerCheckerWithStatusChangedHandler([weakSelf](bool silent) {
    if (auto self = weakSelf.lock()) self->upadateOnStatusChanged(silent);
  });
  sendEmptyCallbackToController(params);
}

void QBNRingerButtonJSHandler::handleStopRingerCheckerStatus(const Json& params) {
  prepareDetectorController();
  if (!ringerCheckerController_->isInitiatedSuccessfuly()) {
    return sendCallbackToController(decodedText(params, "fail"), Json{{"errMsg", kQBNRingerCheckerFailedMessage}});
  }
  ringerCheckerController_->stopRingerChecker();
  sendEmptyCallbackToController(params);
}

void QBNRingerButtonJSHandler::upadateOnStatusChanged(bool silent) {
  sendCallbackToController(std::string(kQBNRingerSwitchStatusChanged), Json{{"ringerSwitchSilent", silent}});
}

void QBNRingerButtonJSHandler::prepareDetectorController() {
  if (ringerCheckerController_) return;
  createNativeAssetsDirectory();
  ringerCheckerController_ = std::make_shared<QBNRingerCheckerController>();
  ringerCheckerController_->prepareRingerChecker();
}

void QBNRingerButtonJSHandler::createNativeAssetsDirectory() {
  const std::string root = PMADownloadManager::getInstanceRootDirectory();
  if (PMADownloadManager::createDirectoryAtPath(root, kQBNNativeAssetsFolderName, nullptr)) {
    QBNLightCacheManager::sharedInstance().setRootDirectoryPath(root + "/" + kQBNNativeAssetsFolderName);
  }
}

void QBNRingerButtonJSHandler::sendEmptyCallbackToController(const Json& params) {
  sendCallbackToController(decodedText(params, "success"), Json::object());
}

void QBNRingerButtonJSHandler::sendCallbackToController(const std::optional<std::string>& function,
                                                        const Json& parameters) {
  QBNJSConventions::reply(publisherAgent_, function, parameters, true);
}
