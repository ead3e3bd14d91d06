#include "adunits/QBProgBannerManager.h"

#include <algorithm>
#include <utility>

#include "adapters/QBAdData.h"
#include "adapters/QBAdapterRepository.h"
#include "adapters/QBClassicAdapterProtocols.h"
#include "core/QBAdapterConfig.h"
#include "core/QBConfigurations.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBAuctionHandler.h"
#include "mediation/QBAuctionHistory.h"
#include "mediation/QBAuctionResponseItem.h"
#include "mediation/QBAuctionResponseParams.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace {

constexpr int kTagApi = 0;
constexpr int kTagDelegate = 1;
constexpr int kTagInternal = 6;

const QBAdUnit& bannerUnit() {
  static const QBAdUnit unit = QBAdUnit::QB_AD_UNIT_BANNER();
  return unit;
}

// The size the banner's view takes: the network's view when it has one, else
// the requested size (a smart banner counts as a standard one).
platform::Size bannerViewSize(const platform::ViewRef& networkView, const QBBannerSize& size) {
  if (networkView) {
    const auto frame = networkView->frame().size;
    if (frame.width > 0 && frame.height > 0) return frame;
  }
  if (size.isSmart()) return platform::Size{320, 50};
  return platform::Size{static_cast<double>(size.width()), static_cast<double>(size.height())};
}

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
  if (!settings) settings = QBProductSettings::fromJson(bannerUnit(), platform::Json::object());
  if (!auctionSettings) auctionSettings = QBAuctionSettings::fromJson(platform::Json::object());
  std::erase(providersPool, nullptr);
  const auto userId = QBUtils::userIdForNetworks(QBConfigurations::getConfigurations().userId()).value_or("");
  auto data = QBAdManagerData::initWithAdUnit(
      bannerUnit(), userId, std::move(providersPool), settings->placements(), std::move(auctionSettings), 1,
      static_cast<uint64_t>(settings->adapterTimeOutInSeconds()),
      static_cast<uint64_t>(settings->delayLoadFailureNotificationInSeconds()), -1, nullptr, false,
      settings->biddingDataAsyncTimeout());
  if (!impressionDataDelegates) impressionDataDelegates = std::make_shared<QBImpressionDataDelegates>();
  std::shared_ptr<QBProgBannerManager> manager(new QBProgBannerManager(
      std::move(data), std::move(settings), isEncryptedAuctionResponse, std::move(impressionDataDelegates),
      std::move(segment), isOneToken));
  QBDelegateThrottler::sharedInstance()->setDelayLoadFailureNotificationInSeconds(
      static_cast<int64_t>(manager->data_->delayLoadFailure()), bannerUnit());
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

// ---------------------------------------------------------------- load road

void QBProgBannerManager::loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size) {
  log(__func__, "size = " + size.sizeDescription() + " " + std::to_string(size.width()) + "x" +
                    std::to_string(size.height()), 1, kTagApi);
  std::string refusal;
  std::string transition;
  uint64_t loadId = 0;
  int64_t waitMs = 0;
  {
    std::lock_guard lock(stateLock_);
    if (state_ == QBProgBannerManagerState::BANNER_LOADED) {
      refusal = kLoadWhileLoadedMessage;
    } else if (state_ != QBProgBannerManagerState::BANNER_READY_TO_LOAD) {
      refusal = kLoadDuringLoadMessage;
    } else {
      load_ = std::make_shared<Load>();
      load_->id = loadId = ++nextLoadId_;
      load_->viewController = std::move(viewController);
      load_->size = size;
      transition = setStateLocked(QBProgBannerManagerState::BANNER_AUCTION);
      waitMs = data_->getTimeToWaitBeforeFirstAuctionMs() - (platform::nowMonotonicMs() - createdAtMs_);
    }
  }
  if (!refusal.empty()) {
    log(__func__, refusal, 3, kTagApi);
    QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(
        QBError::createError(QBAdUnitErrorsWrapper::loadDuringShow(bannerUnit()), refusal), bannerUnit());
    return;
  }
  log(__func__, transition);
  if (!auctionHandler_) {
    log(__func__, "the auction is disabled: loading the non-bidders");
    std::vector<std::shared_ptr<QBProgBannerSmash>> waterfall;
    for (const auto& config : fallbackCandidates()) {
      if (auto adapter = bannerAdapterFor(config)) {
        waterfall.push_back(QBProgBannerSmash::create(config, adapter, QBAuctionResponseItem::initWithProviderName(
                                                                           config->providerName()),
                                                      weak_from_this()));
      }
    }
    startWaterfall(loadId, std::move(waterfall), "", nullptr);
    return;
  }
  if (waitMs <= 0) {
    performAuction(loadId);
    return;
  }
  log(__func__, "auction delayed by " + std::to_string(waitMs) + " ms");
  std::weak_ptr<QBProgBannerManager> weak = weak_from_this();
  platform::globalQueue(platform::QueuePriority::Default)->after(static_cast<double>(waitMs), [weak, loadId] {
    if (auto self = weak.lock()) self->performAuction(loadId);
  });
}

std::shared_ptr<QBBaseAdapter> QBProgBannerManager::bannerAdapterFor(
    const std::shared_ptr<QBAdapterConfig>& config) const {
  auto adapter = QBAdapterRepository::sharedRepository().getAdapter(config);
  if (!dynamic_cast<QBBannerAdapterProtocol*>(adapter.get())) {
    log(__func__, config->providerName() + " - the network has no banner adapter; left out", 3);
    return nullptr;
  }
  return adapter;
}

std::vector<std::shared_ptr<QBAdapterConfig>> QBProgBannerManager::fallbackCandidates() const {
  std::vector<std::shared_ptr<QBAdapterConfig>> candidates;
  for (const auto& config : data_->providersList()) {
    if (!config->isBidder() && shouldAddAdapterConfigInfo(*config, bannerUnit())) candidates.push_back(config);
  }
  return candidates;
}

void QBProgBannerManager::performAuction(uint64_t loadId) {
  std::optional<QBSegment> segment;
  std::shared_ptr<QBTestSuiteLoadAdConfig> testSuiteRequest;
  QBBannerSize size;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId || state_ != QBProgBannerManagerState::BANNER_AUCTION) return;
    segment = segment_;
    testSuiteRequest = testSuiteLoadAdConfig_;
    size = load_->size;
  }
  platform::Json bidders = platform::Json::object();
  std::vector<std::string> nonBidders;
  for (const auto& config : data_->providersList()) {
    if (!shouldAddAdapterConfigInfo(*config, bannerUnit())) continue;
    auto adapter = bannerAdapterFor(config);
    if (!adapter) continue;
    if (!config->isBidder()) {
      nonBidders.push_back(config->providerName());
      continue;
    }
    auto* banner = dynamic_cast<QBBannerAdapterProtocol*>(adapter.get());
    auto adData = QBUtils::createAdDataForNetworkAdapterWithAdapterConfiguration(config, bannerUnit(),
                                                                                 data_->userId(), &size);
    std::optional<platform::Json> token;
    if (auto caught = platform::guard(
            [&] { token = banner->getBannerBiddingDataWithAdapterConfig(config, adData->adUnitData()); })) {
      log(__func__, config->providerName() + " - bidding data threw " + caught->description(), 3);
      continue;
    }
    if (!token || token->is_null()) {
      log(__func__, config->providerName() + " - missing bidding data; left out", 3);
      continue;
    }
    bidders[config->providerName()] = std::move(*token);
  }
  if (bidders.empty() && nonBidders.empty()) {
    log(__func__, "auction failed - no candidates", 3);
    failLoad(loadId, QBError::createError(QBAdUnitErrorsWrapper::loadFailedNoCandidates(bannerUnit()),
                                          std::string("no auction candidates")));
    return;
  }
  auto params = std::make_shared<QBAuctionRequestParams>();
  params->setIsEncryptedResponse(isEncryptedAuctionResponse_);
  params->setAdUnit(bannerUnit().value());
  params->setBidders(std::move(bidders));
  params->setNonBidders(std::move(nonBidders));
  params->setAuctionHistory(auctionHistory_);
  params->setInstanceParts(data_->auctionInstanceParts());
  params->setSessionDepth(QBSessionDepthManager::sharedManager().getSessionDepth(bannerUnit()));
  params->setSegment(std::move(segment));
  params->setTestSuiteLaunched(testSuiteRequest != nullptr);
  params->setUseTestAds(testSuiteRequest && testSuiteRequest->useTestAds());
  std::weak_ptr<QBProgBannerManager> weak = weak_from_this();
  auctionHandler_->executeAuctionWithParams(params, [weak, loadId](std::shared_ptr<QBAuctionResponseParams> response) {
    if (auto self = weak.lock()) self->onAuctionAnswer(loadId, response);
  });
}

void QBProgBannerManager::onAuctionAnswer(uint64_t loadId, const std::shared_ptr<QBAuctionResponseParams>& response) {
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId || state_ != QBProgBannerManagerState::BANNER_AUCTION) {
      log(__func__, "answer of an auction no longer waited for; dropped");
      return;
    }
  }
  std::vector<std::shared_ptr<QBProgBannerSmash>> waterfall;
  auto addSmash = [&](const std::shared_ptr<QBAdapterConfig>& config, std::shared_ptr<QBAuctionResponseItem> item) {
    if (!config || !shouldAddAdapterConfigInfo(*config, bannerUnit())) return;
    const bool seen = std::any_of(waterfall.begin(), waterfall.end(),
                                  [&](const auto& smash) { return smash->instanceName() == config->providerName(); });
    if (seen) return;
    if (auto adapter = bannerAdapterFor(config)) {
      waterfall.push_back(QBProgBannerSmash::create(config, adapter, std::move(item), weak_from_this()));
    }
  };
  if (response && response->isSuccess()) {
    log(__func__, "auctionId = " + response->auctionId());
    for (const auto& item : response->waterfall()) {
      if (!item) continue;
      auto config = data_->getAdapterConfig(item->providerName());
      if (!config) log(__func__, item->providerName() + " - not a configured banner instance; skipped", 3);
      addSmash(config, item);
    }
    startWaterfall(loadId, std::move(waterfall), response->auctionId(), response->genericNotifications());
    return;
  }
  const int code = response ? response->errorCode() : 0;
  const std::string message = response ? response->errorMessage() : std::string("no answer");
  log(__func__, "Auction failed | moving to fallback waterfall (error " + std::to_string(code) + " - " + message + ")");
  for (const auto& config : fallbackCandidates()) {
    addSmash(config, QBAuctionResponseItem::initWithProviderName(config->providerName()));
  }
  startWaterfall(loadId, std::move(waterfall), "", nullptr);
}

void QBProgBannerManager::startWaterfall(uint64_t loadId, std::vector<std::shared_ptr<QBProgBannerSmash>> waterfall,
                                         const std::string& auctionId,
                                         std::shared_ptr<QBAuctionResponseItem> genericNotifications) {
  std::string transition;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId || state_ != QBProgBannerManagerState::BANNER_AUCTION) return;
    load_->waterfall = std::move(waterfall);
    load_->auctionId = auctionId;
    load_->genericNotifications = std::move(genericNotifications);
    load_->next = 0;
    transition = setStateLocked(QBProgBannerManagerState::BANNER_LOADING);
  }
  log(__func__, transition);
  loadNextSmash(loadId);
}

void QBProgBannerManager::loadNextSmash(uint64_t loadId) {
  std::shared_ptr<QBProgBannerSmash> smash;
  platform::ViewControllerRef viewController;
  QBBannerSize size;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId || state_ != QBProgBannerManagerState::BANNER_LOADING) return;
    if (load_->next < load_->waterfall.size()) {
      smash = load_->waterfall[load_->next++];
      load_->loading = smash;
      viewController = load_->viewController;
      size = load_->size;
    }
  }
  if (!smash) {
    failLoad(loadId, QBError::createError(kNoFillErrorCode, std::string(kNoFillMessage)));
    return;
  }
  log(__func__, "loading " + smash->instanceName());
  smash->loadBanner(viewController, size, data_->userId());
}

void QBProgBannerManager::failLoad(uint64_t loadId, const QBError& error) {
  std::string transition;
  std::map<std::string, int> performance;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId) return;
    for (const auto& smash : load_->waterfall) performance[smash->instanceName()] = 1;
    load_.reset();
    transition = setStateLocked(QBProgBannerManagerState::BANNER_READY_TO_LOAD);
  }
  log(__func__, transition);
  if (!performance.empty()) auctionHistory_->storeWaterfallPerformance(performance);
  log(__func__, "load failed: " + std::to_string(error.code()) + " " + error.message(), 3);
  QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(error, bannerUnit());
}

void QBProgBannerManager::onBannerLoadFail(const std::shared_ptr<QBProgBannerSmash>& smash, const QBError& error) {
  uint64_t loadId = 0;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->loading != smash || state_ != QBProgBannerManagerState::BANNER_LOADING) return;
    load_->loading.reset();
    loadId = load_->id;
  }
  log(__func__, smash->instanceName() + " failed: " + std::to_string(error.code()) + " " + error.message(), 3);
  loadNextSmash(loadId);
}

void QBProgBannerManager::onBannerLoadSuccess(const std::shared_ptr<QBProgBannerSmash>& smash,
                                              const platform::ViewRef& bannerView) {
  std::shared_ptr<Load> load;
  std::string transition;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->loading != smash || state_ != QBProgBannerManagerState::BANNER_LOADING) {
      load = nullptr;
    } else {
      load = load_;
      load->loading.reset();
      load->loaded = smash;
      load->banner = std::make_shared<QBProgBannerView>(
          std::make_shared<platform::View>(platform::Rect{platform::Point{0, 0}, bannerViewSize(bannerView, load->size)}));
      auto impression = smash->item() ? smash->item()->impressionDataWithPlacement(placementName()) : nullptr;
      load->adInfo = QBAdInfo::initWithImpressionData(impression);
      transition = setStateLocked(QBProgBannerManagerState::BANNER_LOADED);
    }
  }
  if (!load) {
    // A load this manager no longer waits for: the network keeps nothing.
    log(__func__, smash->instanceName() + " - answer of a load no longer under way; destroyed", 3);
    smash->destroyBanner();
    return;
  }
  log(__func__, transition);

  // Notifications: the winner's, then the losers' (the instances after it).
  const auto item = smash->item();
  std::vector<std::string> names;
  std::map<std::string, std::shared_ptr<QBAuctionResponseItem>> serverData;
  std::map<std::string, int> performance;
  for (const auto& entry : load->waterfall) {
    names.push_back(entry->instanceName());
    if (entry->item()) serverData[entry->instanceName()] = entry->item();
    performance[entry->instanceName()] = entry == smash ? 2 : entry->state() == QBProgBannerSmashState::BANNER_SMASH_LOAD_FAILED ? 1 : 0;
  }
  auctionHistory_->storeWaterfallPerformance(performance);
  if (auctionHandler_ && !load->auctionId.empty()) {
    auctionHandler_->reportLoadSuccessForGenericNotifications(load->genericNotifications, item, smash->instanceType());
    auctionHandler_->reportAuctionLoseWithWaterfall(names, serverData, load->genericNotifications, item,
                                                    smash->instanceType());
  }

  // The views belong to the main queue: the network's view goes into the
  // banner's, then the application hears of it (unless it went meanwhile).
  std::weak_ptr<QBProgBannerManager> weak = weak_from_this();
  platform::mainQueue()->async([weak, load, bannerView] {
    auto self = weak.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->stateLock_);
      if (self->load_ != load) return;
    }
    if (bannerView) {
      const auto size = bannerView->frame().size;
      bannerView->setFrame(platform::Rect{platform::Point{0, 0}, size});
      load->banner->view()->addSubview(bannerView);
    }
    self->log("onBannerLoadSuccess", "bannerDidLoad " + load->adInfo->description(), 1, kTagDelegate);
    QBBannerDelegateWrapper::sharedInstance()->bannerDidLoad(load->banner, load->adInfo);
  });

  // The impression: a banner is on screen from the moment it is handed over.
  const std::string placement = placementName();
  if (auctionHandler_ && !load->auctionId.empty()) {
    auctionHandler_->reportImpressionForGenericNotifications(load->genericNotifications, item, smash->instanceType(),
                                                             placement);
  }
  if (auto impression = item ? item->impressionDataWithPlacement(placement) : nullptr) {
    for (const auto& listener : impressionDataDelegates_->allDelegates()) {
      log(__func__, "onImpressionSuccess " + platform::className(listener) + ": " + impression->description(), 1,
          kTagDelegate);
      if (auto caught = platform::guard([&] { listener->impressionDataDidSucceed(impression); })) {
        log(__func__, "impression-data listener threw " + caught->description(), 3);
      }
    }
  }
  QBSessionDepthManager::sharedManager().increaseSessionDepth(bannerUnit());
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
