#pragma once
// The application's entry point to the mediation: class methods only, each
// forwarding to the one SDK object. Every method may be called from any
// thread and returns at once; work that takes time (the configuration
// request, manager creation) runs on the library's own queues.
//
// Answers that arrive later:
//  - initializationDidComplete: QBInitializationDelegate, once per process, on
//    the worker thread that completed start-up. A failed start-up calls no
//    callback: it is one error line to the log delegate, "failStartUp - Init
//    Fail - ..." (QBInitializationDelegate.h, docs/host.md);
//  - ad callbacks: the delegates set here, on the main queue;
//  - a call that needs the SDK before start-up has completed, or an ad unit
//    that has no manager, is answered through the ad unit's failure callback
//    with error 508 (load: the load-failure callback, show: the show-failure
//    callback); docs/sdk.md lists every refusal;
//  - a show from no view controller, or from one whose view is in no window
//    (the application has not made its window), fails at once through the
//    show-failure callback with the ad unit's show-failed code (rewarded
//    video 1038, interstitial 1039): the ad could not come on screen. The
//    ad stays ready. Shows are decided on the main queue (a call on another
//    thread is posted there).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quillborne/QBBannerDelegate.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBBannerView.h"
#include "quillborne/QBImpressionDataDelegate.h"
#include "quillborne/QBInitializationDelegate.h"
#include "quillborne/QBInterstitialDelegate.h"
#include "quillborne/QBLogDelegate.h"
#include "quillborne/QBRewardedVideoDelegate.h"
#include "quillborne/QBSegment.h"
#include "quillborne/TidewheelBannerDelegate.h"
#include "quillborne/TidewheelInterstitialDelegate.h"
#include "quillborne/TidewheelRewardedVideoDelegate.h"
#include "quillborne/TidewheelRewardedVideoManualDelegate.h"

namespace platform {
class ViewController;
}

class Quillborne {
 public:
  // A screen controller of the application, to present ads from: a handle
  // of the library's UI layer, declared here and never looked into by the
  // application, which gets it from host::ViewController::viewController().
  using ViewControllerRef = std::shared_ptr<platform::ViewController>;

  // Ad-unit names for initWithAppKey (compared without case).
  static constexpr const char* QB_REWARDED_VIDEO = "rewardedvideo";
  static constexpr const char* QB_INTERSTITIAL = "interstitial";
  static constexpr const char* QB_OFFERWALL = "offerwall";
  static constexpr const char* QB_BANNER = "banner";

  Quillborne() = delete;

  // ------------------------------------------------------------ settings
  // "7.3.1".
  static std::string sdkVersion();
  // The application's user id, sent with the configuration request and to
  // the networks. An empty id clears it.
  static void setUserId(const std::string& userId);
  // The dynamic user id (for server-to-server rewards). False (and nothing
  // changes) for an empty id or one longer than 128 characters.
  static bool setDynamicUserId(const std::string& dynamicUserId);
  static void setSegment(const QBSegment& segment);
  // The mediation type the application declares.
  static void setMediationType(const std::string& mediationType);
  // Pushed to every network adapter, now and later.
  static void setAdaptersDebug(bool enabled);
  static void shouldTrackReachability(bool track);
  // The device's advertising identifier; none when the device gives none.
  static std::optional<std::string> advertiserId();
  // Receives the library's log lines (held weakly).
  static void setLogDelegate(std::weak_ptr<QBLogDelegate> delegate);
  // Base URL of the configuration endpoint (scheme and host, no path); the
  // request goes to <base> + "/sdk/v7.3.1". For tests and the demo host; the
  // default is "https://init.quillborne.invalid". Takes effect for requests
  // sent after the call.
  static void setInitEndpointForTesting(const std::string& baseUrl);

  // ------------------------------------------------------ initialisation
  // Starts the SDK for all four ad units. See docs/sdk.md for the states,
  // errors and refusals. `delegate` (held weakly) hears initializationDidComplete.
  static void initWithAppKey(const std::string& appKey);
  static void initWithAppKey(const std::string& appKey, std::weak_ptr<QBInitializationDelegate> delegate);
  // Only the listed ad units (QB_REWARDED_VIDEO ...); an empty list means all.
  static void initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits);
  static void initWithAppKey(const std::string& appKey, const std::vector<std::string>& adUnits,
                             std::weak_ptr<QBInitializationDelegate> delegate);
  // Starts the SDK in demand-only mode (rewarded video, interstitial and
  // banner addressed by instance id; offerwall is left out).
  static void initQBDemandOnly(const std::string& appKey, const std::vector<std::string>& adUnits);

  // ------------------------------------------------- consent and metadata
  // Pushed to every network adapter, now and later.
  static void setConsent(bool consent);
  // Metadata for the networks. Keys are compared without case; the CCPA key
  // "do_not_sell" and the mediation-only keys "is_child_directed" and
  // "is_test_suite" are also kept by the mediation (docs/sdk.md). An invalid
  // key or an empty value is refused and logged.
  static void setMetaDataWithKey(const std::string& key, const std::string& value);
  static void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values);

  // ------------------------------------------------------- rewarded video
  // Classic and Tidewheel delegates (held weakly). Setting a manual delegate
  // before init makes the application load rewarded video itself.
  static void setRewardedVideoDelegate(std::weak_ptr<QBRewardedVideoDelegate> delegate);
  static void setRewardedVideoManualDelegate(std::weak_ptr<QBRewardedVideoManualDelegate> delegate);
  static void setTidewheelRewardedVideoDelegate(std::weak_ptr<TidewheelRewardedVideoDelegate> delegate);
  static void setTidewheelRewardedVideoManualDelegate(std::weak_ptr<TidewheelRewardedVideoManualDelegate> delegate);
  static void loadRewardedVideo();
  static bool hasRewardedVideo();
  static void showRewardedVideoWithViewController(ViewControllerRef viewController);
  static void showRewardedVideoWithViewController(ViewControllerRef viewController, const std::string& placementName);

  // --------------------------------------------------------- interstitial
  static void setInterstitialDelegate(std::weak_ptr<QBInterstitialDelegate> delegate);
  static void setTidewheelInterstitialDelegate(std::weak_ptr<TidewheelInterstitialDelegate> delegate);
  static void loadInterstitial();
  static bool hasInterstitial();
  static void showInterstitialWithViewController(ViewControllerRef viewController);
  static void showInterstitialWithViewController(ViewControllerRef viewController, const std::string& placementName);

  // --------------------------------------------------------------- banner
  // One banner at a time (docs/banner.md). A load answers with
  // bannerDidLoad (the QBBannerView whose view() the application puts on
  // screen) or bannerDidFailToLoadWithError: 508 before start-up completed or
  // without a banner manager, 509 when no network filled, 510 when no
  // instance could take part or for a load while a banner is loading or
  // loaded. `viewController` is handed to the
  // networks. Clicks, leave-application, present and dismiss screen of the
  // loaded banner follow on the banner delegates.
  static void setBannerDelegate(std::weak_ptr<QBBannerDelegate> delegate);
  static void setTidewheelBannerDelegate(std::weak_ptr<TidewheelBannerDelegate> delegate);
  static void loadBannerWithViewController(ViewControllerRef viewController, const QBBannerSize& size);
  // Destroys the banner: the network lets it go and its view is emptied and
  // taken off screen; the next load may start. Any other banner (or none) is
  // refused with a log line (level 3).
  static void destroyBanner(std::shared_ptr<QBBannerView> banner);

  // ------------------------------------------------------------- offerwall
  // This version has no offerwall manager: each call is refused with a log
  // line (level 3) and hasOfferwall() is false.
  static void showOfferwall();
  static void showOfferwallWithViewController(ViewControllerRef viewController, const std::string& placementName);
  static bool hasOfferwall();
  static void getOfferwallCredits();

  // ---------------------------------------------- demand-only, by instance
  // This version has no demand-only managers: each call is refused with a
  // log line (level 3); the has... calls answer false.
  static void loadQBDemandOnlyRewardedVideo(const std::string& instanceId);
  static bool hasQBDemandOnlyRewardedVideo(const std::string& instanceId);
  static void showQBDemandOnlyRewardedVideo(ViewControllerRef viewController, const std::string& instanceId);
  static void loadQBDemandOnlyInterstitial(const std::string& instanceId);
  static bool hasQBDemandOnlyInterstitial(const std::string& instanceId);
  static void showQBDemandOnlyInterstitial(ViewControllerRef viewController, const std::string& instanceId);
  static void loadQBDemandOnlyBannerWithViewController(ViewControllerRef viewController, const QBBannerSize& size,
                                                      const std::string& instanceId);
  static void destroyQBDemandOnlyBanner(const std::string& instanceId);

  // ------------------------------------------------------ impression data
  // Listeners of impression-level revenue data (held weakly), told on the
  // thread of the ad-unit manager that saw the impression.
  static void addImpressionDataDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate);
  static void removeImpressionDataDelegate(const std::shared_ptr<QBImpressionDataDelegate>& delegate);

  // ------------------------------------------------------------ test suite
  // Opens the integration test suite full screen over `viewController`
  // (docs/test-suite.md). Refused with a log line (level 3, tag API) before
  // start-up completed (1721), when the configuration does not enable it
  // (1722), without network (1725), without a view controller (1723) and
  // while a suite is open (1726).
  static void launchTestSuite(ViewControllerRef viewController);
};
