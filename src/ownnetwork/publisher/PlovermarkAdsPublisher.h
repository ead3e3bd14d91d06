#pragma once
// The central object of the own network's native side, one per process. It
// owns the controller manager (every command for the hidden controller page
// goes through it), the hidden controller web view, the data manager, the
// script handlers of the feature commands and the page-command handlers; it
// turns product calls (init, load, show, destroy) into commands for the page,
// parses what the page sends back (page-to-native URLs), dispatches the
// page's commands by name and tells the listeners.
//
// Threads. Creation runs on the caller's thread under a class lock; the web
// view is made and the token updated on the main queue afterwards. Product
// calls come from the own network's API queue, the page's messages and
// notices on the main queue; the publisher's own fields are guarded by one
// lock that is never held while a handler, a listener or the controller
// manager is called. docs/own-network.md ("The publisher") lists the choices
// it makes.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/interfaces/QBNControllerPublisherP.h"
#include "ownnetwork/publisher/PloverMarkAdsDelegate.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/QBNNativeSessionConfiguration.h"
#include "platform/json.h"
#include "platform/result.h"
#include "platform/ui/geometry.h"

struct QBNConfigurations;
class QBNControllerManager;
class QuillborneAdInstance;
class PMADemandSource;
class PMADemandSourcesCollection;
class PMAJSInterfaceHandlerP;
class QBNJSInterfaceHandlerP;
class QBNOMIDJSInterfaceP;
class QBNCreditAndWindowHandlers;
class QBNStoreAndUrlHandlers;
class QBNInfoHandlers;
class QBNFileHandlers;
struct QBNCommandCall;

class PlovermarkAdsPublisher : public QBNControllerPublisherP,
                               public QBNPublisherHandlerContext,
                               public PMENotifierProtocol,
                               public std::enable_shared_from_this<PlovermarkAdsPublisher> {
 public:
  using InitCompletion = std::function<void(const std::optional<platform::Error>&)>;

  // ---- Class-level settings, read when the publisher is created. Any thread.
  static void setControllerURL(std::optional<std::string> url);
  static std::optional<std::string> controllerURL();
  // The controller configuration (JSON text).
  static void setControllerConfig(std::optional<std::string> config);
  static std::optional<std::string> getControllerConfig();
  static void setNetworkConfig(std::shared_ptr<const QBNConfigurations> config);
  static std::shared_ptr<const QBNConfigurations> networkConfig();
  // Handed to the controller manager: hears once how the controller's
  // initiation ended (main queue).
  static void setInitSDKCompletion(InitCompletion completion);
  static InitCompletion initSDKCompletion();
  static void setStorekitTimeout(std::optional<double> timeout);
  static std::optional<double> storekitTimeout();  // kept only
  static void setUserGroup(std::string userGroup);
  static std::string getUserGroup();  // "" until set
  static void setDebugMode(int64_t) {}

  // ---- Creation.
  // The one publisher: created on the first call (later calls ignore their
  // arguments), then its controller manager creates the controller. Any
  // thread.
  static std::shared_ptr<PlovermarkAdsPublisher> sharedInstanceWithApplicationKey(
      const std::optional<std::string>& applicationKey, const std::optional<std::string>& userId,
      const std::optional<platform::Json>& initParams);
  static std::shared_ptr<PlovermarkAdsPublisher> sharedInstance();
  static bool isInitialized();
  static std::string getSDKVersion();  // "7.3.1"
  // Forgets the publisher and the class-level settings (the old publisher
  // stops observing). Tests only.
  static void resetForTesting();
  ~PlovermarkAdsPublisher() override;

  // ---- Fields. Every getter and setter takes the publisher's lock, so any
  // thread may call them. A part replaced after creation (the controller
  // manager, the data manager, the web view, a script handler) serves what
  // comes after the replacement: a command already handed to the old one
  // finishes there, and what was made with the old one keeps it (the
  // controller manager and the file-system handler their data manager, the
  // ad-impression and overlay handlers their controller manager).
  std::optional<std::string> getApplicationKey() const;
  std::optional<std::string> getUserId() const;
  platform::Json getSDKInitParams() const override;
  void setApplicationKey(const std::optional<std::string>& applicationKey);
  void setUserId(const std::optional<std::string>& userId);
  void setSDKInitParams(const std::optional<platform::Json>& initParams);
  bool hasSDKInitParams() const;
  std::shared_ptr<QBNControllerManager> concreteControllerManager() const;
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override;
  void setControllerManager(std::shared_ptr<QBNControllerManager> manager);
  std::shared_ptr<PMWVWKWebView> webViewController() const override;
  void setWebViewController(std::shared_ptr<PMWVWKWebView> webView);
  std::shared_ptr<QBNDataManagerProtocol> dataManager() const override;
  void setDataManager(std::shared_ptr<QBNDataManagerProtocol> dataManager);
  // The process-wide collection (the only one there is).
  PMADemandSourcesCollection& demandSourcesCollection() const;
  void setDemandSourcesCollection(PMADemandSourcesCollection& collection);
  std::shared_ptr<PMAOfferWallDelegate> offerWallDelegate() const override;
  void setOfferWallDelegate(std::weak_ptr<PMAOfferWallDelegate> delegate);  // held weakly
  std::string userGroup() const override { return getUserGroup(); }
  // The parameters of the last init of each product.
  std::shared_ptr<PMAProductParameters> parametersForProductType(int64_t productType) const override;
  std::shared_ptr<PMAProductParameters> parametersForRV() const;
  void setParametersForRV(std::shared_ptr<PMAProductParameters> parameters);
  std::shared_ptr<PMAProductParameters> parametersForIS() const;
  void setParametersForIS(std::shared_ptr<PMAProductParameters> parameters);
  std::shared_ptr<PMAProductParameters> parametersForBN() const;
  void setParametersForBN(std::shared_ptr<PMAProductParameters> parameters);
  std::shared_ptr<PMAGeneralParameters> parametersForOW() const;
  void setParametersForOW(std::shared_ptr<PMAGeneralParameters> parameters);
  // Whether an offerwall init or credits request waits for the controller.
  bool initOWCalledButControllerNotInitiatedYet() const;
  void setInitOWCalledButControllerNotInitiatedYet(bool called);
  bool getOWCreditsCalledButControllerNotInitiatedYet() const;
  void setGetOWCreditsCalledButControllerNotInitiatedYet(bool called);
  // The native session configuration's flag.
  bool allowOrientationFromAppDelegate() const override;
  // The page's native session settings; "setNativeConfiguration" changes
  // this object and hands it to the presentation's orientation holder.
  std::shared_ptr<QBNNativeSessionConfiguration> nativeSessionConfiguration() const;
  void setNativeSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration);
  platform::Json resizeProperties() const override;
  void setResizeProperties(platform::Json properties);
  platform::Json expandProperties() const;
  void setExpandProperties(platform::Json properties);
  platform::Json orientationProperties() const;
  void setOrientationProperties(platform::Json properties);
  platform::Json controllerOrientationsDict() const;
  void setControllerOrientationsDict(platform::Json orientations);
  platform::Json adCreditedParameters() const;
  void setAdCreditedParameters(platform::Json parameters);
  // The main screen's bounds as of the last rewarded-video or interstitial
  // show.
  platform::Rect mRaidDefaultPosition() const;
  void setMRaidDefaultPosition(platform::Rect position);
  bool noMoreOffersWasCalled() const;
  void setNoMoreOffersWasCalled(bool called);
  bool firstISAvailabiltyStatusReported() const;
  void setFirstISAvailabiltyStatusReported(bool reported);
  bool shouldInterceptMRAID() const;
  void setShouldInterceptMRAID(bool intercept);
  // Held weakly: the array lives as long as whoever set it keeps it.
  std::shared_ptr<const platform::Json> appStoreSchemes() const;
  void setAppStoreSchemes(const std::shared_ptr<const platform::Json>& schemes);
  // Whether the secondary web view is open (its web view and container
  // exist); NO without its handler.
  bool hasSecondaryView() const;
  // The generic-function listener; held weakly.
  void setPloverMarkAdsDelegate(std::weak_ptr<PloverMarkAdsDelegate> delegate);
  std::shared_ptr<PloverMarkAdsDelegate> ploverMarkAdsDelegate() const;
  // Whether the object was made with the full initialiser (supported OS).
  bool isFullyCreated() const { return fullyCreated_; }

  // The script handlers (null when their library registered no factory).
  std::shared_ptr<PMAJSInterfaceHandlerP> jsInterfaceHandler() const;
  void setJsInterfaceHandler(std::shared_ptr<PMAJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNOrientationJSHandlerP> orientationJSInterfaceHandler() const override;
  void setOrientationJSInterfaceHandler(std::shared_ptr<QBNOrientationJSHandlerP> handler);
  std::shared_ptr<QBNProductPresenterJSHandlerP> presenterJSInterfaceHandler() const override;
  void setPresenterJSInterfaceHandler(std::shared_ptr<QBNProductPresenterJSHandlerP> handler);
  std::shared_ptr<QBNHybridAdPresenterP> hybridAdPresenter() const override;
  void setHybridAdPresenter(std::shared_ptr<QBNHybridAdPresenterP> presenter);
  std::shared_ptr<QBNSecondaryWebViewJSHandlerP> secondaryWebViewJSHandler() const override;
  void setSecondaryWebViewJSHandler(std::shared_ptr<QBNSecondaryWebViewJSHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> adImpressionJSInterfaceHandler() const;
  void setAdImpressionJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> overlayJSInterfaceHandler() const;
  void setOverlayJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNOMIDJSInterfaceP> omidJSInterfaceHandler() const;
  void setOmidJSInterfaceHandler(std::shared_ptr<QBNOMIDJSInterfaceP> handler);
  // The measurement handler, made and kept (setOmidJSInterfaceHandler) on
  // the first call, once even when first calls overlap (null without a
  // factory).
  std::shared_ptr<QBNOMIDJSInterfaceP> omidHandlerMadeOnFirstUse();
  std::shared_ptr<QBNJSInterfaceHandlerP> ringerButtonJSInterfaceHandler() const;
  void setRingerButtonJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> qbnAdViewJSInterfaceHandler() const;
  void setQbnAdViewJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> tokenJSInterfaceHandler() const;
  void setTokenJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> deviceDataJSInterfaceHandler() const;
  void setDeviceDataJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> wpadJSInterfaceHandler() const;
  void setWpadJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> fileSystemJSHandler() const;
  void setFileSystemJSHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);
  std::shared_ptr<QBNJSInterfaceHandlerP> audioSessionJSHandler() const;
  void setAudioSessionJSHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler);

  // Whether the controller configuration has "oneToken" true.
  bool isOneToken() const override;
  // externalAdViewDemandSourceName + "_" + the counter, which then goes up.
  std::string getExternalAdViewIdAndIncreaseAdViewCounter();
  std::string externalAdViewDemandSourceName() const;
  void setExternalAdViewDemandSourceName(std::string name);
  int64_t adViewContainerCounter() const;
  void setAdViewContainerCounter(int64_t counter);

  // ---- Product initialisation (types: QBNProductType).
  void initProduct(int64_t productType, const std::shared_ptr<PMAProductParameters>& parameters,
                   const std::optional<platform::Error>& error, const std::shared_ptr<PMADemandSource>& demandSource);
  platform::Json createInitParameters(int64_t productType, const std::shared_ptr<PMAProductParameters>& parameters,
                                      const std::shared_ptr<PMADemandSource>& demandSource) const;
  static std::optional<std::string> getInitProductCommandForType(int64_t productType);
  void sendInitFailureForProduct(int64_t productType, const std::optional<platform::Error>& error,
                                 const std::shared_ptr<PMADemandSource>& demandSource);
  void setInitCalledFlagForProduct(int64_t productType, bool isTrue);
  void initUninitializedDemandSourcesForType(int64_t productType, const std::optional<platform::Error>& error) override;
  void initNonDemandSourceProductsAfterInitController(const std::optional<platform::Error>& error) override;
  void initRewardedVideoWithApplicationKey(const std::optional<std::string>& appKey,
                                           const std::optional<std::string>& userId,
                                           const std::string& demandSourceName,
                                           std::weak_ptr<QBNProductDelegate> delegate,
                                           const std::optional<platform::Json>& additionalParameters);
  void initInterstitialWithApplicationKey(const std::optional<std::string>& appKey,
                                          const std::optional<std::string>& userId,
                                          const std::string& demandSourceName,
                                          std::weak_ptr<QBNProductDelegate> delegate,
                                          const std::optional<platform::Json>& additionalParameters);
  void initOfferWallWithApplicationKey(const std::optional<std::string>& appKey,
                                       const std::optional<std::string>& userId,
                                       std::weak_ptr<PMAOfferWallDelegate> delegate,
                                       const std::optional<platform::Json>& additionalParameters);
  void getOfferWallCreditsWithApplicationKey(const std::optional<std::string>& appKey,
                                             const std::optional<std::string>& userId,
                                             std::weak_ptr<PMAOfferWallDelegate> delegate);
  void setMediationStateForProductType(const std::optional<std::string>& productName,
                                       const std::optional<std::string>& demandSourceName, int64_t state);
  void notifyAdCloseAll() override;
  void fallbackControllerTookOver() override;
  void updateConsentInfo(const platform::Json& consent);
  void updateConsentInTokenWithData(const platform::Json& consent);
  platform::Json orientationDataForProductType(int64_t productType) const;

  // ---- Load, show, destroy.
  // A load of the instance, as the load numbered latestLoadRequest() of the
  // instance (the overload with `loadRequest` names it: QuillborneNetwork
  // numbers each load when it is asked for). A load that is no longer the
  // newest one asked for is given up without a command; a load of a demand
  // source whose earlier load the page still owes waits for that answer, for
  // QBNLoadLedger::kOwedAnswerWaitMs at most (QBNLoadLedger).
  void loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance, const platform::Json& loadParams);
  void loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance, const platform::Json& loadParams,
                            uint64_t loadRequest);
  void showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                            const std::shared_ptr<platform::ViewController>& viewController,
                            const platform::Json& showParams);
  // Withdraws the banner at the page ("destroyBanner"); until the page has
  // taken it, the load answers of its demand source are dropped.
  void destroyAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance);
  bool isAdAvailableForAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance) const;
  void showOfferWallFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                       const platform::Json& parameters);
  void showRewardedVideoFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                           const platform::Json& parameters);
  void showInterstitialFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                          const platform::Json& parameters);
  void loadInterstitialWithParameters(const platform::Json& parameters);
  bool isInterstitialAdAvailableWithDemandSourceName(const std::string& demandSourceName) const;

  // ---- The page's side.
  bool handleControllerCallback(const platform::URLRequest& request, int navigationType) override;
  void handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                           const std::optional<std::string>& fullUrl) override;
  void handlePlovermarkCallbackWithCommand(const std::string& command, const platform::Json& parameters) override;
  // Runs the first row of the command table that matches the command; the
  // row's index, or none when no row matches (the command is dropped).
  std::optional<size_t> dispatchCommand(const std::string& command, const platform::Json& parameters,
                                        const std::string& query);
  void handleSetNativeSessionConfiguration(const platform::Json& parameters);
  void checkInstalledApps(const platform::Json& parameters);
  // "getDeviceStatus": answered by the device-status report once it is
  // installed (setDeviceStatusHandler); until then the command reaches nothing.
  void handleGetDeviceStatus(const platform::Json& parameters);
  static void setDeviceStatusHandler(std::function<void(PlovermarkAdsPublisher&, const platform::Json&)> handler);

  // Product command answers of the page ("<base>Success" / "<base>Fail").
  void handleInitRewardedVideoWithCommand(const std::string& command, const platform::Json& parameters);
  void handleInitInterstitialWithCommand(const std::string& command, const platform::Json& parameters);
  void handleLoadInterstitial(const std::string& command, const platform::Json& parameters);
  void handleShowRewardedVideo(const std::string& command, const platform::Json& parameters);
  void handleShowInterstitial(const std::string& command, const platform::Json& parameters);
  void handleInitOfferWallWithCommand(const std::string& command, const platform::Json& parameters);
  void handleShowOWWithCommand(const std::string& command, const platform::Json& parameters);
  void handleGetUserCreditsWithCommand(const std::string& command, const platform::Json& parameters);
  void handleInitBannerWithCommand(const std::string& command, const platform::Json& parameters);
  void handleLoadBannerWithCommand(const std::string& command, const platform::Json& parameters);
  void handleCallPlovermarkAdsFunction(const std::string& command, const platform::Json& parameters);
  void handleAdUnitsReady(const platform::Json& parameters);

  // The page-command handlers the dispatcher reaches.
  QBNCreditAndWindowHandlers& creditAndWindowHandlers() const { return *creditAndWindowHandlers_; }
  QBNStoreAndUrlHandlers& storeAndUrlHandlers() const { return *storeAndUrlHandlers_; }
  QBNInfoHandlers& infoHandlers() const { return *infoHandlers_; }
  QBNFileHandlers& fileHandlers() const { return *fileHandlers_; }

  // ---- Notices to the page.
  void appDidEnterBackground();
  void appWillEnterForeground();
  void appWillResignActive();
  void appDidBecomeActive();
  void reachabilityChanged(std::shared_ptr<PMEReachability> reachability) override;
  void audioHardwareRouteChanged(const platform::Json& userInfo);
  bool isAnyViewPresented() const override;
  std::shared_ptr<platform::ViewController> getPresentedViewController() const override;
  void closeWebViewIsSecondaryWebview(bool isSecondaryWebview, const platform::Json& parameters);
  void openExternalUrl(const std::string& url);

  // The web view of the controller page: a hidden view of the given size.
  static std::shared_ptr<PMWVWKWebView> createWebViewControllerWithSize(double width, double height);

 private:
  PlovermarkAdsPublisher() = default;

  // initProduct, answering whether the init command went to the controller
  // manager (an instance is initialised only then).
  bool initProductIssuingCommand(int64_t productType, const std::shared_ptr<PMAProductParameters>& parameters,
                                 const std::optional<platform::Error>& error,
                                 const std::shared_ptr<PMADemandSource>& demandSource);
  void initInstanceRequiredPropertiesWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                        const std::optional<std::string>& userId,
                                                        const std::optional<platform::Json>& initParams);
  void initJSInterfaceHandlersByOSVersion();
  void initInstanceWithApplicationKey(const std::optional<std::string>& applicationKey,
                                      const std::optional<std::string>& userId,
                                      const std::optional<platform::Json>& initParams);
  void observeNotifications();
  void sendNotice(const std::string& command, const platform::Json& parameters);
  void acknowledge(const std::optional<std::string>& function, const std::string& host, const std::string& query);
  bool isControllerReady() const;
  void loadUninitializedInstanceWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                               const platform::Json& loadParams, uint64_t loadRequest);
  void loadInitializedInstanceWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                             const platform::Json& loadParams, uint64_t loadRequest);
  void sendLoadCommand(const std::string& command, const std::shared_ptr<PMADemandSource>& demandSource,
                       const std::shared_ptr<QuillborneAdInstance>& adInstance, const platform::Json& loadParams,
                       uint64_t loadRequest);
  // Sends a load that waited for the page's answer to the load before it;
  // `why` its wait ended, for the log.
  void sendLoadAfterWait(const QBNControllerAPIData& data, const std::string& why);
  // What to do with a load answer of `productType` (logged and dropped, or
  // passed on with the number of the load it answers); a load that waited
  // for it goes to the page.
  std::optional<uint64_t> admitLoadAnswer(int64_t productType, const std::string& command,
                                          const platform::Json& parameters);
  void showProduct(int64_t productType, const std::shared_ptr<platform::ViewController>& viewController,
                   const platform::Json& parameters);
  // The responder's closed callback for every demand source of the
  // dictionary, in the order of its keys.
  void handleAdClosedCallbackForDemandSourceDictionary(const PMADemandSourcesCollection::DemandSources& demandSources,
                                                       const platform::Json& configuration);
  void setParametersForProductType(int64_t productType, std::shared_ptr<PMAProductParameters> parameters);
  void replaceDataManagerConfiguration(const platform::Json& parameters);

  bool fullyCreated_ = false;
  QBNLoadLedger loadLedger_;

  std::shared_ptr<QBNCreditAndWindowHandlers> creditAndWindowHandlers_;
  std::shared_ptr<QBNStoreAndUrlHandlers> storeAndUrlHandlers_;
  std::shared_ptr<QBNInfoHandlers> infoHandlers_;
  std::shared_ptr<QBNFileHandlers> fileHandlers_;

  std::mutex omidCreationMutex_;  // held while the measurement handler is made
  mutable std::mutex mutex_;
  // Guarded by mutex_.
  std::optional<std::string> applicationKey_;
  std::optional<std::string> userId_;
  std::optional<platform::Json> initializationParameters_;
  std::shared_ptr<QBNDataManagerProtocol> dataManager_;
  std::shared_ptr<QBNControllerManager> controllerManager_;
  PMADemandSourcesCollection* demandSourcesCollection_ = &PMADemandSourcesCollection::sharedInstance();
  // Script handlers, made at creation (the measurement handler on the first
  // "omidAPI").
  std::shared_ptr<PMAJSInterfaceHandlerP> jsInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> ringerButtonJSInterfaceHandler_;
  std::shared_ptr<QBNProductPresenterJSHandlerP> presenterJSInterfaceHandler_;
  std::shared_ptr<QBNOrientationJSHandlerP> orientationJSInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> qbnAdViewJSInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> tokenJSInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> adImpressionJSInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> deviceDataJSInterfaceHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> wpadJSInterfaceHandler_;
  std::shared_ptr<QBNOMIDJSInterfaceP> omidJSInterfaceHandler_;
  std::shared_ptr<QBNSecondaryWebViewJSHandlerP> secondaryWebViewJSHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> fileSystemJSHandler_;
  std::shared_ptr<QBNJSInterfaceHandlerP> audioSessionJSHandler_;
  std::shared_ptr<QBNHybridAdPresenterP> hybridAdPresenter_;
  std::shared_ptr<QBNJSInterfaceHandlerP> overlayJSInterfaceHandler_;
  bool initOWCalledButControllerNotInitiatedYet_ = false;
  bool getOWCreditsCalledButControllerNotInitiatedYet_ = false;
  std::weak_ptr<PMAOfferWallDelegate> offerWallDelegate_;
  std::weak_ptr<PloverMarkAdsDelegate> ploverMarkAdsDelegate_;
  std::shared_ptr<PMAProductParameters> parametersForRV_;
  std::shared_ptr<PMAProductParameters> parametersForIS_;
  std::shared_ptr<PMAProductParameters> parametersForBN_;
  std::shared_ptr<PMAGeneralParameters> parametersForOW_;
  std::shared_ptr<PMWVWKWebView> webViewController_;
  bool noMoreOffersWasCalled_ = false;
  bool firstISAvailabiltyStatusReported_ = false;
  bool shouldInterceptMRAID_ = false;
  std::weak_ptr<const platform::Json> appStoreSchemes_;
  platform::Json adCreditedParameters_ = platform::Json::object();
  std::shared_ptr<QBNNativeSessionConfiguration> nativeSessionConfiguration_;
  int64_t adViewContainerCounter_ = 0;
  std::string externalAdViewDemandSourceName_;
  platform::Json expandProperties_ = platform::Json::object();
  platform::Json orientationProperties_ = platform::Json::object();
  platform::Json resizeProperties_ = platform::Json::object();
  platform::Json controllerOrientationsDict_ = platform::Json::object();
  platform::Rect mRaidDefaultPosition_{};
};
