#pragma once
// What the SDK object needs of an ad-unit manager, and the registry of the
// factories that make them.
//
// The SDK object chooses a manager by name for each ad unit the application
// asked for (docs/sdk.md, "Manager choice") and asks the factory registered
// under that name to make it, on the default-priority global queue under the
// SDK object's lock. The managers themselves belong to later parts of the
// library; each registers its factory at start-up
// (QBAdUnitManagerFactories::registerFactory), before Quillborne::init. A
// name without a factory gives no manager: the ad unit's calls are then
// answered with error 508.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/QBAdapterConfig.h"
#include "core/QBAuctionSettings.h"
#include "core/QBImpressionDataDelegates.h"
#include "core/QBProductSettings.h"
#include "platform/ui.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBSegment.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

// Manager names (the classes of the later parts).
namespace QBAdUnitManagerNames {
inline constexpr char kRewardedVideoAdManager[] = "QBRewardedVideoAdManager";  // object per waterfall
inline constexpr char kLWSProgRvManager[] = "QBLWSProgRvManager";              // load while show
inline constexpr char kProgRvManager[] = "QBProgRvManager";
inline constexpr char kDemandOnlyRvManager[] = "QBDemandOnlyRvManager";
inline constexpr char kInterstitialAdManager[] = "QBInterstitialAdManager";  // object per waterfall
inline constexpr char kProgIsManager[] = "QBProgIsManager";
inline constexpr char kDemandOnlyIsManager[] = "QBDemandOnlyIsManager";
inline constexpr char kProgBannerManager[] = "QBProgBannerManager";
inline constexpr char kDemandOnlyBannerManager[] = "QBDemandOnlyBannerManager";
}  // namespace QBAdUnitManagerNames

// Everything a manager is made from.
struct QBAdUnitManagerParams {
  QBAdUnit adUnit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  // The configured instances of the ad unit, in server order.
  std::vector<std::shared_ptr<QBAdapterConfig>> providersPool;
  std::shared_ptr<const QBProductSettings> settings;
  std::shared_ptr<const QBAuctionSettings> auctionSettings;
  bool isEncryptedAuctionResponse = false;
  // The application loads rewarded video itself (rewarded video only).
  bool isManual = false;
  // The application's impression-data listeners (the shared set).
  std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates;
  std::optional<QBSegment> segment;
  // The token settings' oneToken.
  bool isOneToken = false;
  bool isDemandOnly = false;
};

// A rewarded-video or interstitial manager as the SDK object drives it. The
// SDK object calls these from the application's thread, never while holding
// its lock; a manager answers through the ad unit's delegate wrapper.
class QBAdUnitManager {
 public:
  virtual ~QBAdUnitManager() = default;
  virtual void loadAd() = 0;
  // placementName: none for the default placement.
  virtual void showAd(platform::ViewControllerRef viewController, const std::optional<std::string>& placementName) = 0;
  virtual bool isAdReady() = 0;
  // The test suite was launched: start every network now.
  virtual void startAdapters() {}
  // The test suite's load request (null when the suite closed).
  virtual void setTestSuiteLoadAdConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config) { (void)config; }
  // The application changed its segment.
  virtual void setSegment(const std::optional<QBSegment>& segment) { (void)segment; }
};

// A banner manager as the SDK object drives it: a QBAdUnitManager whose
// loadAd, showAd and isAdReady are not used (a banner is loaded with its
// size and shown by the application), with the banner's own calls. Same
// threading as QBAdUnitManager.
class QBBannerAdUnitManager : public QBAdUnitManager {
 public:
  void loadAd() override {}
  void showAd(platform::ViewControllerRef, const std::optional<std::string>&) override {}
  bool isAdReady() override { return false; }
  // Answers through the banner delegate wrapper (failures through
  // QBDelegateThrottler).
  virtual void loadBanner(platform::ViewControllerRef viewController, const QBBannerSize& size) = 0;
  // The application's banner; anything this manager does not hold is
  // ignored (logged).
  virtual void destroyBanner(const std::shared_ptr<QBBannerView>& banner) = 0;
  // Whatever the manager holds, loaded or loading.
  virtual void destroyCurrentBanner() = 0;
  // The test suite takes the ad unit over: the current banner goes.
  virtual void onTestSuiteLaunched() = 0;
};

class QBAdUnitManagerFactory {
 public:
  virtual ~QBAdUnitManagerFactory() = default;
  // A new manager, or null when it cannot be made (logged by the caller).
  virtual std::shared_ptr<QBAdUnitManager> createManager(const QBAdUnitManagerParams& params) = 0;
};

// Process-wide registry of manager factories by manager name. Thread-safe.
class QBAdUnitManagerFactories {
 public:
  static QBAdUnitManagerFactories& sharedInstance();
  // Registers (or replaces; null removes) the factory of `managerName`.
  void registerFactory(const std::string& managerName, std::shared_ptr<QBAdUnitManagerFactory> factory);
  // Registers `factory` unless `managerName` already has one (an application
  // or a test may supply its own).
  void registerFactoryIfAbsent(const std::string& managerName, std::shared_ptr<QBAdUnitManagerFactory> factory);
  std::shared_ptr<QBAdUnitManagerFactory> factoryForName(const std::string& managerName) const;
  void resetForTesting();

 private:
  QBAdUnitManagerFactories() = default;
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<QBAdUnitManagerFactory>> factories_;
};

// The manager name for an ad unit ("" for offerwall, which has no manager in
// this version): demand-only managers in demand-only mode; else for rewarded
// video the object-per-waterfall manager when the auction settings ask for it
// or the application loads manually, the load-while-show manager when
// isLoadWhileShow is set, else the programmatic one; for interstitial the
// object-per-waterfall manager when asked for, else the programmatic one; for
// banner the programmatic one. Null auction settings count as defaults.
std::string QBAdUnitManagerNameFor(const QBAdUnit& adUnit, const QBAuctionSettings* auctionSettings, bool demandOnly,
                                   bool manualRewardedVideo);
