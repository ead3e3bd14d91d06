// The programmatic banner manager: life cycle, test-suite hooks, the loaded
// banner's interactions and its destruction (the load road is in
// QBProgBannerManagerLoad.cc).
#include "adunits/QBProgBannerManager.h"

#include <algorithm>
#include <utility>

#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace {

constexpr int kTagApi = 0;

}  // namespace

const char* QBProgBannerManagerStateName(QBProgBannerManagerState state) {
  switch (state) {
    case QBProgBannerManagerState::BANNER_READY_TO_LOAD: return "BANNER_READY_TO_LOAD";
    case QBProgBannerManagerState::BANNER_AUCTION: return "BANNER_AUCTION";
    case QBProgBannerManagerState::BANNER_LOADING: return "BANNER_LOADING";
    case QBProgBannerManagerState::BANNER_LOADED: return "BANNER_LOADED";
  }
  return "UNKNOWN";
}

// ---------------------------------------------------------------- life cycle

QBProgBannerManager::QBProgBannerManager(std::shared_ptr<const QBAdManagerData> data,
                                         std::shared_ptr<const QBProductSettings> settings,
                                         bool isEncryptedAuctionResponse,
                                         std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates,
                                         std::optional<QBSegment> segment, bool isOneToken)
    : data_(std::move(data)),
      settings_(std::move(settings)),
      impressionDataDelegates_(std::move(impressionDataDelegates)),
      isEncryptedAuctionResponse_(isEncryptedAuctionResponse),
      createdAtMs_(platform::nowMonotonicMs()),
      segment_(std::move(segment)) {
  if (data_->isAuctionEnabled()) {
    auctionHandler_ = QBAuctionHandler::initWithAuctionSettings(data_->auctionSettings(), isEncryptedAuctionResponse_,
                                                                isOneToken, QBUtils::UUIDForSession());
  }
  std::vector<std::string> names;
  for (const auto& config : data_->providersList()) names.push_back(config->providerName());
  auctionHistory_ = QBAuctionHistory::initWithWaterfall(
      std::move(names), static_cast<int64_t>(data_->auctionSettings()->auctionSavedHistoryLimit()));
}

std::shared_ptr<QBProgBannerManager> QBProgBannerManager::initWithProvidersPool(
    std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
    std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse,
    std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
    bool isOneToken) {
  if (!settings) settings = QBProductSettings::fromJson(QBAdUnit::QB_AD_UNIT_BANNER(), platform::Json::object());
  if (!auctionSettings) auctionSettings = QBAuctionSettings::fromJson(platform::Json::object());
  std::erase(providersPool, nullptr);
  const auto userId = QBUtils::userIdForNetworks(QBConfigurations::getConfigurations().userId()).value_or("");
  auto data = QBAdManagerData::initWithAdUnit(
      QBAdUnit::QB_AD_UNIT_BANNER(), userId, std::move(providersPool), settings->placements(), std::move(auctionSettings), 1,
      static_cast<uint64_t>(settings->adapterTimeOutInSeconds()),
      static_cast<uint64_t>(settings->delayLoadFailureNotificationInSeconds()), -1, nullptr, false,
      settings->biddingDataAsyncTimeout());
  if (!impressionDataDelegates) impressionDataDelegates = std::make_shared<QBImpressionDataDelegates>();
  std::shared_ptr<QBProgBannerManager> manager(new QBProgBannerManager(
      std::move(data), std::move(settings), isEncryptedAuctionResponse, std::move(impressionDataDelegates),
      std::move(segment), isOneToken));
  QBDelegateThrottler::sharedInstance()->setDelayLoadFailureNotificationInSeconds(
      static_cast<int64_t>(manager->data_->delayLoadFailure()), manager->data_->adUnit());
  manager->log(__func__, std::string("created in state ") + QBProgBannerManagerStateName(manager->state()));
  return manager;
}

QBProgBannerManager::~QBProgBannerManager() = default;

void QBProgBannerManager::log(const char* method, const std::string& message, int level, int tag) const {
  QBLoggerManager::sharedInstance().dynamicLog(method, "banner - " + message, level, tag);
}

std::string QBProgBannerManager::setStateLocked(QBProgBannerManagerState state) {
  const auto old = std::exchange(state_, state);
  return std::string("from ") + QBProgBannerManagerStateName(old) + " to " + QBProgBannerManagerStateName(state);
}

QBProgBannerManagerState QBProgBannerManager::state() const {
  std::lock_guard lock(stateLock_);
  return state_;
}

std::shared_ptr<QBBannerView> QBProgBannerManager::currentBanner() const {
  std::lock_guard lock(stateLock_);
  return load_ ? load_->banner : nullptr;
}

std::string QBProgBannerManager::placementName() const {
  const auto& placements = data_->placements();
  auto found = std::find_if(placements.begin(), placements.end(), [](const auto& p) { return p && p->isDefault(); });
  if (found != placements.end()) return (*found)->placementName();
  return placements.empty() || !placements.front() ? std::string() : placements.front()->placementName();
}

// ---------------------------------------------------------------- test suite and segment

void QBProgBannerManager::setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) {
  std::lock_guard lock(stateLock_);
  testSuiteLoadAdConfig_ = std::move(config);
}

std::shared_ptr<QBTestSuiteLoadAdConfig> QBProgBannerManager::testSuiteLoadAdConfig() const {
  std::lock_guard lock(stateLock_);
  return testSuiteLoadAdConfig_;
}

bool QBProgBannerManager::testSuiteLaunched() const { return testSuiteLoadAdConfig() != nullptr; }

bool QBProgBannerManager::shouldAddAdapterConfigInfo(const QBAdapterConfig& config, const QBAdUnit& adUnit) const {
  const auto request = testSuiteLoadAdConfig();
  return !request || request->shouldAddAdapterConfigInfo(config, adUnit);
}

void QBProgBannerManager::setSegment(std::optional<QBSegment> segment) {
  std::lock_guard lock(stateLock_);
  segment_ = std::move(segment);
}

void QBProgBannerManager::onTestSuiteLaunched() {
  log(__func__, "the test suite takes the banner ad unit over");
  destroyCurrentBanner();
}

// ---------------------------------------------------------------- interactions

std::shared_ptr<const QBAdInfo> QBProgBannerManager::adInfoWhileLoaded(const std::shared_ptr<QBProgBannerSmash>& smash) const {
  std::lock_guard lock(stateLock_);
  if (!load_ || load_->loaded != smash || state_ != QBProgBannerManagerState::BANNER_LOADED) return nullptr;
  return load_->adInfo;
}

void QBProgBannerManager::onBannerClick(const std::shared_ptr<QBProgBannerSmash>& smash) {
  if (auto info = adInfoWhileLoaded(smash)) QBBannerDelegateWrapper::sharedInstance()->didClickBannerWithAdInfo(info);
}

void QBProgBannerManager::onBannerLeaveApplication(const std::shared_ptr<QBProgBannerSmash>& smash) {
  if (auto info = adInfoWhileLoaded(smash)) {
    QBBannerDelegateWrapper::sharedInstance()->bannerWillLeaveApplicationWithAdInfo(info);
  }
}

void QBProgBannerManager::onBannerPresentScreen(const std::shared_ptr<QBProgBannerSmash>& smash) {
  if (auto info = adInfoWhileLoaded(smash)) {
    QBBannerDelegateWrapper::sharedInstance()->bannerWillPresentScreenWithAdInfo(info);
  }
}

void QBProgBannerManager::onBannerDismissScreen(const std::shared_ptr<QBProgBannerSmash>& smash) {
  if (auto info = adInfoWhileLoaded(smash)) {
    QBBannerDelegateWrapper::sharedInstance()->bannerDidDismissScreenWithAdInfo(info);
  }
}

// ---------------------------------------------------------------- destroy

void QBProgBannerManager::destroyBanner(const std::shared_ptr<QBBannerView>& banner) {
  std::unique_lock lock(stateLock_);
  if (!banner || !load_ || load_->banner != banner) {
    lock.unlock();
    log(__func__, "not the banner this manager holds; ignored", 3, kTagApi);
    return;
  }
  tearDownLocked(lock, "destroyBanner");
}

void QBProgBannerManager::destroyCurrentBanner() {
  std::unique_lock lock(stateLock_);
  if (!load_) return;
  tearDownLocked(lock, "destroyCurrentBanner");
}

void QBProgBannerManager::tearDownLocked(std::unique_lock<std::recursive_mutex>& lock, const char* reason) {
  auto load = std::exchange(load_, nullptr);
  const bool auctioning = state_ == QBProgBannerManagerState::BANNER_AUCTION;
  const std::string transition = setStateLocked(QBProgBannerManagerState::BANNER_READY_TO_LOAD);
  lock.unlock();
  log(reason, transition);
  if (auctioning && auctionHandler_) auctionHandler_->cancelAuctions();
  for (const auto& smash : load->waterfall) {
    if (smash->state() != QBProgBannerSmashState::BANNER_SMASH_NOT_LOADED) smash->destroyBanner();
  }
  if (!load->banner) return;
  platform::mainQueue()->async([banner = load->banner] {
    const auto view = banner->view();
    for (const auto& sub : std::vector<std::shared_ptr<platform::View>>(view->subviews())) sub->removeFromSuperview();
    view->removeFromSuperview();
  });
}
