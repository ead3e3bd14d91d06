#pragma once
// The programmatic banner manager: one banner at a time, from the request to
// its destruction. docs/banner.md describes the road and its choices.
//
//  loadBanner: admitted only in BANNER_READY_TO_LOAD (a load during a load,
//    or while a banner is loaded, is answered with a load failure 510); then
//    the auction (after minTimeBeforeFirstBannerAuctionMs from the manager's
//    creation): candidates are the configured instances that the test suite's
//    load request allows and whose network has a classic banner adapter,
//    bidders with their token from getBannerBiddingDataWithAdapterConfig;
//    the request carries testSuiteLaunched and useTestAds. The answer's
//    waterfall (or, when the auction fails or is disabled, the non-bidders in
//    configuration order) loads one instance at a time, each under its load
//    time-out. The first success fires the winner's and the losers'
//    notification URLs, hands a QBBannerView to QBBannerDelegateWrapper and
//    counts the impression (billing and impression URLs, impression-data
//    listeners, session depth); when every instance failed (or there were no
//    candidates) the application hears a load failure through
//    QBDelegateThrottler: the instances' own refusal of the size (616) when
//    every instance refused it, else 509.
//  clicks, leave-application, present and dismiss screen of the loaded
//    banner go to QBBannerDelegateWrapper with its ad info.
//  destroyBanner: the loaded banner goes (the adapter's destroy, its view
//    emptied and removed); destroyCurrentBanner also ends a load under way
//    (its auction cancelled, its instance destroyed), and every late answer
//    of it is dropped.
//
// Threads: every public method may be called from any thread and returns at
// once (or after the synchronous part of the auction). Instances answer on
// their adapters' threads, auction answers on the auction client's queue,
// time-outs on the main queue; the banner's views are put together and taken
// apart on the main queue. One recursive state lock guards the state and the
// current load; adapters, the auction client and application callbacks are
// never called with it held.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adunits/QBAdManagerData.h"
#include "adunits/QBProgBannerSmash.h"
#include "core/QBImpressionDataDelegates.h"
#include "core/QBProductSettings.h"
#include "platform/ui.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBSegment.h"

class QBAdapterConfig;
class QBAuctionHandler;
class QBAuctionHistory;
class QBAuctionResponseItem;
class QBAuctionResponseParams;
class QBBaseAdapter;
class QBTestSuiteLoadAdConfig;

enum class QBProgBannerManagerState : int {
  BANNER_READY_TO_LOAD = 1,  // nothing loaded, nothing under way
  BANNER_AUCTION = 2,        // the first-auction wait, tokens or the auction request
  BANNER_LOADING = 3,        // the waterfall's instances load one after another
  BANNER_LOADED = 4,         // a banner was handed to the application
};
const char* QBProgBannerManagerStateName(QBProgBannerManagerState state);

// The banner the application holds: a view the size of the banner with the
// network's view inside.
class QBProgBannerView : public QBBannerView {
 public:
  explicit QBProgBannerView(std::shared_ptr<platform::View> container) : container_(std::move(container)) {}
  std::shared_ptr<platform::View> view() const override { return container_; }

 private:
  const std::shared_ptr<platform::View> container_;
};

class QBProgBannerManager : public QBProgBannerSmashListener,
                            public std::enable_shared_from_this<QBProgBannerManager> {
 public:
  static constexpr const char* kManagerName = "QBProgBannerManager";
  static constexpr int kNoFillErrorCode = 509;
  static constexpr const char* kNoFillMessage = "Mediation No fill";
  static constexpr const char* kLoadDuringLoadMessage = "banner load cannot be invoked while a banner is loading";
  // A size of no area (a smart banner's own size is the manager's to choose).
  static constexpr int kUnsupportedBannerSizeErrorCode = 616;
  static constexpr const char* kNonPositiveSizeMessage = "banner size must have a positive width and height";
  static constexpr const char* kLoadWhileLoadedMessage =
      "banner load cannot be invoked while a banner is loaded; destroy it first";

  // settings, auctionSettings: null counts as every default.
  static std::shared_ptr<QBProgBannerManager> initWithProvidersPool(
      std::vector<std::shared_ptr<QBAdapterConfig>> providersPool, std::shared_ptr<const QBProductSettings> settings,
      std::shared_ptr<const QBAuctionSettings> auctionSettings, bool isEncryptedAuctionResponse,
      std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates, std::optional<QBSegment> segment,
      bool isOneToken);
  ~QBProgBannerManager() override;
  QBProgBannerManager(const QBProgBannerManager&) = delete;
  QBProgBannerManager& operator=(const QBProgBannerManager&) = delete;

  // The load request (see above). `viewController` is handed to the
  // networks unchanged.
  void loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size);
  // Destroys `banner` when it is the banner this manager handed out and still
  // holds; anything else is logged and ignored.
  void destroyBanner(const std::shared_ptr<QBBannerView>& banner);
  // Destroys whatever the manager holds: the loaded banner or the load under
  // way. Nothing in BANNER_READY_TO_LOAD.
  void destroyCurrentBanner();
  // The test suite was launched: destroyCurrentBanner().
  void onTestSuiteLaunched();

  // The test suite's load request (null clears it); testSuiteLaunched()
  // follows whether one is held.
  void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config);
  std::shared_ptr<QBTestSuiteLoadAdConfig> testSuiteLoadAdConfig() const;
  bool testSuiteLaunched() const;
  // True without a load request, else the request's answer.
  bool shouldAddAdapterConfigInfo(const QBAdapterConfig& config, const QBAdUnit& adUnit) const;

  void setSegment(std::optional<QBSegment> segment);

  QBProgBannerManagerState state() const;
  // The banner handed out and not yet destroyed; null otherwise.
  std::shared_ptr<QBBannerView> currentBanner() const;
  const std::shared_ptr<const QBAdManagerData>& managerData() const { return data_; }
  // Null when the configuration disables the auction.
  const std::shared_ptr<QBAuctionHandler>& auctionHandler() const { return auctionHandler_; }
  // Runs on the instance's thread when a load answer reaches the manager,
  // before the manager looks at its state: a test widens the window between
  // the instance's answer and the manager's with it. Null removes it.
  void setLoadSuccessHookForTesting(std::function<void()> hook);

  // ---- QBProgBannerSmashListener
  void onBannerLoadSuccess(const std::shared_ptr<QBProgBannerSmash>& smash,
                           const platform::ViewRef& bannerView) override;
  void onBannerLoadFail(const std::shared_ptr<QBProgBannerSmash>& smash, const QBError& error) override;
  void onBannerClick(const std::shared_ptr<QBProgBannerSmash>& smash) override;
  void onBannerLeaveApplication(const std::shared_ptr<QBProgBannerSmash>& smash) override;
  void onBannerPresentScreen(const std::shared_ptr<QBProgBannerSmash>& smash) override;
  void onBannerDismissScreen(const std::shared_ptr<QBProgBannerSmash>& smash) override;

 private:
  // One accepted load request, from the auction to the destruction of its
  // banner.
  struct Load {
    uint64_t id = 0;
    platform::ViewControllerRef viewController;
    QBBannerSize size;
    std::string auctionId;
    std::shared_ptr<QBAuctionResponseItem> genericNotifications;
    std::vector<std::shared_ptr<QBProgBannerSmash>> waterfall;
    size_t next = 0;  // index of the next instance to load
    std::shared_ptr<QBProgBannerSmash> loading;
    std::shared_ptr<QBProgBannerSmash> loaded;
    std::shared_ptr<QBProgBannerView> banner;
    std::shared_ptr<const QBAdInfo> adInfo;
    // The first refusal of the size (616) by an instance, and whether any
    // instance failed otherwise: when every instance refused the size, the
    // application hears that refusal rather than a no-fill.
    std::optional<QBError> sizeRefusal;
    bool failedOtherwise = false;
  };

  QBProgBannerManager(std::shared_ptr<const QBAdManagerData> data, std::shared_ptr<const QBProductSettings> settings,
                      bool isEncryptedAuctionResponse, std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates,
                      std::optional<QBSegment> segment, bool isOneToken);

  // With stateLock_ held: the change, logged after the lock is left by the
  // caller (see logTransition).
  std::string setStateLocked(QBProgBannerManagerState state);
  void log(const char* method, const std::string& message, int level = 0, int tag = 6) const;

  void performAuction(uint64_t loadId);
  void onAuctionAnswer(uint64_t loadId, const std::shared_ptr<QBAuctionResponseParams>& response);
  // The non-bidders that the test suite allows, in configuration order.
  std::vector<std::shared_ptr<QBAdapterConfig>> fallbackCandidates() const;
  // Installs the waterfall of `loadId` and starts its first instance.
  void startWaterfall(uint64_t loadId, std::vector<std::shared_ptr<QBProgBannerSmash>> waterfall,
                      const std::string& auctionId, std::shared_ptr<QBAuctionResponseItem> genericNotifications);
  // Starts the next instance of the current load; the whole load fails when
  // none is left.
  void loadNextSmash(uint64_t loadId);
  // Ends the load `loadId` (when it is still the current one) with a load
  // failure to the application.
  void failLoad(uint64_t loadId, const QBError& error);
  // The banner adapter of an instance's network; null (logged) when it has
  // none.
  std::shared_ptr<QBBaseAdapter> bannerAdapterFor(const std::shared_ptr<QBAdapterConfig>& config) const;
  // The loaded banner's interaction callbacks, when `smash` is it.
  std::shared_ptr<const QBAdInfo> adInfoWhileLoaded(const std::shared_ptr<QBProgBannerSmash>& smash) const;
  // Takes the current load out (READY_TO_LOAD) and ends it: its auction
  // cancelled, its instances destroyed, its views taken apart on main.
  void tearDownLocked(std::unique_lock<std::recursive_mutex>& lock, const char* reason);
  std::string placementName() const;

  const std::shared_ptr<const QBAdManagerData> data_;
  const std::shared_ptr<const QBProductSettings> settings_;
  const std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates_;
  const bool isEncryptedAuctionResponse_;
  std::shared_ptr<QBAuctionHandler> auctionHandler_;
  std::shared_ptr<QBAuctionHistory> auctionHistory_;
  const int64_t createdAtMs_;

  mutable std::recursive_mutex stateLock_;
  QBProgBannerManagerState state_ = QBProgBannerManagerState::BANNER_READY_TO_LOAD;
  uint64_t nextLoadId_ = 0;
  std::shared_ptr<Load> load_;  // the accepted load; null in READY_TO_LOAD
  std::optional<QBSegment> segment_;
  std::shared_ptr<QBTestSuiteLoadAdConfig> testSuiteLoadAdConfig_;
  std::function<void()> loadSuccessHook_;  // under stateLock_
};
