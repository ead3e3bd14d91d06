#pragma once
// The test suite's ads manager: carries the test page's requests to the
// public facade (through QBTestSuiteMediationSdkProxy) for the ads of the
// network the page chose, shows them from the suite's view controller and
// keeps the suite's banner (from its load callback until it is destroyed or
// the next banner load). It refers back to the suite's view controller
// weakly. It checks nothing itself: a show without an ad, a refused load and
// the like come back as the mediation's own callbacks through the bridges.
//
// Main queue only, except retainViewController, which any thread may read.
// The operations are virtual so that tests can record them.
#include <atomic>
#include <memory>
#include <string>

#include "platform/ui.h"
#include "quillborne/QBBannerView.h"

class QBTestSuiteLoadAdConfig;

class QBTestSuiteAdsManager {
 public:
  static std::shared_ptr<QBTestSuiteAdsManager> initWithWebController(
      std::weak_ptr<platform::ViewController> testSuiteViewController);
  virtual ~QBTestSuiteAdsManager() = default;

  // The suite's view controller (null once it is gone).
  std::shared_ptr<platform::ViewController> testSuiteViewController() const { return testSuiteViewController_.lock(); }

  // retainViewController is set from `config` (none: cleared), the SDK object
  // takes `config` for the interstitial ad unit, then the facade loads.
  virtual void loadInterstitialAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config);
  virtual bool isInterstitialReady();
  // Shows from the suite's view controller.
  virtual void showInterstitialAd();
  // The same for rewarded video.
  virtual void loadRewardedVideoAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config);
  virtual bool isRewardedVideoReady();
  virtual void showRewardedVideoAd();
  // Destroys the banner held, hands `config` to the SDK object for the banner
  // ad unit and loads a banner of exactly this size into the suite's view
  // controller. retainViewController is left as it is. A size that is not
  // positive is the banner manager's to refuse (a load failure).
  virtual void loadBannerAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const std::string& description,
                            int width, int height);
  // Puts the held banner's view into the suite's view, centred across, its
  // top at `marginPercentageFromTop` (a fraction) of the view's height: centre
  // (width * 0.5, height * margin + banner height * 0.5). A margin that is
  // not a finite number, or so large that the place is not, counts as 0.
  // Nothing when no banner is held or its view is already in a view.
  virtual void addBannerAdToScreen(double marginPercentageFromTop);
  // Takes the held banner's view out of its view, destroys the banner through
  // the facade and forgets it. Nothing when none is held.
  virtual void destroyBannerAd();

  // The loaded test banner (set by the banner bridge when it loads).
  std::shared_ptr<QBBannerView> bannerView() const { return bannerView_; }
  void setBannerView(std::shared_ptr<QBBannerView> bannerView) { bannerView_ = std::move(bannerView); }

  // While set, the suite's view controller ignores dismissals (an ad that
  // asked for it is loaded or on screen over it).
  bool retainViewController() const { return retainViewController_.load(); }
  void setRetainViewController(bool retain) { retainViewController_.store(retain); }

 protected:
  explicit QBTestSuiteAdsManager(std::weak_ptr<platform::ViewController> testSuiteViewController)
      : testSuiteViewController_(std::move(testSuiteViewController)) {}

 private:
  const std::weak_ptr<platform::ViewController> testSuiteViewController_;
  std::atomic<bool> retainViewController_{false};
  std::shared_ptr<QBBannerView> bannerView_;
};
