#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"

#include <utility>

#include "foundation/PMEDeviceStatus.h"
#include "ownnetwork/api/QBNConfigurations.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/data/QBNDataManagerConfiguration.h"
#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"
#include "ownnetwork/handlers/QBNFileHandlers.h"
#include "ownnetwork/handlers/QBNInfoHandlers.h"
#include "ownnetwork/handlers/QBNStoreAndUrlHandlers.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/device.h"
#include "platform/dispatch.h"
#include "platform/notifications.h"
#include "platform/runtime.h"
#include "platform/ui.h"

using platform::Json;

namespace {

constexpr char kSDKVersion[] = "7.3.1";
constexpr char kMainMessageHandler[] = "plovermarkMainMsgHandler";
constexpr uint32_t kFlexibleInAllDirections = 63;

struct ClassValues {
  std::optional<std::string> controllerURL;
  std::optional<std::string> controllerConfig;
  std::shared_ptr<const QBNConfigurations> networkConfig;
  PlovermarkAdsPublisher::InitCompletion initCompletion;
  std::optional<double> storekitTimeout;
  std::string userGroup;
  std::function<void(PlovermarkAdsPublisher&, const Json&)> deviceStatusHandler;
};

struct ClassSettings : ClassValues {
  std::mutex mutex;
};

ClassSettings& settings() {
  static ClassSettings& s = *new ClassSettings();  // lives for the process
  return s;
}

// The class lock of creation and the one publisher.
struct Instance {
  std::recursive_mutex mutex;
  std::shared_ptr<PlovermarkAdsPublisher> publisher;
};

Instance& instance() {
  static Instance& i = *new Instance();  // lives for the process
  return i;
}

template <class T>
T readLocked(std::mutex& mutex, const T& field) {
  std::lock_guard<std::mutex> lock(mutex);
  return field;
}

// The replaced value is let go after the lock is released: a handler's last
// owner may be this call, and its destructor may call the publisher back.
template <class T>
void writeLocked(std::mutex& mutex, T& field, T value) {
  std::lock_guard<std::mutex> lock(mutex);
  std::swap(field, value);
}

bool osVersionAtLeast(const char* version) {
  return PMEDeviceStatus::compareVersions(platform::deviceFacts().facts().osVersion, version) >= 0;
}

}  // namespace

// ------------------------------------------------------------------ class-level settings

void PlovermarkAdsPublisher::setControllerURL(std::optional<std::string> url) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().controllerURL = std::move(url);
}

std::optional<std::string> PlovermarkAdsPublisher::controllerURL() {
  std::lock_guard<std::mutex> lock(settings().mutex);
  return settings().controllerURL;
}

void PlovermarkAdsPublisher::setControllerConfig(std::optional<std::string> config) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().controllerConfig = std::move(config);
}

std::optional<std::string> PlovermarkAdsPublisher::getControllerConfig() {
  std::lock_guard<std::mutex> lock(settings().mutex);
  return settings().controllerConfig;
}

void PlovermarkAdsPublisher::setNetworkConfig(std::shared_ptr<const QBNConfigurations> config) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().networkConfig = std::move(config);
}

std::shared_ptr<const QBNConfigurations> PlovermarkAdsPublisher::networkConfig() {
  return readLocked(settings().mutex, settings().networkConfig);
}

void PlovermarkAdsPublisher::setInitSDKCompletion(InitCompletion completion) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().initCompletion = std::move(completion);
}

PlovermarkAdsPublisher::InitCompletion PlovermarkAdsPublisher::initSDKCompletion() {
  return readLocked(settings().mutex, settings().initCompletion);
}

void PlovermarkAdsPublisher::setStorekitTimeout(std::optional<double> timeout) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().storekitTimeout = timeout;
}

std::optional<double> PlovermarkAdsPublisher::storekitTimeout() {
  return readLocked(settings().mutex, settings().storekitTimeout);
}

void PlovermarkAdsPublisher::setUserGroup(std::string userGroup) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().userGroup = std::move(userGroup);
}

std::string PlovermarkAdsPublisher::getUserGroup() {
  std::lock_guard<std::mutex> lock(settings().mutex);
  return settings().userGroup;
}

void PlovermarkAdsPublisher::setDeviceStatusHandler(std::function<void(PlovermarkAdsPublisher&, const Json&)> handler) {
  std::lock_guard<std::mutex> lock(settings().mutex);
  settings().deviceStatusHandler = std::move(handler);
}

void PlovermarkAdsPublisher::handleGetDeviceStatus(const Json& parameters) {
  std::function<void(PlovermarkAdsPublisher&, const Json&)> handler;
  {
    std::lock_guard<std::mutex> lock(settings().mutex);
    handler = settings().deviceStatusHandler;
  }
  if (handler) handler(*this, parameters);
}

// ------------------------------------------------------------------ creation

std::shared_ptr<PlovermarkAdsPublisher> PlovermarkAdsPublisher::sharedInstanceWithApplicationKey(
    const std::optional<std::string>& applicationKey, const std::optional<std::string>& userId,
    const std::optional<Json>& initParams) {
  std::lock_guard<std::recursive_mutex> lock(instance().mutex);
  if (instance().publisher) return instance().publisher;

  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
      PMAHelperMethods::dictionaryFromJsonString(getControllerConfig()));
  const bool supported = QBNFeaturesManager::sharedManager().isSDKSupportingCurrentOSVersion();
  auto publisher = std::shared_ptr<PlovermarkAdsPublisher>(new PlovermarkAdsPublisher());
  if (supported) {
    publisher->initInstanceWithApplicationKey(applicationKey, userId, initParams);
  } else {
    publisher->initInstanceRequiredPropertiesWithApplicationKey(applicationKey, userId, initParams);
  }
  instance().publisher = publisher;
  QBNPublisherAgent::registerSharedInstance(publisher);
  publisher->concreteControllerManager()->createController();
  return publisher;
}

std::shared_ptr<PlovermarkAdsPublisher> PlovermarkAdsPublisher::sharedInstance() {
  return sharedInstanceWithApplicationKey(std::nullopt, std::nullopt, std::nullopt);
}

bool PlovermarkAdsPublisher::isInitialized() {
  std::lock_guard<std::recursive_mutex> lock(instance().mutex);
  return instance().publisher != nullptr;
}

std::string PlovermarkAdsPublisher::getSDKVersion() { return kSDKVersion; }

void PlovermarkAdsPublisher::resetForTesting() {
  std::shared_ptr<PlovermarkAdsPublisher> old;
  {
    std::lock_guard<std::recursive_mutex> lock(instance().mutex);
    old = std::move(instance().publisher);
  }
  {
    std::lock_guard<std::mutex> lock(settings().mutex);
    static_cast<ClassValues&>(settings()) = ClassValues{};
  }
  QBNPublisherAgent::registerSharedInstance({});
}

PlovermarkAdsPublisher::~PlovermarkAdsPublisher() {
  PMEReachabilityManager::sharedManager()->removeDelegate(static_cast<const PMENotifierProtocol*>(this));
}

void PlovermarkAdsPublisher::initInstanceRequiredPropertiesWithApplicationKey(
    const std::optional<std::string>& applicationKey, const std::optional<std::string>& userId,
    const std::optional<Json>& initParams) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!applicationKey_) applicationKey_ = applicationKey;
    if (!userId_) userId_ = userId;
    if (!initializationParameters_) initializationParameters_ = initParams;
  }
  setDemandSourcesCollection(PMADemandSourcesCollection::sharedInstance());
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(QBNFeaturesManager::sharedManager().getDebugMode());
  const auto dataManager = QBNDataManagerFactory::createDataManagerWithConfiguration(
      QBNDataManagerConfiguration::initWithDictionary(Json::object()));
  setDataManager(dataManager);

  std::optional<std::string> controllerConfig;
  std::optional<std::string> url;
  InitCompletion completion;
  std::shared_ptr<const QBNConfigurations> networkConfig;
  {
    std::lock_guard<std::mutex> lock(settings().mutex);
    controllerConfig = settings().controllerConfig;
    url = settings().controllerURL;
    completion = settings().initCompletion;
    networkConfig = settings().networkConfig;
  }
  const auto controllerManager = QBNControllerManager::create();
  controllerManager->initControllerWithcontrollerURL(url, QBNFeaturesManager::sharedManager().getDebugMode(),
                                                     dataManager, controllerConfig, std::move(completion));
  controllerManager->setPublisher(std::weak_ptr<QBNControllerPublisherP>(shared_from_this()));
  setControllerManager(controllerManager);
  setFirstISAvailabiltyStatusReported(false);

  // The script handlers, in the order their commands expect them.
  const auto factories = QBNScriptHandlerFactories::current();
  const std::weak_ptr<QBNPublisherAgent> agent = std::static_pointer_cast<QBNPublisherAgent>(shared_from_this());
  const auto make = [&agent](const auto& factory) { return factory ? factory(agent) : nullptr; };
  setJsInterfaceHandler(make(factories.jsInterfaceHandler));
  setRingerButtonJSInterfaceHandler(make(factories.ringerButtonHandler));
  setPresenterJSInterfaceHandler(make(factories.presenterHandler));
  setNativeSessionConfiguration(QBNNativeSessionConfiguration::defaultConfiguration());
  setOrientationJSInterfaceHandler(make(factories.orientationHandler));
  setQbnAdViewJSInterfaceHandler(make(factories.adViewHandler));
  setTokenJSInterfaceHandler(make(factories.tokenHandler));
  setDeviceDataJSInterfaceHandler(make(factories.deviceDataHandler));
  setWpadJSInterfaceHandler(make(factories.adUnitWebViewHandler));
  setNativeSessionConfiguration(QBNNativeSessionConfiguration::defaultConfiguration());
  setSecondaryWebViewJSHandler(make(factories.secondaryWebViewHandler));
  setHybridAdPresenter(make(factories.hybridAdPresenter));
  if (factories.fileSystemHandler) setFileSystemJSHandler(factories.fileSystemHandler(agent, dataManager));
  setAudioSessionJSHandler(make(factories.audioSessionHandler));
  initJSInterfaceHandlersByOSVersion();
  if (osVersionAtLeast("14.0") && factories.overlayHandler) {
    setOverlayJSInterfaceHandler(factories.overlayHandler(controllerManager));
  }

  // The page-command handlers of the core.
  const std::weak_ptr<QBNPublisherHandlerContext> context =
      std::static_pointer_cast<QBNPublisherHandlerContext>(shared_from_this());
  creditAndWindowHandlers_ = std::make_shared<QBNCreditAndWindowHandlers>(context);
  storeAndUrlHandlers_ = QBNStoreAndUrlHandlers::create(context);
  infoHandlers_ = std::make_shared<QBNInfoHandlers>(context);
  fileHandlers_ = QBNFileHandlers::create(context);

  QBNNetworkGlobalDataWriter writer;
  writer.setDebugParams();
  writer.setDataFromControllerConfig(controllerConfig);
  platform::mainQueue()->async([controllerConfig, networkConfig] {
    QBNTokenService::sharedService().updateTokenWithControllerConfigData(controllerConfig);
    QBNTokenService::sharedService().updateTokenWithNetworkConfigData(networkConfig.get());
  });
}

void PlovermarkAdsPublisher::initJSInterfaceHandlersByOSVersion() {
  const auto factory = QBNScriptHandlerFactories::current().adImpressionHandler;
  if (factory && osVersionAtLeast("14.5") && platform::ClassRegistry::shared().classExists("SKAdImpression")) {
    setAdImpressionJSInterfaceHandler(factory(concreteControllerManager()));
  }
}

void PlovermarkAdsPublisher::initInstanceWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                            const std::optional<std::string>& userId,
                                                            const std::optional<Json>& initParams) {
  initInstanceRequiredPropertiesWithApplicationKey(applicationKey, userId, initParams);
  // No shared URL cache to size: the platform's URL session keeps none
  // (docs/own-network.md, "No URL cache").
  fullyCreated_ = true;
  setAdViewContainerCounter(0);
  PMEReachabilityManager::sharedManager()->addDelegate(std::static_pointer_cast<PMENotifierProtocol>(shared_from_this()));
  observeNotifications();
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  platform::mainQueue()->async([weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    const platform::Rect bounds = platform::Screen::main().bounds();
    self->setWebViewController(createWebViewControllerWithSize(bounds.size.width, bounds.size.height));
  });
}

void PlovermarkAdsPublisher::observeNotifications() {
  auto& center = platform::NotificationCenter::defaultCenter();
  const std::weak_ptr<const void> owner = shared_from_this();
  std::weak_ptr<PlovermarkAdsPublisher> weakSelf = weak_from_this();
  const auto observe = [&](const char* name, std::function<void(PlovermarkAdsPublisher&, const platform::Notification&)> call) {
    center.addObserver(owner, name, nullptr, [weakSelf, call](const platform::Notification& notification) {
      if (auto self = weakSelf.lock()) call(*self, notification);
    });
  };
  observe(platform::kUIApplicationDidEnterBackgroundNotification,
          [](PlovermarkAdsPublisher& p, const platform::Notification&) { p.appDidEnterBackground(); });
  observe(platform::kUIApplicationWillEnterForegroundNotification,
          [](PlovermarkAdsPublisher& p, const platform::Notification&) { p.appWillEnterForeground(); });
  observe(platform::kUIApplicationWillResignActiveNotification,
          [](PlovermarkAdsPublisher& p, const platform::Notification&) { p.appWillResignActive(); });
  observe(platform::kUIApplicationDidBecomeActiveNotification,
          [](PlovermarkAdsPublisher& p, const platform::Notification&) { p.appDidBecomeActive(); });
  observe(platform::kAVAudioSessionRouteChangeNotification, [](PlovermarkAdsPublisher& p, const platform::Notification& n) {
    p.audioHardwareRouteChanged(n.userInfo());
  });
}

std::shared_ptr<PMWVWKWebView> PlovermarkAdsPublisher::createWebViewControllerWithSize(double width, double height) {
  auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
  browsing->setMediaPlaybackRequiresUserAction(false);
  browsing->setMediaPlaybackAllowsInLine(true);
  browsing->setAllowFileAccessFromFileURLs(true);
  auto connectivity = std::make_shared<PMWVConnectivityConfiguration>();
  connectivity->setMessageHandlerName(kMainMessageHandler);
  auto webView = PMWVWebViewFactory::defaultWebViewWithFrame(platform::Rect::make(0, 0, width, height), connectivity,
                                                             browsing);
  if (!webView) return nullptr;
  if (auto view = webView->view()) {
    view->setBackgroundColor(platform::Color::clear());
    view->setAutoresizingMask(kFlexibleInAllDirections);
    view->setOpaque(false);
  }
  if (auto scroll = webView->scrollView()) scroll->setBounces(false);
  PlovermarkLogManager::sharedManager().log(
      "createWebViewControllerWithSize: | created new webview object for the sdk | description: " +
          webView->description(),
      1, 5);
  return webView;
}

// ------------------------------------------------------------------ fields

std::optional<std::string> PlovermarkAdsPublisher::getApplicationKey() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return applicationKey_;
}

std::optional<std::string> PlovermarkAdsPublisher::getUserId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return userId_;
}

void PlovermarkAdsPublisher::setApplicationKey(const std::optional<std::string>& applicationKey) {
  std::lock_guard<std::mutex> lock(mutex_);
  applicationKey_ = applicationKey;
}

void PlovermarkAdsPublisher::setUserId(const std::optional<std::string>& userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  userId_ = userId;
}

void PlovermarkAdsPublisher::setSDKInitParams(const std::optional<Json>& initParams) {
  std::lock_guard<std::mutex> lock(mutex_);
  initializationParameters_ = initParams;
}

bool PlovermarkAdsPublisher::hasSDKInitParams() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return initializationParameters_.has_value();
}

Json PlovermarkAdsPublisher::getSDKInitParams() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return initializationParameters_.value_or(Json::object());
}

std::shared_ptr<QBNControllerManager> PlovermarkAdsPublisher::concreteControllerManager() const {
  return readLocked(mutex_, controllerManager_);
}
std::shared_ptr<QBNControllerManagerP> PlovermarkAdsPublisher::controllerManager() const {
  return concreteControllerManager();
}
void PlovermarkAdsPublisher::setControllerManager(std::shared_ptr<QBNControllerManager> manager) {
  writeLocked(mutex_, controllerManager_, std::move(manager));
}
std::shared_ptr<PMWVWKWebView> PlovermarkAdsPublisher::webViewController() const {
  return readLocked(mutex_, webViewController_);
}
void PlovermarkAdsPublisher::setWebViewController(std::shared_ptr<PMWVWKWebView> webView) {
  writeLocked(mutex_, webViewController_, std::move(webView));
}
std::shared_ptr<QBNDataManagerProtocol> PlovermarkAdsPublisher::dataManager() const {
  return readLocked(mutex_, dataManager_);
}
void PlovermarkAdsPublisher::setDataManager(std::shared_ptr<QBNDataManagerProtocol> dataManager) {
  writeLocked(mutex_, dataManager_, std::move(dataManager));
}
PMADemandSourcesCollection& PlovermarkAdsPublisher::demandSourcesCollection() const {
  return *readLocked(mutex_, demandSourcesCollection_);
}
void PlovermarkAdsPublisher::setDemandSourcesCollection(PMADemandSourcesCollection& collection) {
  writeLocked(mutex_, demandSourcesCollection_, &collection);
}

std::shared_ptr<PMAOfferWallDelegate> PlovermarkAdsPublisher::offerWallDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return offerWallDelegate_.lock();
}

void PlovermarkAdsPublisher::setOfferWallDelegate(std::weak_ptr<PMAOfferWallDelegate> delegate) {
  writeLocked(mutex_, offerWallDelegate_, std::move(delegate));
}

void PlovermarkAdsPublisher::setPloverMarkAdsDelegate(std::weak_ptr<PloverMarkAdsDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  ploverMarkAdsDelegate_ = std::move(delegate);
}

std::shared_ptr<PloverMarkAdsDelegate> PlovermarkAdsPublisher::ploverMarkAdsDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ploverMarkAdsDelegate_.lock();
}

std::shared_ptr<PMAProductParameters> PlovermarkAdsPublisher::parametersForProductType(int64_t productType) const {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (productType) {
    case 0: return parametersForRV_;
    case 1: return parametersForIS_;
    case 2:
    case 3: return parametersForOW_;
    case 4: return parametersForBN_;
    default: return nullptr;
  }
}

void PlovermarkAdsPublisher::setParametersForProductType(int64_t productType,
                                                         std::shared_ptr<PMAProductParameters> parameters) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (productType) {
    case 0: parametersForRV_ = std::move(parameters); break;
    case 1: parametersForIS_ = std::move(parameters); break;
    case 2:
    case 3: parametersForOW_ = std::dynamic_pointer_cast<PMAGeneralParameters>(parameters); break;
    case 4: parametersForBN_ = std::move(parameters); break;
    default: break;
  }
}

std::shared_ptr<PMAProductParameters> PlovermarkAdsPublisher::parametersForRV() const {
  return readLocked(mutex_, parametersForRV_);
}
void PlovermarkAdsPublisher::setParametersForRV(std::shared_ptr<PMAProductParameters> parameters) {
  writeLocked(mutex_, parametersForRV_, std::move(parameters));
}
std::shared_ptr<PMAProductParameters> PlovermarkAdsPublisher::parametersForIS() const {
  return readLocked(mutex_, parametersForIS_);
}
void PlovermarkAdsPublisher::setParametersForIS(std::shared_ptr<PMAProductParameters> parameters) {
  writeLocked(mutex_, parametersForIS_, std::move(parameters));
}
std::shared_ptr<PMAProductParameters> PlovermarkAdsPublisher::parametersForBN() const {
  return readLocked(mutex_, parametersForBN_);
}
void PlovermarkAdsPublisher::setParametersForBN(std::shared_ptr<PMAProductParameters> parameters) {
  writeLocked(mutex_, parametersForBN_, std::move(parameters));
}
std::shared_ptr<PMAGeneralParameters> PlovermarkAdsPublisher::parametersForOW() const {
  return readLocked(mutex_, parametersForOW_);
}
void PlovermarkAdsPublisher::setParametersForOW(std::shared_ptr<PMAGeneralParameters> parameters) {
  writeLocked(mutex_, parametersForOW_, std::move(parameters));
}

bool PlovermarkAdsPublisher::initOWCalledButControllerNotInitiatedYet() const {
  return readLocked(mutex_, initOWCalledButControllerNotInitiatedYet_);
}
void PlovermarkAdsPublisher::setInitOWCalledButControllerNotInitiatedYet(bool called) {
  writeLocked(mutex_, initOWCalledButControllerNotInitiatedYet_, called);
}
bool PlovermarkAdsPublisher::getOWCreditsCalledButControllerNotInitiatedYet() const {
  return readLocked(mutex_, getOWCreditsCalledButControllerNotInitiatedYet_);
}
void PlovermarkAdsPublisher::setGetOWCreditsCalledButControllerNotInitiatedYet(bool called) {
  writeLocked(mutex_, getOWCreditsCalledButControllerNotInitiatedYet_, called);
}

bool PlovermarkAdsPublisher::allowOrientationFromAppDelegate() const {
  const auto configuration = nativeSessionConfiguration();
  return configuration && configuration->allowOrientationFromAppDelegate();
}

std::shared_ptr<QBNNativeSessionConfiguration> PlovermarkAdsPublisher::nativeSessionConfiguration() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nativeSessionConfiguration_;
}

void PlovermarkAdsPublisher::setNativeSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) {
  std::lock_guard<std::mutex> lock(mutex_);
  nativeSessionConfiguration_ = std::move(configuration);
}

Json PlovermarkAdsPublisher::resizeProperties() const { return readLocked(mutex_, resizeProperties_); }
void PlovermarkAdsPublisher::setResizeProperties(Json properties) {
  writeLocked(mutex_, resizeProperties_, std::move(properties));
}
Json PlovermarkAdsPublisher::expandProperties() const { return readLocked(mutex_, expandProperties_); }
void PlovermarkAdsPublisher::setExpandProperties(Json properties) {
  writeLocked(mutex_, expandProperties_, std::move(properties));
}
Json PlovermarkAdsPublisher::orientationProperties() const { return readLocked(mutex_, orientationProperties_); }
void PlovermarkAdsPublisher::setOrientationProperties(Json properties) {
  writeLocked(mutex_, orientationProperties_, std::move(properties));
}
Json PlovermarkAdsPublisher::controllerOrientationsDict() const { return readLocked(mutex_, controllerOrientationsDict_); }
void PlovermarkAdsPublisher::setControllerOrientationsDict(Json orientations) {
  writeLocked(mutex_, controllerOrientationsDict_, std::move(orientations));
}
Json PlovermarkAdsPublisher::adCreditedParameters() const { return readLocked(mutex_, adCreditedParameters_); }
void PlovermarkAdsPublisher::setAdCreditedParameters(Json parameters) {
  writeLocked(mutex_, adCreditedParameters_, std::move(parameters));
}
bool PlovermarkAdsPublisher::noMoreOffersWasCalled() const { return readLocked(mutex_, noMoreOffersWasCalled_); }
void PlovermarkAdsPublisher::setNoMoreOffersWasCalled(bool called) { writeLocked(mutex_, noMoreOffersWasCalled_, called); }
bool PlovermarkAdsPublisher::firstISAvailabiltyStatusReported() const {
  return readLocked(mutex_, firstISAvailabiltyStatusReported_);
}
void PlovermarkAdsPublisher::setFirstISAvailabiltyStatusReported(bool reported) {
  writeLocked(mutex_, firstISAvailabiltyStatusReported_, reported);
}
bool PlovermarkAdsPublisher::shouldInterceptMRAID() const { return readLocked(mutex_, shouldInterceptMRAID_); }
void PlovermarkAdsPublisher::setShouldInterceptMRAID(bool intercept) {
  writeLocked(mutex_, shouldInterceptMRAID_, intercept);
}
std::shared_ptr<const Json> PlovermarkAdsPublisher::appStoreSchemes() const {
  return readLocked(mutex_, appStoreSchemes_).lock();
}
void PlovermarkAdsPublisher::setAppStoreSchemes(const std::shared_ptr<const Json>& schemes) {
  writeLocked(mutex_, appStoreSchemes_, std::weak_ptr<const Json>(schemes));
}

bool PlovermarkAdsPublisher::hasSecondaryView() const {
  const auto handler = secondaryWebViewJSHandler();
  return handler && handler->hasSecondaryView();
}

platform::Rect PlovermarkAdsPublisher::mRaidDefaultPosition() const { return readLocked(mutex_, mRaidDefaultPosition_); }
void PlovermarkAdsPublisher::setMRaidDefaultPosition(platform::Rect position) {
  writeLocked(mutex_, mRaidDefaultPosition_, position);
}

std::shared_ptr<PMAJSInterfaceHandlerP> PlovermarkAdsPublisher::jsInterfaceHandler() const {
  return readLocked(mutex_, jsInterfaceHandler_);
}
void PlovermarkAdsPublisher::setJsInterfaceHandler(std::shared_ptr<PMAJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, jsInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNOrientationJSHandlerP> PlovermarkAdsPublisher::orientationJSInterfaceHandler() const {
  return readLocked(mutex_, orientationJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setOrientationJSInterfaceHandler(std::shared_ptr<QBNOrientationJSHandlerP> handler) {
  writeLocked(mutex_, orientationJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNProductPresenterJSHandlerP> PlovermarkAdsPublisher::presenterJSInterfaceHandler() const {
  return readLocked(mutex_, presenterJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setPresenterJSInterfaceHandler(std::shared_ptr<QBNProductPresenterJSHandlerP> handler) {
  writeLocked(mutex_, presenterJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNHybridAdPresenterP> PlovermarkAdsPublisher::hybridAdPresenter() const {
  return readLocked(mutex_, hybridAdPresenter_);
}
void PlovermarkAdsPublisher::setHybridAdPresenter(std::shared_ptr<QBNHybridAdPresenterP> presenter) {
  writeLocked(mutex_, hybridAdPresenter_, std::move(presenter));
}
std::shared_ptr<QBNSecondaryWebViewJSHandlerP> PlovermarkAdsPublisher::secondaryWebViewJSHandler() const {
  return readLocked(mutex_, secondaryWebViewJSHandler_);
}
void PlovermarkAdsPublisher::setSecondaryWebViewJSHandler(std::shared_ptr<QBNSecondaryWebViewJSHandlerP> handler) {
  writeLocked(mutex_, secondaryWebViewJSHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::adImpressionJSInterfaceHandler() const {
  return readLocked(mutex_, adImpressionJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setAdImpressionJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, adImpressionJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::overlayJSInterfaceHandler() const {
  return readLocked(mutex_, overlayJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setOverlayJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, overlayJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNOMIDJSInterfaceP> PlovermarkAdsPublisher::omidJSInterfaceHandler() const {
  return readLocked(mutex_, omidJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setOmidJSInterfaceHandler(std::shared_ptr<QBNOMIDJSInterfaceP> handler) {
  writeLocked(mutex_, omidJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::ringerButtonJSInterfaceHandler() const {
  return readLocked(mutex_, ringerButtonJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setRingerButtonJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, ringerButtonJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::qbnAdViewJSInterfaceHandler() const {
  return readLocked(mutex_, qbnAdViewJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setQbnAdViewJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, qbnAdViewJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::tokenJSInterfaceHandler() const {
  return readLocked(mutex_, tokenJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setTokenJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, tokenJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::deviceDataJSInterfaceHandler() const {
  return readLocked(mutex_, deviceDataJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setDeviceDataJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, deviceDataJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::wpadJSInterfaceHandler() const {
  return readLocked(mutex_, wpadJSInterfaceHandler_);
}
void PlovermarkAdsPublisher::setWpadJSInterfaceHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, wpadJSInterfaceHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::fileSystemJSHandler() const {
  return readLocked(mutex_, fileSystemJSHandler_);
}
void PlovermarkAdsPublisher::setFileSystemJSHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, fileSystemJSHandler_, std::move(handler));
}
std::shared_ptr<QBNJSInterfaceHandlerP> PlovermarkAdsPublisher::audioSessionJSHandler() const {
  return readLocked(mutex_, audioSessionJSHandler_);
}
void PlovermarkAdsPublisher::setAudioSessionJSHandler(std::shared_ptr<QBNJSInterfaceHandlerP> handler) {
  writeLocked(mutex_, audioSessionJSHandler_, std::move(handler));
}

std::shared_ptr<QBNOMIDJSInterfaceP> PlovermarkAdsPublisher::omidHandlerMadeOnFirstUse() {
  std::lock_guard<std::mutex> creation(omidCreationMutex_);
  if (auto existing = omidJSInterfaceHandler()) return existing;
  const auto factory = QBNScriptHandlerFactories::current().omidHandler;
  if (!factory) return nullptr;
  auto made = factory(std::static_pointer_cast<QBNPublisherAgent>(shared_from_this()));
  setOmidJSInterfaceHandler(made);
  return made;
}

bool PlovermarkAdsPublisher::isOneToken() const {
  const auto config = PMAHelperMethods::dictionaryFromJsonString(getControllerConfig());
  return config && config->is_object() && qbnjson::boolValue(*config, "oneToken").value_or(false);
}

std::string PlovermarkAdsPublisher::getExternalAdViewIdAndIncreaseAdViewCounter() {
  std::lock_guard<std::mutex> lock(mutex_);
  return externalAdViewDemandSourceName_ + "_" + std::to_string(adViewContainerCounter_++);
}

std::string PlovermarkAdsPublisher::externalAdViewDemandSourceName() const {
  return readLocked(mutex_, externalAdViewDemandSourceName_);
}

void PlovermarkAdsPublisher::setExternalAdViewDemandSourceName(std::string name) {
  writeLocked(mutex_, externalAdViewDemandSourceName_, std::move(name));
}

int64_t PlovermarkAdsPublisher::adViewContainerCounter() const { return readLocked(mutex_, adViewContainerCounter_); }

void PlovermarkAdsPublisher::setAdViewContainerCounter(int64_t counter) {
  writeLocked(mutex_, adViewContainerCounter_, counter);
}
