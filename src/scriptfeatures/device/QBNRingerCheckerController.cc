#include "scriptfeatures/device/QBNRingerCheckerController.h"

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "scriptfeatures/device/QBNSoundSamplerRingerChecker.h"

void QBNRingerCheckerController::prepareRingerChecker() { ringerChecker_ = QBNSoundSamplerRingerChecker::shared(); }

std::shared_ptr<QBNSoundSamplerRingerChecker> QBNRingerCheckerController::ringerChecker() {
  if (!ringerChecker_) ringerChecker_ = QBNSoundSamplerRingerChecker::shared();
  return ringerChecker_;
}

void QBNRingerCheckerController::startRingerCheckerWithStatusChangedHandler(std::function<void(bool)> handler) {
  logInfo("calling method:startRingerCheckerWithStatusChangedHandler");
  auto checker = ringerChecker();
  if (checker->isDetecting()) return;
  checker->setStatusHandler([handler = std::move(handler)](bool silent) {
    if (handler) handler(silent);
  });
  checker->startDetecting();
}

void QBNRingerCheckerController::stopRingerChecker() {
  logInfo("calling method:stopRingerChecker");
  ringerChecker()->stopDetecting();
}

bool QBNRingerCheckerController::isInitiatedSuccessfuly() { return ringerChecker()->isActive(); }

void QBNRingerCheckerController::logInfo(const std::string& message) const {
  PlovermarkLogManager::sharedManager().log("class: QBNRingerCheckerController | " + message, 1, 5);
}
