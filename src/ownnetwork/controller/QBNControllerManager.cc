#include "ownnetwork/controller/QBNControllerManager.h"

#include <utility>

#include "ownnetwork/controller/QBNNativeController.h"
#include "ownnetwork/controller/QBNWebController.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/services/QBNProductType.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/device.h"

using platform::Json;

namespace {

constexpr char kFailedInitiating[] = "Mobile controller Failed initiating.";
constexpr char kWebViewTerminatedReason[] = "WebView Web Content Process Did Terminated.";

void log(const std::string& message, uint64_t level, int tag) {
  PlovermarkLogManager::sharedManager().log(message, level, tag);
}

bool isForced(const QBNControllerAPIData& data) {
  return qbnjson::boolValue(data.functionParameters(), "forceCommand").value_or(false);
}

}  // namespace

const char* QBNControllerStateName(QBNControllerState state) {
  switch (state) {
    case QBNControllerState::None: return "none";
    case QBNControllerState::Downloaded: return "downloaded";
    case QBNControllerState::Loaded: return "loaded";
    case QBNControllerState::FailedInitiating: return "failed initiating";
    case QBNControllerState::Ready: return "ready";
    case QBNControllerState::Failed: return "failed";
  }
  return "unknown";
}

std::shared_ptr<QBNControllerManager> QBNControllerManager::create() {
  return std::shared_ptr<QBNControllerManager>(new QBNControllerManager());
}

void QBNControllerManager::initControllerWithcontrollerURL(const std::optional<std::string>& controllerURL,
                                                           int64_t debugMode,
                                                           std::shared_ptr<QBNDataManagerProtocol> dataManager,
                                                           const std::optional<std::string>& controllerConfig,
                                                           InitCompletion completion) {
  controllerURL_ = controllerURL;
  controllerConfig_ = controllerConfig;
  debugMode_ = debugMode;
  dataManager_ = std::move(dataManager);
  std::lock_guard<std::mutex> lock(mutex_);
  initCompletionBlock_ = std::move(completion);
  controllerCommandsQueue_.clear();
  controllerState_ = QBNControllerState::None;
  isControllerInitializing_ = false;
}

void QBNControllerManager::setPublisher(std::weak_ptr<QBNControllerPublisherP> publisher) {
  publisher_ = std::move(publisher);
}

// ------------------------------------------------------------------ accessors

std::shared_ptr<QBNController> QBNControllerManager::controller() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controller_;
}

QBNControllerState QBNControllerManager::controllerState() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerState_;
}

void QBNControllerManager::setControllerState(QBNControllerState state) {
  QBNControllerState previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    previous = std::exchange(controllerState_, state);
  }
  log(std::string("QBNControllerManager | controller state from ") + QBNControllerStateName(previous) + " to " +
          QBNControllerStateName(state),
      1, 5);
}

bool QBNControllerManager::hasControllerGlobalInitTimer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerGlobalInitTimer_ && controllerGlobalInitTimer_->isValid();
}

size_t QBNControllerManager::pendingCommandCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerCommandsQueue_.size();
}

bool QBNControllerManager::isNativeControllerCurrent() const {
  return std::dynamic_pointer_cast<QBNNativeController>(controller()) != nullptr;
}

// ------------------------------------------------------------------ creation

void QBNControllerManager::createController() {
  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
      PMAHelperMethods::dictionaryFromJsonString(controllerConfig_));
  if (QBNFeaturesManager::sharedManager().isSDKSupportingCurrentOSVersion()) {
    createWebController();
    return;
  }
  const std::string reason = "OS version " + platform::deviceFacts().facts().osVersion + " not supported";
  createNativeControllerWithError(reason);
  invokePendingCommands();
  // The caller may be creating the publisher under its lock: the completion
  // hears of it from the main queue.
  std::weak_ptr<QBNControllerManager> weakSelf = weak_from_this();
  platform::mainQueue()->async([weakSelf, reason] {
    if (auto self = weakSelf.lock()) {
      self->fireInitControllerCompletionBlock(PMAHelperMethods::errorWithReason(reason, 0, std::nullopt));
    }
  });
}

void QBNControllerManager::createWebController() {
  const bool urlSession = dataManager_ && dataManager_->config().shouldUseURLSession;
  QBNEventsTracker::logEvent(QBNEvents::createControllerWeb(), Json{{"generalmessage", urlSession ? "true" : "false"}});
  auto web = QBNWebController::create(publisher_);
  web->setControllerDelegate(weak_from_this());
  isControllerInitializing_ = true;
  // On the main queue, where every other init step runs: the thread that
  // creates the controller may be a pooled one that runs no run loop.
  std::weak_ptr<QBNControllerManager> weakSelf = weak_from_this();
  auto timer = platform::Timer::once(platform::mainQueue(), kQBNControllerGlobalInitTimeoutMs, [weakSelf] {
    if (auto self = weakSelf.lock()) self->controllerGlobalInitTimerFired();
  });
  std::weak_ptr<platform::Timer> weakTimer = timer;
  std::shared_ptr<platform::Timer> previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    controller_ = web;
    previous = std::exchange(controllerGlobalInitTimer_, std::move(timer));
  }
  if (previous) previous->cancel();
  setControllerState(QBNControllerState::None);
  web->downloadControllerFromURL(controllerURL_.value_or(""), dataManager_, weakTimer, controllerConfig_, debugMode_);
}

void QBNControllerManager::createNativeControllerWithError(const std::string& reason) {
  QBNEventsTracker::logEvent(QBNEvents::createControllerNative(), Json{{"callfailreason", reason}});
  stopGlobalInitTimer();
  auto native = std::make_shared<QBNNativeController>();
  native->setFailedControllerReason(reason);
  native->setControllerDelegate(weak_from_this());
  std::shared_ptr<QBNController> replaced;
  QBNControllerState previous;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    replaced = std::exchange(controller_, native);
    previous = std::exchange(controllerState_, QBNControllerState::Ready);
  }
  log(std::string("QBNControllerManager | controller state from ") + QBNControllerStateName(previous) +
          " to ready (native controller)",
      1, 5);
  // The replaced web controller's load timer must not report later, and its
  // page, which failed, must not run on: its timers would keep ticking and
  // its requests would reach nobody.
  if (replaced) replaced->clearTimers();
  if (auto web = std::dynamic_pointer_cast<QBNWebController>(replaced)) web->tearDownPage();
  if (auto owner = publisher()) owner->fallbackControllerTookOver();
}

// ------------------------------------------------------------------ commands

void QBNControllerManager::runCommand(const std::string& functionName, const Json& parameters,
                                      const std::optional<std::string>& successMethodName,
                                      const std::optional<std::string>& failMethodName, bool decodeFirst) {
  QBNControllerAPIData data(functionName);
  data.setFunctionParameters(parameters)
      .setSuccessCallback(successMethodName)
      .setFailCallback(failMethodName)
      .setEncodingOptions(decodeFirst ? QBNControllerAPIData::kEncodingDecodeThenEncode
                                      : QBNControllerAPIData::kEncodingNone);
  runCommand(data);
}

void QBNControllerManager::runCommand(const QBNControllerAPIData& data) {
  // A call made while a page's message is delivered answers that page.
  if (!data.answersPage() && platform::WebView::isAnsweringPage()) {
    runCommand(QBNControllerAPIData(data).setAnswersPage(true));
    return;
  }
  const bool forced = isForced(data);
  std::shared_ptr<QBNController> target;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool ready =
        controllerState_ == QBNControllerState::Ready && controllerCommandsQueue_.empty() && !flushing_;
    if (controller_ && (forced || ready)) {
      target = controller_;
    } else {
      controllerCommandsQueue_.push_back(data);
    }
  }
  if (target) target->runCommand(data);
}

void QBNControllerManager::invokePendingCommands() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (flushing_) return;  // the flush under way hands them over
    flushing_ = true;
  }
  for (bool first = true;; first = false) {
    std::deque<QBNControllerAPIData> batch;
    std::shared_ptr<QBNController> target;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // Before the page is ready, what arrives during a flush waits for the
      // next one; once it is ready, the flush runs until nothing is left.
      const bool more = first || controllerState_ == QBNControllerState::Ready;
      if (controllerCommandsQueue_.empty() || !controller_ || !more) {
        flushing_ = false;
        return;
      }
      batch.swap(controllerCommandsQueue_);
      target = controller_;
    }
    for (const auto& command : batch) {
      target->runCommand(command);
      if (handOverHookForTesting_) handOverHookForTesting_();
    }
  }
}

// ------------------------------------------------------------------ init steps

void QBNControllerManager::handleInitControllerCallBack(bool success, const Json& parameters,
                                                        const std::optional<platform::Error>& error) {
  if (isNativeControllerCurrent()) {
    log("QBNControllerManager | init callback ignored: the native controller runs", 1, 5);
    return;
  }
  std::optional<platform::Error> failure;
  if (success) {
    if (setControllerStateAfterInitialization(parameters) == QBNControllerState::Failed) {
      if (auto current = controller()) current->clearTimers();
      const auto errMsg = platform::getString(parameters, "errMsg");
      failure = PMAHelperMethods::errorWithReason(errMsg.value_or("failed to init controller"),
                                                  static_cast<int>(qbnjson::integerValue(parameters, "errCode")),
                                                  std::nullopt);
      fireInitControllerCompletionBlock(failure);
      createNativeControllerWithError(failure->message);
    }
  } else {
    failure = error.value_or(PMAHelperMethods::errorWithReason(std::nullopt, 0, std::nullopt));
    if (auto current = controller()) current->clearTimers();
    controllerFailedInitiatingWithError(*failure);
    createNativeControllerWithError(failure->message);
  }
  initiateDemandSourcesAfterControllerInitiated(failure);
}

QBNControllerState QBNControllerManager::setControllerStateAfterInitialization(const Json& parameters) {
  const auto stage = platform::getString(parameters, "stage");
  if (stage == "loaded") {
    if (auto current = controller()) current->clearTimers();
    setControllerState(QBNControllerState::Loaded);
    QBNEventsTracker::logEvent(QBNEvents::controllerStageLoaded());
  } else if (stage == "ready") {
    stopGlobalInitTimer();
    setControllerState(QBNControllerState::Ready);
    QBNEventsTracker::logEvent(QBNEvents::controllerStageReady());
    fireInitControllerCompletionBlock(std::nullopt);
  } else if (stage == "failed") {
    stopGlobalInitTimer();
    setControllerState(QBNControllerState::Failed);
    QBNEventsTracker::logEvent(QBNEvents::controllerFailed(),
                               Json{{"callfailreason", platform::getString(parameters, "errMsg").value_or(kFailedInitiating)}});
  }
  return controllerState();
}

void QBNControllerManager::initiateDemandSourcesAfterControllerInitiated(const std::optional<platform::Error>& error) {
  isControllerInitializing_ = false;
  invokePendingCommands();
  auto owner = publisher();
  if (!owner) return;
  for (auto type : {QBNProductType::Interstitial, QBNProductType::RewardedVideo, QBNProductType::Banner}) {
    owner->initUninitializedDemandSourcesForType(type, error);
  }
  owner->initNonDemandSourceProductsAfterInitController(error);
  const auto closeFileAccess = [weakOwner = std::weak_ptr<QBNControllerPublisherP>(owner)] {
    auto publisher = weakOwner.lock();
    if (auto webView = publisher ? publisher->webViewController() : nullptr) webView->allowFileAccessFromFileURLs(false);
  };
  if (platform::isMainThread()) {
    closeFileAccess();
  } else {
    platform::mainQueue()->async(closeFileAccess);
  }
}

void QBNControllerManager::controllerFailedInitiatingWithError(const platform::Error& error) {
  stopGlobalInitTimer();
  setControllerState(QBNControllerState::FailedInitiating);
  // The errors raised here carry no recovery suggestion.
  log(kFailedInitiating, 3, 8);
  fireInitControllerCompletionBlock(error);
  QBNEventsTracker::logEvent(QBNEvents::controllerFailed(), Json{{"callfailreason", kFailedInitiating}});
}

void QBNControllerManager::controllerGlobalInitTimerFired() {
  if (controllerState() == QBNControllerState::Ready) {
    stopGlobalInitTimer();
    return;
  }
  log("controllerGlobalInitTimerFired", 1, 5);
  stopGlobalInitTimer();
  if (auto current = controller()) current->clearTimers();
  setControllerState(QBNControllerState::Failed);
  // Reported like a failure of the web controller: the fallback then answers
  // what waits and what comes, instead of leaving it queued for a page that
  // did not come up in 200 s.
  handleInitControllerCallBack(false, Json::object(),
                               PMAHelperMethods::errorWithReason(std::string(kQBNControllerInitTimeoutMessage),
                                                                 kQBNControllerInitTimeoutCode, std::nullopt));
}

void QBNControllerManager::handleWebViewTerminated() {
  QBNEventsTracker::logEvent(QBNEvents::webViewTerminated(),
                             Json{{"callfailreason", "webViewWebContentProcessDidTerminate"}});
  if (!QBNFeaturesManager::sharedManager().shouldHandleWebViewTerminated()) return;
  if (isNativeControllerCurrent()) return;
  createNativeControllerWithError(kWebViewTerminatedReason);
  const platform::Error error = PMAHelperMethods::errorWithReason(std::string(kWebViewTerminatedReason), 0, std::nullopt);
  fireInitControllerCompletionBlock(error);
  if (isControllerInitializing()) {
    initiateDemandSourcesAfterControllerInitiated(error);
  } else {
    invokePendingCommands();
  }
  if (auto owner = publisher()) owner->notifyAdCloseAll();
}

void QBNControllerManager::fireInitControllerCompletionBlock(const std::optional<platform::Error>& error) {
  InitCompletion completion;
  std::vector<InitCompletion> waiters;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    completion = std::exchange(initCompletionBlock_, nullptr);
    if (!initiationSettled_) {
      initiationSettled_ = true;
      initiationOutcome_ = error;
      waiters = std::exchange(settledWaiters_, {});
    }
  }
  if (completion) completion(error);
  for (const auto& waiter : waiters) waiter(error);
}

void QBNControllerManager::whenInitiationSettled(InitCompletion completion) {
  if (!completion) return;
  std::optional<platform::Error> outcome;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initiationSettled_) {
      settledWaiters_.push_back(std::move(completion));
      return;
    }
    outcome = initiationOutcome_;
  }
  platform::mainQueue()->async([completion = std::move(completion), outcome] { completion(outcome); });
}

void QBNControllerManager::stopGlobalInitTimer() {
  std::shared_ptr<platform::Timer> timer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timer = std::move(controllerGlobalInitTimer_);
  }
  if (timer) timer->cancel();
}

// ------------------------------------------------------------------ to the publisher

bool QBNControllerManager::handleControllerCallback(const platform::URLRequest& request, int navigationType) {
  auto owner = publisher();
  return owner ? owner->handleControllerCallback(request, navigationType) : false;
}

void QBNControllerManager::handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                                               const std::optional<std::string>& fullUrl) {
  if (auto owner = publisher()) owner->handlePlovermarkCallbackWithCommand(command, parameters, fullUrl);
}

void QBNControllerManager::handlePlovermarkCallbackWithCommand(const std::string& command, const Json& parameters) {
  if (auto owner = publisher()) owner->handlePlovermarkCallbackWithCommand(command, parameters);
}
