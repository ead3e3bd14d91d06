// Start-up of the SDK object: life cycle, the state machine, the checks
// before the request (step 1), the end of start-up and the completion
// (step 3). Step 2 is in QuillborneSdkExchange.cc.
#include "sdk/QuillborneSdk.h"

#include <algorithm>
#include <utility>

#include "core/QBConfigurations.h"
#include "core/QBMetaDataUtils.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBEventData.h"
#include "events/QBEventsEngines.h"
#include "foundation/PMEDeviceStatus.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBDemandOnlyModeHelper.h"
#include "platform/device.h"
#include "platform/runtime.h"
#include "presentation/QBPresentationRegistration.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "sdk/QBMediationGlobalDataWriter.h"
#include "sdk/QBObjectPerWaterfallManagerFactories.h"
#include "sdk/QBProgBannerManagerFactory.h"
#include "ownnetwork/adapters/QBOwnNetworkRegistration.h"
#include "tulvo_adapter/QBTulvoAdapterRegistration.h"

namespace {

constexpr int kTagApi = 0;
constexpr int kTagDelegate = 1;
constexpr int kTagInternal = 6;

// The SDK object and its settings live for the process and are never
// destroyed: a host may return from main while start-up, auctions or uploads
// are in flight, and the SDK object's destructor would then tear down managers
// under worker threads that still run, after process-wide objects they reach
// are gone.
struct ProcessWide {
  std::mutex instanceMutex;
  std::shared_ptr<QuillborneSdk> instance;  // guarded by instanceMutex
  std::mutex endpointMutex;
  std::string endpoint = QuillborneSdk::kDefaultInitEndpoint;  // guarded by endpointMutex
};
ProcessWide& processWide() {
  static ProcessWide& p = *new ProcessWide();
  return p;
}
// initializationDidComplete goes out once per process.
std::atomic<bool> g_initCompleteDelivered{false};
std::atomic<bool> g_adapterClassesRegistered{false};

std::optional<QBAdUnit> adUnitForRecordedName(const std::string& name) {
  if (name == QuillborneSdk::kRewardedVideo) return QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  if (name == QuillborneSdk::kInterstitial) return QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
  if (name == QuillborneSdk::kOfferwall) return QBAdUnit::QB_AD_UNIT_OFFERWALL();
  if (name == QuillborneSdk::kBanner) return QBAdUnit::QB_AD_UNIT_BANNER();
  return std::nullopt;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) out += (out.empty() ? "" : ",") + name;
  return out;
}

}  // namespace

const char* QBSdkStateName(QBSdkState state) {
  switch (state) {
    case QBSdkState::SDK_NOT_INITIATED: return "SDK_NOT_INITIATED";
    case QBSdkState::SDK_INIT_IN_PROGRESS: return "SDK_INIT_IN_PROGRESS";
    case QBSdkState::SDK_INIT_FAILED: return "SDK_INIT_FAILED";
    case QBSdkState::SDK_INITIATED: return "SDK_INITIATED";
  }
  return "UNKNOWN";
}

// ------------------------------------------------------------ life cycle

QuillborneSdk::QuillborneSdk() : parser_(QBServerResponseParser::create()) {}

QuillborneSdk::~QuillborneSdk() = default;

std::shared_ptr<QuillborneSdk> QuillborneSdk::sharedInstance() {
  auto& p = processWide();
  std::lock_guard lock(p.instanceMutex);
  if (!p.instance) p.instance = std::shared_ptr<QuillborneSdk>(new QuillborneSdk());
  return p.instance;
}

void QuillborneSdk::resetForTesting() {
  std::shared_ptr<QuillborneSdk> old;
  {
    auto& p = processWide();
    std::lock_guard lock(p.instanceMutex);
    old.swap(p.instance);
  }
  if (old) old->shutDown();
  g_initCompleteDelivered.store(false);
  g_adapterClassesRegistered.store(false);
  setInitEndpoint(kDefaultInitEndpoint);
}

void QuillborneSdk::shutDown() {
  std::shared_ptr<platform::Timer> timer;
  std::map<std::string, std::shared_ptr<QBAdUnitManager>> managers;
  bool wasWaiting = false;
  {
    std::lock_guard lock(mutex_);
    defunct_ = true;
    timer.swap(retryTimer_);
    managers.swap(managers_);
    wasWaiting = std::exchange(waitingForNetwork_, false);
  }
  if (timer) timer->cancel();
  if (wasWaiting) PMEReachabilityManager::sharedManager()->removeDelegate(this);
}

void QuillborneSdk::setInitEndpoint(const std::string& baseUrl) {
  auto& p = processWide();
  std::lock_guard lock(p.endpointMutex);
  p.endpoint = baseUrl;
}

std::string QuillborneSdk::initEndpoint() {
  auto& p = processWide();
  std::lock_guard lock(p.endpointMutex);
  return p.endpoint;
}

int64_t QuillborneSdk::retryDelayMs(int retry) {
  if (retry <= 0) return kFirstRetryDelayMs;
  if (retry >= 16) return kMaxRetryDelayMs;
  return std::min(kFirstRetryDelayMs << retry, kMaxRetryDelayMs);
}

// --------------------------------------------------------------- state

std::string QuillborneSdk::setStateLocked(QBSdkState state) {
  const QBSdkState old = std::exchange(state_, state);
  return std::string("SDK state changed from ") + QBSdkStateName(old) + " to " + QBSdkStateName(state);
}

QBSdkState QuillborneSdk::sdkState() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::vector<std::string> QuillborneSdk::requestedAdUnits() const {
  std::lock_guard lock(mutex_);
  return requestedAdUnits_;
}

std::optional<QBError> QuillborneSdk::initError() const {
  std::lock_guard lock(mutex_);
  return initError_;
}

bool QuillborneSdk::isDemandOnly() const {
  std::lock_guard lock(mutex_);
  return demandOnly_;
}

void QuillborneSdk::addMediationInitializationDelegate(std::weak_ptr<QBOnMediationInitializationDelegate> delegate) {
  auto strong = delegate.lock();
  if (!strong) return;
  std::lock_guard lock(mutex_);
  for (const auto& existing : mediationDelegates_) {
    if (existing.lock() == strong) return;
  }
  mediationDelegates_.push_back(std::move(delegate));
}

void QuillborneSdk::removeMediationInitializationDelegate(const QBOnMediationInitializationDelegate* delegate) {
  std::lock_guard lock(mutex_);
  std::erase_if(mediationDelegates_, [delegate](const auto& weak) {
    auto strong = weak.lock();
    return !strong || strong.get() == delegate;
  });
}

std::vector<std::shared_ptr<QBOnMediationInitializationDelegate>> QuillborneSdk::liveMediationDelegatesLocked() {
  std::vector<std::shared_ptr<QBOnMediationInitializationDelegate>> live;
  for (const auto& weak : mediationDelegates_) {
    if (auto strong = weak.lock()) live.push_back(std::move(strong));
  }
  return live;
}

int QuillborneSdk::configurationRequestCountForTesting() const {
  std::lock_guard lock(mutex_);
  return requestsSent_;
}

int QuillborneSdk::retryCountForTesting() const {
  std::lock_guard lock(mutex_);
  return retries_;
}

bool QuillborneSdk::isRetryScheduledForTesting() const {
  std::lock_guard lock(mutex_);
  return retryTimer_ && retryTimer_->isValid();
}

bool QuillborneSdk::isWaitingForNetworkForTesting() const {
  std::lock_guard lock(mutex_);
  return waitingForNetwork_;
}

// ------------------------------------------------------------ step 1

void QuillborneSdk::initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits,
                                   std::weak_ptr<QBInitializationDelegate> delegate, bool demandOnly) {
  // Lines name the call the application made.
  const char* call = demandOnly ? "initQBDemandOnly" : "initWithAppKey";
  QB_LOG_AS(call, "appKey: " + appKey + ", adUnits: [" + joined(adUnits) + "]" + (demandOnly ? ", demand-only" : ""),
            1, kTagApi);
  std::vector<std::string> units;
  std::vector<std::string> dropped;
  for (const auto& name : adUnits) {
    const std::string lower = QBMetaDataUtils::lowercase(name);
    const bool known = adUnitForRecordedName(lower).has_value() && !(demandOnly && lower == kOfferwall);
    if (!known) {
      dropped.push_back(name);
    } else if (std::find(units.begin(), units.end(), lower) == units.end()) {
      units.push_back(lower);
    }
  }
  if (units.empty()) {
    units = {kRewardedVideo, kInterstitial, kOfferwall, kBanner};
    if (demandOnly) units.erase(std::find(units.begin(), units.end(), std::string(kOfferwall)));
  }

  std::string refusal;
  std::string transition;
  auto refusalForStateLocked = [this]() -> std::string {
    if (state_ != QBSdkState::SDK_INIT_IN_PROGRESS && state_ != QBSdkState::SDK_INITIATED) return "";
    return std::string("init called while the SDK state is ") + QBSdkStateName(state_) + "; ignored";
  };
  {
    std::lock_guard lock(mutex_);
    refusal = refusalForStateLocked();
  }
  // The mode helper logs, so it is asked outside the lock.
  auto& modeHelper = QBDemandOnlyModeHelper::sharedInstance();
  const auto mode = demandOnly ? QBDemandOnlyModeHelper::Mode::DemandOnly : QBDemandOnlyModeHelper::Mode::Mediation;
  if (refusal.empty() && !modeHelper.setMode(mode)) {
    refusal = std::string("init called in ") + QBDemandOnlyModeHelper::modeName(mode) + " mode after " +
              QBDemandOnlyModeHelper::modeName(modeHelper.mode()) + " mode was chosen; ignored";
  }
  if (refusal.empty()) {
    std::lock_guard lock(mutex_);
    refusal = refusalForStateLocked();  // another init may have won meanwhile
    if (refusal.empty()) {
      transition = setStateLocked(QBSdkState::SDK_INIT_IN_PROGRESS);
      appKey_ = appKey;
      requestedAdUnits_ = units;
      demandOnly_ = demandOnly;
      initDelegate_ = std::move(delegate);
      initError_.reset();
      retries_ = 0;
    }
  }
  if (!refusal.empty()) {
    QB_LOG_AS(call, refusal, 3, kTagApi);
    return;
  }
  for (const auto& name : dropped) QB_LOG_AS(call, "unknown ad unit \"" + name + "\" ignored", 3, kTagApi);
  QB_LOG_AS(call, transition, 0, kTagInternal);

  QBConfigurations::getConfigurations().setAppKey(appKey);
  QBMediationGlobalDataWriter().writeStartUpFacts(appKey);
  if (!g_adapterClassesRegistered.exchange(true)) {
    registerTulvoAdapterClasses();
    registerOwnNetworkAdapterClasses();
    registerObjectPerWaterfallManagerFactories();
    registerProgBannerManagerFactory();
    qb::presentation::registerWithOwnNetwork();
    qb::scriptfeatures::registerWithOwnNetwork();
  }

  std::weak_ptr<QuillborneSdk> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::High)->async([weak] {
    if (auto self = weak.lock()) self->runStartUpChecks();
  });
}

void QuillborneSdk::runStartUpChecks() {
  std::string appKey;
  std::vector<std::string> units;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
    appKey = appKey_;
    units = requestedAdUnits_;
  }
  if (!QBUtils::matchesPattern(appKey, kAppKeyPattern)) {
    failStartUp(QBError::createError(501, std::string("Init Fail - Invalid appKey")),
                "appKey \"" + appKey + "\" does not match " + kAppKeyPattern);
    return;
  }
  QBRewardedVideoEventsEngine::sharedInstance()->logEvent(
      QBEventData(kInitStartedEventId, platform::Json{{"adUnits", joined(units)}}));
  const std::string osVersion = platform::deviceFacts().facts().osVersion;
  if (PMEDeviceStatus::compareVersions(osVersion, kMinimumOSVersion) < 0) {
    failStartUp(QBError::createError(501, std::string("Init Fail - OS version is below ") + kMinimumOSVersion),
                "OS version " + osVersion);
    return;
  }
  sendConfigurationRequest();
}

void QuillborneSdk::failStartUp(const QBError& error, const std::string& detail) {
  std::string transition;
  std::shared_ptr<platform::Timer> timer;
  std::vector<std::shared_ptr<QBOnMediationInitializationDelegate>> delegates;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
    transition = setStateLocked(QBSdkState::SDK_INIT_FAILED);
    initError_ = error;
    timer.swap(retryTimer_);
    delegates = liveMediationDelegatesLocked();
  }
  if (timer) timer->cancel();
  QB_LOG(transition, 0, kTagInternal);
  QB_LOG(error.message() + (detail.empty() ? "" : " (" + detail + ")"), 3, kTagApi);
  for (const auto& delegate : delegates) {
    if (auto caught = platform::guard([&] { delegate->didInitFailed(error); })) {
      QB_LOG("didInitFailed threw " + caught->description(), 3, kTagInternal);
    }
  }
}

// ------------------------------------------------------------ step 3

void QuillborneSdk::completeStartUp(std::optional<QBError> cachedConfigurationError) {
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
    if (cachedConfigurationError) initError_ = cachedConfigurationError;
  }
  if (cachedConfigurationError) QB_LOG(cachedConfigurationError->message(), 3, kTagApi);

  QBRewardedVideoEventsEngine::sharedInstance()->configure(
      parser_->eventsSettings(QBEventsSettings::kRewardedVideoEventsIdentifier));
  QBInterstitialEventsEngine::sharedInstance()->configure(
      parser_->eventsSettings(QBEventsSettings::kInterstitialEventsIdentifier));
  QBPixelEventsEngine::sharedInstance()->configure(parser_->eventsSettings(QBEventsSettings::kPixelEventsIdentifier));
  const auto application = parser_->applicationSettings();
  QBLoggerManager::sharedInstance().setConsoleLevel(application->consoleLogLevel());
  QBLoggerManager::sharedInstance().setPublisherLevel(application->publisherLogLevel());

  std::weak_ptr<QuillborneSdk> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::Default)->async([weak] {
    if (auto self = weak.lock()) self->createManagersAndFinish();
  });
}

void QuillborneSdk::createManagersAndFinish() {
  std::vector<std::pair<std::string, int>> notes;  // message, level
  std::string transition;
  std::vector<std::shared_ptr<QBOnMediationInitializationDelegate>> delegates;
  std::weak_ptr<QBInitializationDelegate> initDelegate;
  {
    std::lock_guard lock(mutex_);
    if (!isStartingLocked()) return;
    const auto snapshot = parser_->snapshot();
    const auto auction = snapshot->auctionSettings();
    const auto token = snapshot->tokenSettings();
    for (const auto& name : requestedAdUnits_) {
      const QBAdUnit adUnit = *adUnitForRecordedName(name);
      const std::string managerName =
          QBAdUnitManagerNameFor(adUnit, auction.get(), demandOnly_, manualRewardedVideo_);
      if (managerName.empty()) {
        notes.emplace_back(adUnit.value() + " - no manager for this ad unit in this version", 1);
        continue;
      }
      QBAdUnitManagerParams params;
      params.adUnit = adUnit;
      params.settings = snapshot->productSettings(adUnit);
      if (!params.settings) {
        notes.emplace_back(adUnit.value() + " - the configuration has no settings for this ad unit; no manager", 3);
        continue;
      }
      auto factory = QBAdUnitManagerFactories::sharedInstance().factoryForName(managerName);
      if (!factory) {
        notes.emplace_back(adUnit.value() + " - no factory registered for " + managerName + "; no manager", 3);
        continue;
      }
      params.providersPool = snapshot->adapterConfigs(adUnit);
      params.auctionSettings = auction;
      params.isEncryptedAuctionResponse = auction && auction->isEncryptedAuctionResponse();
      params.isManual = adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() && manualRewardedVideo_;
      params.impressionDataDelegates = QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates();
      params.segment = QBConfigurations::getConfigurations().segment();
      params.isOneToken = token && token->oneToken();
      params.isDemandOnly = demandOnly_;
      std::shared_ptr<QBAdUnitManager> manager;
      // Factories run under the lock so no call sees the SDK half set up.
      if (auto caught = platform::guard([&] { manager = factory->createManager(params); })) {
        notes.emplace_back(adUnit.value() + " - " + managerName + " threw " + caught->description(), 3);
      } else if (!manager) {
        notes.emplace_back(adUnit.value() + " - " + managerName + " could not be made", 3);
      } else {
        managers_[adUnit.value()] = std::move(manager);
        notes.emplace_back(adUnit.value() + " - " + managerName + " created", 0);
      }
    }
    transition = setStateLocked(QBSdkState::SDK_INITIATED);
    delegates = liveMediationDelegatesLocked();
    initDelegate = initDelegate_;
  }
  for (const auto& [message, level] : notes) QB_LOG(message, level, kTagInternal);
  QB_LOG(transition, 0, kTagInternal);
  for (const auto& delegate : delegates) {
    if (auto caught = platform::guard([&] { delegate->didInitSucceed(parser_); })) {
      QB_LOG("didInitSucceed threw " + caught->description(), 3, kTagInternal);
    }
  }
  if (g_initCompleteDelivered.exchange(true)) return;
  if (auto delegate = initDelegate.lock()) {
    QB_LOG("initializationDidComplete", 1, kTagDelegate);
    delegate->initializationDidComplete();
  }
}
