#pragma once
// The test suite's access to the rest of the library: the application and
// device facts of the page data, the adapter registry, the publisher's
// metadata, the logger and the events engine, and, through
// QBTestSuiteMediationSdk, the SDK object and the public facade, which live in
// a higher library that registers them at start-up.
//
// Class operations only; thread-safe; each answers on the calling thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/ui.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBBannerView.h"

class QBAdapterConfig;
class QBPlacementInfo;
class QBTestSuiteLoadAdConfig;
class TidewheelBannerDelegate;
class TidewheelInterstitialDelegate;
class TidewheelRewardedVideoBaseDelegate;

// What the suite needs of the SDK object and the facade. The SDK library
// implements it and registers it (QBTestSuiteMediationSdkProxy::
// setMediationSdk) before the first launch.
class QBTestSuiteMediationSdk {
 public:
  virtual ~QBTestSuiteMediationSdk() = default;
  // The suite closed (or its presentation was refused): the load requests of
  // the interstitial, rewarded-video and banner managers are cleared, then the
  // SDK object's testSuiteLaunched flag.
  virtual void onTestSuiteClosed() = 0;
  // Destroys whatever the banner manager holds (the suite's banner, loaded or
  // loading), so none of its callbacks outlives the suite.
  virtual void destroyTestSuiteBanner() = 0;
  // The SDK object's setTestSuiteAdLoadConfig (ignored while no suite runs).
  virtual void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit) = 0;
  // The facade's ad calls the suite makes for its page.
  virtual void loadInterstitial() = 0;
  virtual bool hasInterstitial() = 0;
  virtual void showInterstitialWithViewController(platform::ViewControllerRef viewController) = 0;
  virtual void loadRewardedVideo() = 0;
  virtual bool hasRewardedVideo() = 0;
  virtual void showRewardedVideoWithViewController(platform::ViewControllerRef viewController) = 0;
  virtual void loadBannerWithViewController(platform::ViewControllerRef viewController, const QBBannerSize& size) = 0;
  virtual void destroyBanner(std::shared_ptr<QBBannerView> banner) = 0;
};

class QBTestSuiteMediationSdkProxy {
 public:
  QBTestSuiteMediationSdkProxy() = delete;

  // The SDK side (null removes it). Without one the SDK calls below do
  // nothing and the has... calls answer false.
  static void setMediationSdk(std::shared_ptr<QBTestSuiteMediationSdk> sdk);
  static std::shared_ptr<QBTestSuiteMediationSdk> mediationSdk();

  // ---- page data
  // Info.plist CFBundleDisplayName / CFBundleShortVersionString; none when absent.
  static std::optional<std::string> appName();
  static std::optional<std::string> appVersion();
  // The SKAdNetwork identifiers of the information dictionary, as an array.
  static platform::Json skAdNetworksId();
  // {provider: {"adapterVersion", "sdkVersion"}}: classic adapters, then
  // network adapters over them.
  static platform::Json adaptersVersions();
  // A copy of the whole global data store (its changing keys refreshed).
  static platform::Json globalDataManagerAllData();
  // The publisher's mediation-only metadata, then the registry's metadata
  // over it (the registry wins on a shared key); values as stored (arrays of
  // texts).
  static platform::Json metaData();

  // ---- logging and events
  // Logs `message` at level 3 with tag 6 ("INTERNAL").
  static void logInternalError(const std::string& message);
  // A QBEventData of `eventId` and `eventDict`, handed to the rewarded-video
  // events engine.
  static void logEvent(int eventId, const platform::Json& eventDict);

  // ---- the SDK side (see QBTestSuiteMediationSdk)
  static void onTestSuiteClosed();
  static void destroyTestSuiteBanner();
  static void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit);
  static void loadInterstitial();
  static bool hasInterstitial();
  static void showInterstitialWithViewController(platform::ViewControllerRef viewController);
  static void loadRewardedVideo();
  static bool hasRewardedVideo();
  static void showRewardedVideoWithViewController(platform::ViewControllerRef viewController);
  static void loadBannerWithViewController(platform::ViewControllerRef viewController, const QBBannerSize& size);
  static void destroyBanner(std::shared_ptr<QBBannerView> banner);
  // The test-suite delegates of the process-wide interstitial, rewarded-video
  // and banner delegate wrappers (null removes one). While one is set, its
  // wrapper reports the ad unit's callbacks to it alone.
  static void setTestSuiteInterstitialTidewheelDelegate(std::shared_ptr<TidewheelInterstitialDelegate> delegate);
  static void setTestSuiteRewardedVideoTidewheelDelegate(
      std::shared_ptr<TidewheelRewardedVideoBaseDelegate> delegate);
  static void setTestSuiteBannerTidewheelDelegate(std::shared_ptr<TidewheelBannerDelegate> delegate);
  // A size with exactly this description, width and height (not adaptive).
  static QBBannerSize createBannerSizeWithDescription(const std::string& description, int width, int height);

  // ---- the values the bridges and the load requests read
  // The ad units of the three bridges (QBAdUnit's own).
  static QBAdUnit QB_AD_UNIT_REWARDED_VIDEO();
  static QBAdUnit QB_AD_UNIT_INTERSTITIAL();
  static QBAdUnit QB_AD_UNIT_BANNER();
  // The placement's name.
  static std::string placementName(const QBPlacementInfo& placementInfo);
  // The instance's network default instance name and whether it bids
  // (QBAdapterConfig's own).
  static std::string providerDefaultInstance(const QBAdapterConfig& config);
  static bool isBidder(const QBAdapterConfig& config);
};
