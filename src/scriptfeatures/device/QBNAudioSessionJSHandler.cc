#include "scriptfeatures/device/QBNAudioSessionJSHandler.h"

#include <utility>

#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/audio_session.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::AudioSession;
using platform::Json;

namespace {

std::optional<std::string> success(const Json& params) { return QBNJSConventions::text(params, "success"); }
std::optional<std::string> fail(const Json& params) { return QBNJSConventions::text(params, "fail"); }

std::string errorText(const platform::Error& error) { return error.message.empty() ? "unknown reason" : error.message; }

}  // namespace

QBNAudioSessionJSHandler::~QBNAudioSessionJSHandler() {
  if (interruptionObservation_) platform::NotificationCenter::defaultCenter().removeObserver(interruptionObservation_);
}

void QBNAudioSessionJSHandler::logInfo(const std::string& message) {
  PlovermarkLogManager::sharedManager().log("class: QBNAudioSessionJSHandler | " + message, 1, 5);
}

std::optional<std::string> QBNAudioSessionJSHandler::methodNameFromParams(const Json& params) {
  return QBNJSConventions::functionName(params);
}

Json QBNAudioSessionJSHandler::methodParamsFromJSParams(const Json& params, const std::string& operation) {
  const auto escaped = QBNJSConventions::text(params, "functionParams");
  const auto parsed = escaped ? platform::parseJson(PMAHelperMethods::decodeFromPercentEscapeString(*escaped))
                              : platform::Result<Json>(platform::Error{});
  if (!parsed || !parsed.value().is_object()) {
    logInfo("failed to parse params from controller :" + operation);
    return Json::object();
  }
  logInfo("calling method:" + operation + " | parsed params: " + platform::dumpJson(parsed.value()));
  return parsed.value();
}

uint64_t QBNAudioSessionJSHandler::convertCategoryOptionsValueFromJsParamsToAudioSessionApi(const Json& value) {
  return static_cast<uint64_t>(qbnjson::integerValue(value));
}

void QBNAudioSessionJSHandler::invokeAPIWithJSParams(const Json& params) {
  const auto method = methodNameFromParams(params);
  if (!method) return;
  if (*method == "getAudioSessionData") return getAudioSessionDataWithJsParams(params);
  if (*method == "setAudioSessionData") return setAudioSessionDataWithJsParams(params);
  if (*method == "activateAudioSession") return activateAudioSessionWithJsParams(params);
  if (*method == "deactivateAudioSession") return deactivateAudioSessionWithJsParams(params);
  if (*method == "isOtherAppPlayingAudio") return checkIsOtherAppPlayingAudioWithJsParams(params);
  if (*method == "getAvailableCategories") return getAudioSessionAvailableCategoriesWithJsParams(params);
  if (*method == "getAvailableModes") return getAudioSessionAvailableModesWithJsParams(params);
  if (*method == "subscribeToInterruption") return subscribeInterruption(params);
  if (*method == "unsubscribeInterruption") return unsubscribeInterruption();
  logInfo("unsupported API in js handler: " + *method);
  sendCallbackToController(fail(params), Json{{"errMsg", "unsupported API in js handler"}});
}

void QBNAudioSessionJSHandler::getAudioSessionDataWithJsParams(const Json& params) {
  logInfo("calling method:getAudioSessionDataWithJsParams: | with params: " + platform::dumpJson(params));
  const AudioSession& session = AudioSession::shared();
  sendCallbackToController(success(params), Json{{"category", session.category()},
                                                 {"mode", session.mode()},
                                                 {"categoryOptions", session.categoryOptions()}});
}

void QBNAudioSessionJSHandler::setAudioSessionDataWithJsParams(const Json& params) {
  logInfo("calling method:setAudioSessionDataWithJsParams: | with params: " + platform::dumpJson(params));
  const Json arguments = methodParamsFromJSParams(params, "setAudioSessionDataWithJsParams:");
  if (!arguments.contains("category")) {
    sendCallbackToController(fail(params), Json{{"errMsg", "missing category in js params"}});
    return;
  }
  AudioSession& session = AudioSession::shared();
  const std::string category = qbnjson::description(arguments["category"]);
  std::optional<platform::Error> error;
  if (arguments.contains("categoryOptions")) {
    logInfo("calling method:setAudioSessionDataWithJsParams: | contains options | with params: " +
            platform::dumpJson(arguments));
    error = session.setCategory(category,
                                convertCategoryOptionsValueFromJsParamsToAudioSessionApi(arguments["categoryOptions"]));
  } else {
    error = session.setCategory(category);
  }
  // A failed category call is not made good by a mode call that succeeds:
  // the first failure is the answer.
  if (arguments.contains("mode")) {
    auto modeError = session.setMode(qbnjson::description(arguments["mode"]));
    if (!error) error = std::move(modeError);
  }
  answer(params, error);
}

void QBNAudioSessionJSHandler::activateAudioSessionWithJsParams(const Json& params) {
  handleAudioSessionActivation(true, params);
}

void QBNAudioSessionJSHandler::deactivateAudioSessionWithJsParams(const Json& params) {
  handleAudioSessionActivation(false, params);
}

void QBNAudioSessionJSHandler::handleAudioSessionActivation(bool activate, const Json& params) {
  const std::string operation = "handleAudioSessionActivation:withJsParams:";
  logInfo("calling method:" + operation + " | with params: " + platform::dumpJson(params) +
          " | shouldActivate: " + (activate ? "yes" : "no"));
  const Json arguments = methodParamsFromJSParams(params, operation);
  std::optional<platform::Error> error;
  if (arguments.contains("setActiveOptions")) {
    logInfo("calling method:" + operation + " | contains options | with params: " + platform::dumpJson(arguments));
    error = AudioSession::shared().setActive(activate, static_cast<uint64_t>(qbnjson::integerValue(arguments["setActiveOptions"])));
  } else {
    error = AudioSession::shared().setActive(activate);
  }
  answer(params, error);
}

void QBNAudioSessionJSHandler::checkIsOtherAppPlayingAudioWithJsParams(const Json& params) {
  logInfo("calling method:checkIsOtherAppPlayingAudioWithJsParams: | with params: " + platform::dumpJson(params));
  sendCallbackToController(success(params),
                           Json{{"otherAppPlaying", AudioSession::shared().secondaryAudioShouldBeSilencedHint()}});
}

void QBNAudioSessionJSHandler::getAudioSessionAvailableCategoriesWithJsParams(const Json& params) {
  logInfo("calling method:getAudioSessionAvailableCategoriesWithJsParams: | with params: " + platform::dumpJson(params));
  sendCallbackToController(success(params), Json{{"availableCategories", AudioSession::availableCategories()}});
}

void QBNAudioSessionJSHandler::getAudioSessionAvailableModesWithJsParams(const Json& params) {
  logInfo("calling method:getAudioSessionAvailableModesWithJsParams: | with params: " + platform::dumpJson(params));
  sendCallbackToController(success(params), Json{{"availableModes", AudioSession::availableModes()}});
}

void QBNAudioSessionJSHandler::subscribeInterruption(const Json& params) {
  logInfo("calling method:subscribeInterruption: | with params: " + platform::dumpJson(params));
  auto& center = platform::NotificationCenter::defaultCenter();
  std::weak_ptr<QBNAudioSessionJSHandler> weakSelf = weak_from_this();
  platform::ObserverToken previous = 0;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(interruptionObservation_, 0);
    jsParamsInterruptions_ = params;
  }
  if (previous) center.removeObserver(previous);
  // Delivered on the poster's thread, as the platform posts it.
  const auto token = center.addObserver(weakSelf, platform::kAVAudioSessionInterruptionNotification, nullptr,
                                        [weakSelf](const platform::Notification& notification) {
                                          if (const auto self = weakSelf.lock()) self->qbnHandleInterruption(notification);
                                        });
  std::lock_guard lock(mutex_);
  interruptionObservation_ = token;
}

void QBNAudioSessionJSHandler::unsubscribeInterruption() {
  logInfo("calling method:unsubscribeInterruption");
  platform::ObserverToken observation = 0;
  {
    std::lock_guard lock(mutex_);
    observation = std::exchange(interruptionObservation_, 0);
    jsParamsInterruptions_.reset();
  }
  if (observation) platform::NotificationCenter::defaultCenter().removeObserver(observation);
}

void QBNAudioSessionJSHandler::qbnHandleInterruption(const platform::Notification& notification) {
  if (!notification.hasUserInfo()) return;
  const auto request = jsParamsInterruptions();
  if (!request) return;
  logInfo("calling method:qbnHandleInterruption: | with params: " + platform::dumpJson(notification.userInfo()));
  sendCallbackToController(success(*request), notification.userInfo());
}

std::optional<Json> QBNAudioSessionJSHandler::jsParamsInterruptions() const {
  std::lock_guard lock(mutex_);
  return jsParamsInterruptions_;
}

void QBNAudioSessionJSHandler::answer(const Json& params, const std::optional<platform::Error>& error) const {
  if (error) {
    sendCallbackToController(fail(params), Json{{"errMsg", errorText(*error)}});
  } else {
    sendEmptyCallbackToController(success(params));
  }
}

void QBNAudioSessionJSHandler::sendEmptyCallbackToController(const std::optional<std::string>& function) const {
  QBNJSConventions::reply(publisherAgent_, function, Json::object(), false);
}

void QBNAudioSessionJSHandler::sendCallbackToController(const std::optional<std::string>& function,
                                                        const std::optional<Json>& params) const {
  if (!params) return;
  QBNJSConventions::reply(publisherAgent_, function, *params, false);
}
