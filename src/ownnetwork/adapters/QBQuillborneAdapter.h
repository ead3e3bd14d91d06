#pragma once
// The mediation's built-in classic adapter of the own network. It drives the
// own network only through QuillborneNetwork: one shared initialisation per
// process, one QuillborneAdInstance per demand source and ad unit (reused for
// every later load), shows on the main queue. It is the listener of every
// instance it makes and turns the instance callbacks into calls on the
// mediation's adapter delegates, which it looks up by the instance's name.
//
// The operations run on the caller's thread; the tables are locked, so the
// mediation may call from any thread. Instance callbacks arrive on the main
// queue and are passed on there.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adapters/QBBaseAdapter.h"
#include "adapters/QBClassicAdapterProtocols.h"
#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QBNAdDelegate.h"

class QuillborneAdInstance;
class QBNAdSize;
class QBAdUnit;

class QBQuillborneAdapter : public QBBaseAdapter,
                            public QBRewardedVideoAdapterProtocol,
                            public QBInterstitialAdapterProtocol,
                            public QBBannerAdapterProtocol,
                            public QBOfferwallAdapterProtocol,
                            public QBBiddingDataAdapterProtocol,
                            public QBNAdDelegate,
                            public PMAOfferWallDelegate,
                            public PmaInitOfferWallSuccessCall,
                            public PmaInitOfferWallFailedWithErrorCall,
                            public PmaOfferWallShowSuccessCall,
                            public PmaOfferWallShowFailedWithErrorCall,
                            public PmaOfferWallDidCloseCall,
                            public PmaOfferwallDidFailGettingCreditWithErrorCall,
                            public PmaOfferWallDidReceiveCreditCall {
 public:
  static constexpr int kUnsupportedBannerSizeCode = 616;
  static constexpr const char* kUnsupportedBannerSizeMessage = "quillborne unsupported banner size";
  static constexpr int kOfferwallShowFailedCode = 510;

  void initAdapter(const std::string& providerName) override;
  std::string version() override;
  std::string sdkVersion() override;
  void setConsent(bool consent) override;
  void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) override;
  void earlyInitWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) override;
  int getLWSSupportState(const QBAdapterConfigRef& adapterConfig) override;

  // ---- Rewarded video.
  void initAndLoadRewardedVideoWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                          const platform::Json& adData,
                                          std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void initRewardedVideoForCallbacksWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                               std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void initRewardedVideoForDemandOnlyWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                                std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void loadRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& adapterConfig, const platform::Json& adData,
                                          std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void loadRewardedVideoForBiddingWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                    const platform::Json& adData, const std::string& serverData,
                                                    std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void loadRewardedVideoForDemandOnlyWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                       std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void loadRewardedVideoForDemandOnlyForBiddingWithAdapterConfig(
      const QBAdapterConfigRef& adapterConfig, const std::string& serverData,
      std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  void showRewardedVideoWithViewController(const platform::ViewControllerRef& viewController,
                                           const QBAdapterConfigRef& adapterConfig,
                                           std::weak_ptr<QBRewardedVideoAdapterDelegate> delegate) override;
  bool hasRewardedVideoWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) override;
  std::optional<platform::Json> getRewardedVideoBiddingDataWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                                             const platform::Json& adData) override;

  // ---- Interstitial.
  void initInterstitialWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                  std::weak_ptr<QBInterstitialAdapterDelegate> delegate) override;
  void initInterstitialForBiddingWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                            std::weak_ptr<QBInterstitialAdapterDelegate> delegate) override;
  void loadInterstitialWithAdapterConfig(const QBAdapterConfigRef& adapterConfig, const platform::Json& adData,
                                         std::weak_ptr<QBInterstitialAdapterDelegate> delegate) override;
  void loadInterstitialForBiddingWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                   const platform::Json& adData, const std::string& serverData,
                                                   std::weak_ptr<QBInterstitialAdapterDelegate> delegate) override;
  void showInterstitialWithViewController(const platform::ViewControllerRef& viewController,
                                          const QBAdapterConfigRef& adapterConfig,
                                          std::weak_ptr<QBInterstitialAdapterDelegate> delegate) override;
  bool hasInterstitialWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) override;
  std::optional<platform::Json> getInterstitialBiddingDataWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                                            const platform::Json& adData) override;

  // ---- Banner.
  void initBannerForBiddingWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                                      std::weak_ptr<QBBannerAdapterDelegate> delegate) override;
  void loadBannerForBiddingWithAdapterConfig(const QBAdapterConfigRef& adapterConfig, const platform::Json& adData,
                                             const std::string& serverData,
                                             const platform::ViewControllerRef& viewController,
                                             const std::shared_ptr<QBBannerSize>& size,
                                             std::weak_ptr<QBBannerAdapterDelegate> delegate) override;
  void destroyBannerWithAdapterConfig(const QBAdapterConfigRef& adapterConfig) override;
  std::optional<platform::Json> getBannerBiddingDataWithAdapterConfig(const QBAdapterConfigRef& adapterConfig,
                                                                      const platform::Json& adData) override;
  // The size in points the own network shows for a mediation banner size;
  // none when unsupported.
  static std::optional<std::pair<int, int>> bannerSizeInPoints(const QBBannerSize& size);

  // ---- Offerwall.
  void initOfferWallWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                               std::weak_ptr<QBOfferwallAdapterDelegate> delegate) override;
  void showOfferwallWithViewController(const platform::ViewControllerRef& viewController,
                                       const std::string& placement) override;
  void getOfferWallCreditsWithUserId(const std::string& userId) override;
  bool hasOfferwall() override;

  // ---- Bidding data.
  // {"token": the own network's token, "" without one}.
  platform::Json getToken();
  std::optional<platform::Json> getPlayerBiddingData() override;

  // ---- QBNAdDelegate.
  void adInstanceLoaded(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceLoadedWithAdContainer(const QBNAdInstanceRef& adInstance, const platform::Json& configuration,
                                       const std::shared_ptr<platform::View>& adContainer) override;
  void adInstanceFailedToLoad(const QBNAdInstanceRef& adInstance, const platform::Error& error,
                              const platform::Json& configuration) override;
  void adInstanceOpened(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceClosed(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceShowSuccess(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceFailedToShow(const QBNAdInstanceRef& adInstance, const platform::Error& error,
                              const platform::Json& configuration) override;
  void adInstanceClicked(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceRewarded(const QBNAdInstanceRef& adInstance, const platform::Json& creditInfo,
                          const platform::Json& configuration) override;
  void adInstanceLeaveApplication(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) override;
  void adInstanceReceivedNotificationWithInstance(const QBNAdInstanceRef& adInstance, const std::string& eventName,
                                                  const platform::Json& extData,
                                                  const platform::Json& configuration) override;

  // ---- PMAOfferWallDelegate.
  void pmaInitOfferWallSuccess() override;
  void pmaInitOfferWallFailedWithError(const platform::Error& error) override;
  void pmaOfferWallShowSuccess(const std::optional<std::string>& placementId) override;
  void pmaOfferWallShowFailedWithError(const platform::Error& error) override;
  void pmaOfferWallDidClose() override;
  void pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) override;
  bool pmaOfferWallDidReceiveCredit(const platform::Json& creditInfo) override;

  // The extra parameters of every instance and of the shared
  // initialisation: "SDKPluginType" (when set), "sessionid" and "skd" (the
  // application's SKAdNetwork facts, QBUtils::getSkanDictionary, when it has
  // entries).
  static platform::Json createParams();
  // {} without server data; else "adm", the auction's server-data
  // parameters and "isOneFlow" when the configuration has a value.
  static platform::Json createLoadParamsWithConfig(const QBAdapterConfig& adapterConfig,
                                                   const std::optional<std::string>& serverData);
  // The process-wide flags (shared initialisation, consent). Tests only.
  static void resetForTesting();

 private:
  using RvDelegate = std::weak_ptr<QBRewardedVideoAdapterDelegate>;
  using IsDelegate = std::weak_ptr<QBInterstitialAdapterDelegate>;
  using BnDelegate = std::weak_ptr<QBBannerAdapterDelegate>;

  void initSDK(const QBAdapterConfig& adapterConfig, const platform::Json& extraParams);
  std::shared_ptr<QuillborneAdInstance> getAdInstanceWithConfig(const QBAdapterConfig& adapterConfig);
  // A new banner instance of the configuration's demand source (made for
  // every banner load; kept only once it reports a load).
  std::shared_ptr<QuillborneAdInstance> createBannerAdInstanceWithConfig(const QBAdapterConfig& adapterConfig,
                                                                         const std::shared_ptr<QBNAdSize>& size);
  // Loads the name's instance; the delegate given (if any) is stored for the
  // name together with the load (see the callbacks).
  void loadAdInternalWithConfig(const QBAdapterConfig& adapterConfig, const std::optional<std::string>& serverData,
                                const RvDelegate* rvDelegate, const IsDelegate* isDelegate);
  void loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance, const platform::Json& loadParams);
  // The delegates are told only when nothing was ever loaded under the
  // name; otherwise outcomes go to the delegate kept at load, which the show
  // keeps for the ad it puts on screen.
  void show(const platform::ViewControllerRef& viewController, const QBAdapterConfig& adapterConfig,
            const RvDelegate& rvShowDelegate, const IsDelegate& isShowDelegate);
  std::weak_ptr<QBNProductDelegate> asListener();
  // The delegate of the ad the last show under the name put on screen: the
  // outcomes of a show (open, click, reward, visible, show success or
  // failure, close) go to it, also when a later load under the same name
  // (load while show) has stored its own delegate since.
  std::shared_ptr<QBRewardedVideoAdapterDelegate> rvShowDelegate(const std::string& name) const;
  std::shared_ptr<QBInterstitialAdapterDelegate> isShowDelegate(const std::string& name) const;
  std::shared_ptr<QBBannerAdapterDelegate> bnDelegate(const std::string& name) const;
  std::shared_ptr<QBOfferwallAdapterDelegate> offerwallDelegate() const;
  void setRvDelegate(const std::string& name, RvDelegate delegate);
  // The delegate that hears a load answer of the instance: none for the late
  // answer of a load given up on (a newer load of the instance was asked for:
  // its delegate must not hear it), which is logged.
  std::shared_ptr<QBRewardedVideoAdapterDelegate> rvLoadDelegate(const QBNAdInstanceRef& adInstance) const;
  std::shared_ptr<QBInterstitialAdapterDelegate> isLoadDelegate(const QBNAdInstanceRef& adInstance) const;
  // A banner instance's load answer: the name's delegate, unless the answer
  // is one of a load given up on (an instance destroyed while it loaded, or
  // one loading under the name before its newest load), which is logged. A
  // loading instance leaves the loading list; a loaded one (`loaded`) joins
  // the loaded list unless it was withdrawn.
  std::shared_ptr<QBBannerAdapterDelegate> bnLoadDelegate(const QBNAdInstanceRef& adInstance, bool loaded);

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<QuillborneAdInstance>> demandSourceIdToRvAd_;
  std::map<std::string, RvDelegate> demandSourceIdToRvDelegate_;
  std::map<std::string, std::shared_ptr<QuillborneAdInstance>> demandSourceIdToIsAd_;
  std::map<std::string, IsDelegate> demandSourceIdToIsDelegate_;
  // The load delegate each name had when its last show went out.
  std::map<std::string, RvDelegate> demandSourceIdToRvShowDelegate_;
  std::map<std::string, IsDelegate> demandSourceIdToIsShowDelegate_;
  std::map<std::string, std::vector<std::shared_ptr<QuillborneAdInstance>>> demandSourceIdToBnAd_;
  // Banner instances whose load went out and was not answered yet, oldest
  // first; a destroy of the name withdraws them with the loaded ones.
  std::map<std::string, std::vector<std::shared_ptr<QuillborneAdInstance>>> demandSourceIdToBnLoading_;
  // Loading banners a destroy withdrew, while anything still holds them.
  std::vector<std::weak_ptr<QuillborneAdInstance>> withdrawnBanners_;
  std::map<std::string, BnDelegate> demandSourceIdToBnDelegate_;
  std::weak_ptr<QBOfferwallAdapterDelegate> owDelegate_;
  bool isOfferwallAvailable_ = false;
  bool isRVDemandOnly_ = false;
};
