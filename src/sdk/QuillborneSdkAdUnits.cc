// The SDK object's answers to the application once start-up has run (or has
// not): ad-unit calls forwarded to the managers, metadata, segment and the
// test suite's launch and close.
#include <algorithm>
#include <functional>
#include <utility>

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QBMetaDataUtils.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "platform/ui.h"
#include "sdk/QBMediationGlobalDataWriter.h"
#include "sdk/QBTestSuiteMediationSdkImpl.h"
#include "sdk/QuillborneSdk.h"
#include "testsuite/QBTestSuiteEventsManager.h"
#include "testsuite/QBTestSuiteHandler.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace {

constexpr int kTagApi = 0;
constexpr int kTagInternal = 6;

// A show presents over the view controller it is given: without one, or with
// one whose view is in no window, the ad could not come on screen and its
// close would never come.
constexpr char kNoViewControllerMessage[] = "showAd - no view controller to present the ad from";
constexpr char kNotInWindowMessage[] =
    "showAd - the view controller is not in a window: make the application's window before showing an ad";

// Runs manager code; a throw is logged and turned into a 510 error.
std::optional<QBError> guarded(const std::string& what, const std::function<void()>& call) {
  auto caught = platform::guard(call);
  if (!caught) return std::nullopt;
  QB_LOG(what + " threw " + caught->description(), 3, kTagInternal);
  return QBError::createError(510, {caught->description()});
}

}  // namespace

void QuillborneSdk::setManualLoadRewardedVideo(bool manual) {
  bool managersMade = false;
  {
    std::lock_guard lock(mutex_);
    manualRewardedVideo_ = manual;
    managersMade = state_ == QBSdkState::SDK_INITIATED;
  }
  if (managersMade) QB_LOG("manual rewarded-video loading takes effect at the next start-up only", 3, kTagApi);
}

bool QuillborneSdk::isManualLoadRewardedVideo() const {
  std::lock_guard lock(mutex_);
  return manualRewardedVideo_;
}

std::shared_ptr<QBAdUnitManager> QuillborneSdk::managerForAdUnit(const QBAdUnit& adUnit) const {
  std::lock_guard lock(mutex_);
  auto it = managers_.find(adUnit.value());
  return it == managers_.end() ? nullptr : it->second;
}

QuillborneSdk::ManagerLookup QuillborneSdk::lookUpManager(const QBAdUnit& adUnit) const {
  std::lock_guard lock(mutex_);
  ManagerLookup lookup;
  if (state_ != QBSdkState::SDK_INITIATED) {
    lookup.error = QBError::createError(508);
  } else if (demandOnly_) {
    lookup.error = QBError::createError(508, adUnit.value() + " is initialized in demand-only mode; use the demand-only calls");
  } else if (auto it = managers_.find(adUnit.value()); it != managers_.end()) {
    lookup.manager = it->second;
  } else {
    lookup.error = QBError::createError(508, adUnit.value() + " ad unit is not initialized");
  }
  return lookup;
}

void QuillborneSdk::loadAdUnit(const QBAdUnit& adUnit) {
  auto lookup = lookUpManager(adUnit);
  if (lookup.manager) {
    if (auto error = guarded("loadAd", [&] { lookup.manager->loadAd(); })) lookup.error = *error;
    else return;
  }
  QB_LOG(lookup.error.message(), 3, kTagApi);
  QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(lookup.error, adUnit);
}

bool QuillborneSdk::hasAdUnit(const QBAdUnit& adUnit) {
  auto lookup = lookUpManager(adUnit);
  bool ready = false;
  if (lookup.manager) guarded("isAdReady", [&] { ready = lookup.manager->isAdReady(); });
  return ready;
}

void QuillborneSdk::showAdUnit(const QBAdUnit& adUnit, platform::ViewControllerRef viewController,
                               const std::optional<std::string>& placementName,
                               const std::function<void(const QBError&)>& reportShowFailure) {
  // The view controller and its window belong to the main queue: a show asked
  // elsewhere is decided there.
  if (!platform::isMainThread()) {
    std::weak_ptr<QuillborneSdk> weak = weak_from_this();
    platform::mainQueue()->async([weak, adUnit, viewController = std::move(viewController), placementName,
                                  reportShowFailure] {
      if (auto self = weak.lock()) self->showAdUnit(adUnit, viewController, placementName, reportShowFailure);
    });
    return;
  }
  auto lookup = lookUpManager(adUnit);
  if (lookup.manager && !(viewController && viewController->isViewInWindow())) {
    // Refused before the manager: the ad stays ready for a show from a
    // view controller on screen.
    lookup.manager.reset();
    lookup.error = QBError::createError(QBAdUnitErrorsWrapper::showFailed(adUnit),
                                        std::string(viewController ? kNotInWindowMessage : kNoViewControllerMessage));
  }
  if (lookup.manager) {
    if (auto error = guarded("showAd", [&] { lookup.manager->showAd(viewController, placementName); })) {
      lookup.error = *error;
    } else {
      return;
    }
  }
  QB_LOG(lookup.error.message(), 3, kTagApi);
  reportShowFailure(lookup.error);
}

void QuillborneSdk::loadRewardedVideo() { loadAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()); }

bool QuillborneSdk::hasRewardedVideo() { return hasAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()); }

void QuillborneSdk::showRewardedVideo(platform::ViewControllerRef viewController,
                                      const std::optional<std::string>& placementName) {
  showAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), std::move(viewController), placementName, [](const QBError& e) {
    QBRewardedVideoDelegateWrapper::sharedInstance()->rewardedVideoDidFailToShowWithError(e, nullptr);
  });
}

void QuillborneSdk::loadInterstitial() { loadAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL()); }

bool QuillborneSdk::hasInterstitial() { return hasAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL()); }

void QuillborneSdk::showInterstitial(platform::ViewControllerRef viewController,
                                     const std::optional<std::string>& placementName) {
  showAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), std::move(viewController), placementName, [](const QBError& e) {
    QBInterstitialDelegateWrapper::sharedInstance()->interstitialDidFailToShowWithError(e, nullptr);
  });
}

void QuillborneSdk::loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size) {
  const QBAdUnit adUnit = QBAdUnit::QB_AD_UNIT_BANNER();
  auto lookup = lookUpManager(adUnit);
  if (auto banner = std::dynamic_pointer_cast<QBBannerAdUnitManager>(lookup.manager)) {
    auto error = guarded("loadBanner", [&] { banner->loadBanner(std::move(viewController), size); });
    if (!error) return;
    lookup.error = *error;
  } else if (lookup.manager) {
    lookup.error = QBError::createError(508, adUnit.value() + " ad unit is not initialized");
  }
  QB_LOG(lookup.error.message() + " (banner " + size.sizeDescription() + ")", 3, kTagApi);
  QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(lookup.error, adUnit);
}

void QuillborneSdk::destroyBanner(const std::shared_ptr<QBBannerView>& banner) {
  auto manager = std::dynamic_pointer_cast<QBBannerAdUnitManager>(lookUpManager(QBAdUnit::QB_AD_UNIT_BANNER()).manager);
  if (!manager || !banner) {
    QB_LOG(std::string("destroyBanner - ") + (banner ? "there is no banner manager" : "no banner given") + "; ignored",
           3, kTagApi);
    return;
  }
  guarded("destroyBanner", [&] { manager->destroyBanner(banner); });
}

QBError QuillborneSdk::refuseUnsupported(const std::string& method) {
  const QBError error = isInitialized() ? QBError::createError(510, {method + " is not supported in this version"})
                                        : QBError::createError(508);
  QB_LOG(method + " - " + error.message(), 3, kTagApi);
  return error;
}

void QuillborneSdk::setSegment(const QBSegment& segment) {
  QBConfigurations::getConfigurations().setSegment(segment);
  std::map<std::string, std::shared_ptr<QBAdUnitManager>> managers;
  {
    std::lock_guard lock(mutex_);
    managers = managers_;
  }
  for (const auto& [name, manager] : managers) {
    guarded("setSegment", [&, &manager = manager] { manager->setSegment(segment); });
  }
}

bool QuillborneSdk::setMetaData(const std::string& key, const std::vector<std::string>& values) {
  if (!QBMetaDataUtils::isValidMetaDataKey(key)) {
    QB_LOG("metadata key \"" + key + "\" is invalid; ignored", 3, kTagApi);
    return false;
  }
  if (values.empty() || std::any_of(values.begin(), values.end(), [](const auto& v) { return v.empty(); })) {
    QB_LOG("metadata of \"" + key + "\" needs non-empty values; ignored", 3, kTagApi);
    return false;
  }
  const std::string lowerKey = QBMetaDataUtils::lowercase(key);
  QBMediationGlobalDataWriter writer;
  if (QBMetaDataUtils::isMediationOnlyMetaDataKey(key)) {
    // Kept by the mediation alone; the networks never see these keys.
    QuillborneObjectPublisherDataHolder::sharedInstance().setMediationMetaData(lowerKey, values);
    if (lowerKey == QBMetaDataUtils::kChildDirectedMetaDataKey) {
      if (auto childDirected = QBMetaDataUtils::booleanValue(values.front())) writer.setCoppa(*childDirected);
    }
    return true;
  }
  if (QBMetaDataUtils::isValidCCPAMetaDataWithKey(key, values.front())) {
    auto doNotSell = QBMetaDataUtils::booleanValue(values.front());
    if (!doNotSell) {
      QB_LOG("metadata \"" + key + "\" needs true/false/yes/no; ignored", 3, kTagApi);
      return false;
    }
    writer.setCcpa(*doNotSell);
  }
  QBAdapterRepository::sharedRepository().setMetaData(key, values);
  return true;
}

// ---------------------------------------------------------------- test suite

std::optional<QBError> QuillborneSdk::launchTestSuite(platform::ViewControllerRef viewController) {
  QBTestSuiteEventsManager::onTestSuiteLaunch();
  std::optional<QBError> refusal;
  std::optional<std::string> controllerUrl;
  if (const auto settings = parser_->testSuiteSettings()) controllerUrl = settings->controllerUrl();
  if (!isInitialized()) {
    refusal = QBError::createError(1721);
  } else if (!controllerUrl) {
    refusal = QBError::createError(1722);
  } else if (!PMEReachabilityManager::sharedManager()->getReachabilityObject()->hasConnectivity()) {
    refusal = QBError::createError(1725);
  } else if (!viewController) {
    refusal = QBError::createError(QBTestSuiteViewController::kCannotPresentErrorCode);
  } else {
    std::lock_guard lock(mutex_);
    // Claimed at once, so two launches racing cannot both pass.
    if (std::exchange(testSuiteOpen_, true)) refusal = QBError::createError(1726);
  }
  if (refusal) {
    QB_LOG(refusal->message(), 3, kTagApi);
    QBTestSuiteEventsManager::onTestSuiteLaunchFailed(refusal->code());
    return refusal;
  }

  registerTestSuiteMediationSdk();
  for (const auto& adUnit : {QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()}) {
    if (auto manager = managerForAdUnit(adUnit)) guarded("startAdapters", [&] { manager->startAdapters(); });
  }
  if (auto banner = std::dynamic_pointer_cast<QBBannerAdUnitManager>(managerForAdUnit(QBAdUnit::QB_AD_UNIT_BANNER()))) {
    guarded("onTestSuiteLaunched", [&] { banner->onTestSuiteLaunched(); });
  }
  std::function<void()> startedHook;
  {
    std::lock_guard lock(mutex_);
    testSuiteLaunched_ = true;
    startedHook = testSuiteStartedHook_;
  }
  QBTestSuiteEventsManager::onTestSuiteLaunchedSuccessfully();
  // Last: the presentation it posts may be refused on the main queue, which
  // undoes the launch (flag cleared, event 72). Posted before the flag and
  // event 71, that undo could run first when the application launches from
  // another thread, and leave the flag set with the events out of order.
  QBTestSuiteHandler().startTestSuite(std::move(viewController), QBConfigurations::getConfigurations().appKey(),
                                      parser_->originServerResponse(), sdkVersion(), *controllerUrl,
                                      QBAdapterRepository::sharedRepository().currentConsent(),
                                      isManualLoadRewardedVideo());
  if (startedHook) startedHook();
  return std::nullopt;
}

void QuillborneSdk::setTestSuiteStartedHookForTesting(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  testSuiteStartedHook_ = std::move(hook);
}

void QuillborneSdk::setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit) {
  if (adUnit != QBAdUnit::QB_AD_UNIT_INTERSTITIAL() && adUnit != QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO() &&
      adUnit != QBAdUnit::QB_AD_UNIT_BANNER()) {
    return;
  }
  std::shared_ptr<QBAdUnitManager> manager;
  {
    std::lock_guard lock(mutex_);
    if (!testSuiteLaunched_) return;
    auto it = managers_.find(adUnit.value());
    if (it != managers_.end()) manager = it->second;
  }
  if (manager) guarded("setTestSuiteLoadAdConfig", [&] { manager->setTestSuiteLoadAdConfig(config); });
}

void QuillborneSdk::onTestSuiteClosed() {
  std::map<std::string, std::shared_ptr<QBAdUnitManager>> managers;
  {
    std::lock_guard lock(mutex_);
    managers = managers_;
  }
  for (const auto& [name, manager] : managers) {
    guarded("setTestSuiteLoadAdConfig", [&manager = manager] { manager->setTestSuiteLoadAdConfig(nullptr); });
  }
  std::lock_guard lock(mutex_);
  testSuiteLaunched_ = false;
  testSuiteOpen_ = false;
}

void QuillborneSdk::destroyTestSuiteBanner() {
  if (auto banner = std::dynamic_pointer_cast<QBBannerAdUnitManager>(managerForAdUnit(QBAdUnit::QB_AD_UNIT_BANNER()))) {
    guarded("destroyCurrentBanner", [&] { banner->destroyCurrentBanner(); });
  }
}

bool QuillborneSdk::testSuiteLaunched() const {
  std::lock_guard lock(mutex_);
  return testSuiteLaunched_;
}
