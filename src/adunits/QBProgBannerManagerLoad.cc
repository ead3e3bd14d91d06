// The load road of the programmatic banner manager: admission, the auction
// and its candidates, the waterfall one instance at a time, the first
// success and the total failure.
#include <algorithm>
#include <map>
#include <utility>

#include "adapters/QBAdData.h"
#include "adapters/QBAdapterRepository.h"
#include "adapters/QBClassicAdapterProtocols.h"
#include "adunits/QBProgBannerManager.h"
#include "core/QBAdapterConfig.h"
#include "events/QBBannerDelegateWrapper.h"
#include "events/QBDelegateThrottler.h"
#include "foundation/QBAdUnitErrorsWrapper.h"
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

void QBProgBannerManager::loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size) {
  log(__func__, "size = " + size.sizeDescription() + " " + std::to_string(size.width()) + "x" +
                    std::to_string(size.height()), 1, kTagApi);
  if (!size.isSmart() && (size.width() <= 0 || size.height() <= 0)) {
    log(__func__, kNonPositiveSizeMessage, 3, kTagApi);
    QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(
        QBError::createError(kUnsupportedBannerSizeErrorCode, kNonPositiveSizeMessage), data_->adUnit());
    return;
  }
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
        QBError::createError(QBAdUnitErrorsWrapper::loadDuringShow(data_->adUnit()), refusal), data_->adUnit());
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
    if (!config->isBidder() && shouldAddAdapterConfigInfo(*config, data_->adUnit())) candidates.push_back(config);
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
    if (!shouldAddAdapterConfigInfo(*config, data_->adUnit())) continue;
    auto adapter = bannerAdapterFor(config);
    if (!adapter) continue;
    if (!config->isBidder()) {
      nonBidders.push_back(config->providerName());
      continue;
    }
    auto* banner = dynamic_cast<QBBannerAdapterProtocol*>(adapter.get());
    auto adData = QBUtils::createAdDataForNetworkAdapterWithAdapterConfiguration(config, data_->adUnit(),
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
    failLoad(loadId, QBError::createError(QBAdUnitErrorsWrapper::loadFailedNoCandidates(data_->adUnit()),
                                          std::string("no auction candidates")));
    return;
  }
  auto params = std::make_shared<QBAuctionRequestParams>();
  params->setIsEncryptedResponse(isEncryptedAuctionResponse_);
  params->setAdUnit(data_->adUnit().value());
  params->setBidders(std::move(bidders));
  params->setNonBidders(std::move(nonBidders));
  params->setAuctionHistory(auctionHistory_);
  params->setInstanceParts(data_->auctionInstanceParts());
  params->setSessionDepth(QBSessionDepthManager::sharedManager().getSessionDepth(data_->adUnit()));
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
    if (!config || !shouldAddAdapterConfigInfo(*config, data_->adUnit())) return;
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
  std::optional<QBError> sizeRefusal;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->id != loadId || state_ != QBProgBannerManagerState::BANNER_LOADING) return;
    if (load_->next < load_->waterfall.size()) {
      smash = load_->waterfall[load_->next++];
      load_->loading = smash;
      viewController = load_->viewController;
      size = load_->size;
    } else if (!load_->failedOtherwise) {
      sizeRefusal = load_->sizeRefusal;
    }
  }
  if (!smash) {
    // A size that every instance refused is the application's to change: a
    // no-fill would hide why nothing loads.
    failLoad(loadId, sizeRefusal ? *sizeRefusal : QBError::createError(kNoFillErrorCode, std::string(kNoFillMessage)));
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
  QBDelegateThrottler::sharedInstance()->didFailToLoadWithError(error, data_->adUnit());
}

void QBProgBannerManager::onBannerLoadFail(const std::shared_ptr<QBProgBannerSmash>& smash, const QBError& error) {
  uint64_t loadId = 0;
  {
    std::lock_guard lock(stateLock_);
    if (!load_ || load_->loading != smash || state_ != QBProgBannerManagerState::BANNER_LOADING) return;
    load_->loading.reset();
    loadId = load_->id;
    if (error.code() != kUnsupportedBannerSizeErrorCode) {
      load_->failedOtherwise = true;
    } else if (!load_->sizeRefusal) {
      load_->sizeRefusal = error;
    }
  }
  log(__func__, smash->instanceName() + " failed: " + std::to_string(error.code()) + " " + error.message(), 3);
  loadNextSmash(loadId);
}

void QBProgBannerManager::setLoadSuccessHookForTesting(std::function<void()> hook) {
  std::lock_guard lock(stateLock_);
  loadSuccessHook_ = std::move(hook);
}

void QBProgBannerManager::onBannerLoadSuccess(const std::shared_ptr<QBProgBannerSmash>& smash,
                                              const platform::ViewRef& bannerView) {
  std::function<void()> hook;
  {
    std::lock_guard lock(stateLock_);
    hook = loadSuccessHook_;
  }
  if (hook) hook();
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
  QBSessionDepthManager::sharedManager().increaseSessionDepth(data_->adUnit());
}
