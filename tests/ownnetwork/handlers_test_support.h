#pragma once
// The publisher's side of the page-command handler tests: a publisher that
// records what reaches the page and what its script handlers are asked,
// presentation services with the product names, and a fixture that owns the
// four handlers on a fresh data root.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QBNAdDelegate.h"
#include "ownnetwork/api/QBNProductDelegateCalls.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/handlers/QBNCreditAndWindowHandlers.h"
#include "ownnetwork/handlers/QBNFileHandlers.h"
#include "ownnetwork/handlers/QBNInfoHandlers.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/handlers/QBNStoreAndUrlHandlers.h"
#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/ui.h"

namespace handlertest {

using platform::Json;

// One command sent to the page.
struct Sent {
  std::string name;
  Json params;
  bool decodeFirst = false;
  bool operator==(const Sent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Sent& sent) {
  return out << sent.name << (sent.decodeFirst ? " (decoded) " : " ") << platform::dumpJson(sent.params);
}

class RecordingControllerManager : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& functionName, const Json& parameters, const std::optional<std::string>& success,
                  const std::optional<std::string>& fail, bool decodeFirst) override {
    EXPECT_FALSE(success || fail) << "replies carry no callbacks of their own";
    std::lock_guard lock(mutex_);
    sent_.push_back({functionName, parameters, decodeFirst});
  }
  void runCommand(const QBNControllerAPIData& data) override {
    runCommand(data.functionName(), data.functionParameters(), data.successCallback(), data.failCallback(),
               data.encodingOptions() == QBNControllerAPIData::kEncodingDecodeThenEncode);
  }
  size_t count() {
    std::lock_guard lock(mutex_);
    return sent_.size();
  }
  // What was sent since the last call.
  std::vector<Sent> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(sent_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<Sent> sent_;
};

// Listeners that record each call as one line ("name config"), with whether
// it ran on the main queue.
class CallLog {
 public:
  void add(std::string line) {
    lines.push_back(std::move(line));
    onMain.push_back(platform::isMainThread());
  }
  std::vector<std::string> lines;
  std::vector<bool> onMain;
};

inline std::string compact(const Json& value) { return platform::dumpJson(value); }

// Takes every ad-instance call.
class RecordingAdListener : public QBNAdDelegate, public CallLog {
 public:
  void adInstanceLoaded(const QBNAdInstanceRef&, const Json& c) override { add("loaded " + compact(c)); }
  void adInstanceLoadedWithAdContainer(const QBNAdInstanceRef&, const Json& c,
                                       const std::shared_ptr<platform::View>&) override {
    add("loadedWithContainer " + compact(c));
  }
  void adInstanceFailedToLoad(const QBNAdInstanceRef&, const platform::Error& e, const Json& c) override {
    add("failedToLoad " + e.message + " " + compact(c));
  }
  void adInstanceOpened(const QBNAdInstanceRef&, const Json& c) override { add("opened " + compact(c)); }
  void adInstanceClosed(const QBNAdInstanceRef&, const Json& c) override { add("closed " + compact(c)); }
  void adInstanceShowSuccess(const QBNAdInstanceRef&, const Json& c) override { add("showSuccess " + compact(c)); }
  void adInstanceFailedToShow(const QBNAdInstanceRef&, const platform::Error& e, const Json& c) override {
    add("failedToShow " + e.message + " " + compact(c));
  }
  void adInstanceClicked(const QBNAdInstanceRef&, const Json& c) override { add("clicked " + compact(c)); }
  void adInstanceRewarded(const QBNAdInstanceRef& instance, const Json& credit, const Json& c) override {
    add("rewarded " + (instance ? instance->identifier() : "-") + " " + compact(credit) + " " + compact(c));
  }
  void adInstanceLeaveApplication(const QBNAdInstanceRef&, const Json& c) override { add("leave " + compact(c)); }
  void adInstanceReceivedNotificationWithInstance(const QBNAdInstanceRef&, const std::string& event, const Json& ext,
                                                  const Json& c) override {
    add("event " + event + " " + compact(ext) + " " + compact(c));
  }
};

// Takes every legacy product call.
class RecordingProductListener : public QBNProductDelegate,
                                 public CallLog,
                                 public PmaRewardedVideoDidUpdateAdUnitsCall,
                                 public PmaRewardedVideoDidFailInitWithErrorCall,
                                 public PmaRewardedVideoNoMoreOffersCall,
                                 public PmaRewardedVideoWindowWillOpenCall,
                                 public PmaRewardedVideoDidFailShowWithErrorCall,
                                 public PmaRewardedVideoDidReceiveCreditCall,
                                 public PmaRewardedVideoWindowDidCloseCall,
                                 public PmaRewardedVideoAdClickedCall,
                                 public PmaRewardedVideoAdDidReceiveNotificationOnEventCall,
                                 public PlovermarkISInitSuccessCall,
                                 public PlovermarkISInitFailedWithErrorCall,
                                 public PlovermarkISLoadSuccessCall,
                                 public PlovermarkISLoadFailedWithErrorCall,
                                 public PlovermarkISShowSuccessCall,
                                 public PlovermarkISShowFailWithErrorCall,
                                 public PlovermarkISAdClosedCall,
                                 public PlovermarkISAdClickedCall,
                                 public PlovermarkISAdDidReceiveNotificationOnEventCall,
                                 public QBNBannerShowSuccessCall {
 public:
  void pmaRewardedVideoDidUpdateAdUnits(const Json& c) override { add("rvUpdateAdUnits " + compact(c)); }
  void pmaRewardedVideoDidFailInitWithError(const platform::Error& e) override { add("rvInitFailed " + e.message); }
  void pmaRewardedVideoNoMoreOffers() override { add("rvNoMoreOffers"); }
  void pmaRewardedVideoWindowWillOpen() override { add("rvWillOpen"); }
  void pmaRewardedVideoDidFailShowWithError(const platform::Error& e) override { add("rvShowFailed " + e.message); }
  void pmaRewardedVideoDidReceiveCredit(const Json& c) override { add("rvCredit " + compact(c)); }
  void pmaRewardedVideoWindowDidClose() override { add("rvClosed"); }
  void pmaRewardedVideoAdClicked() override { add("rvClicked"); }
  void pmaRewardedVideoAdDidReceiveNotificationOnEvent(const std::string& e, const Json& x) override {
    add("rvEvent " + e + " " + compact(x));
  }
  void plovermarkISInitSuccess() override { add("isInitSuccess"); }
  void plovermarkISInitFailedWithError(const platform::Error& e) override { add("isInitFailed " + e.message); }
  void plovermarkISLoadSuccess() override { add("isLoadSuccess"); }
  void plovermarkISLoadFailedWithError(const platform::Error& e) override { add("isLoadFailed " + e.message); }
  void plovermarkISShowSuccess() override { add("isShowSuccess"); }
  void plovermarkISShowFailWithError(const platform::Error& e) override { add("isShowFailed " + e.message); }
  void plovermarkISAdClosed() override { add("isClosed"); }
  void plovermarkISAdClicked() override { add("isClicked"); }
  void plovermarkISAdDidReceiveNotificationOnEvent(const std::string& e, const Json& x) override {
    add("isEvent " + e + " " + compact(x));
  }
  void QBNBannerShowSuccess() override { add("bannerShowSuccess"); }
};

// The script handlers the commands reach, each call recorded as one line.
class RecordingScripts : public QBNOrientationJSHandlerP,
                         public QBNHybridAdPresenterP,
                         public QBNSecondaryWebViewJSHandlerP {
 public:
  void setPresentationOrientation(const Json& p, bool send) override { add("setPresentationOrientation", p, send); }
  void setAppOrientation(const Json& p, bool send) override { add("setAppOrientation", p, send); }
  void showHybridViewControllerWithDictionary(const Json& p, uint32_t type) override {
    lines.push_back("showHybrid " + std::to_string(type) + " " + platform::dumpJson(p));
  }
  void handleHybridViewRatioConstrains(const Json& p) override { add("hybridRatio", p, false); }
  void hideHybridAd() override { lines.push_back("hideHybridAd"); }
  bool isPresented() const override { return presented != nullptr; }
  std::shared_ptr<platform::ViewController> presentedViewController() const override { return presented; }
  bool hasSecondaryView() const override { return secondaryOpen; }
  void handleSecondaryWebViewCallbackWithAction(const std::string& action) override { lines.push_back(action); }
  void animateSecondaryClose(bool) override { lines.push_back("animateSecondaryClose"); }
  void openSecondaryWebviewWithUrl(const std::string& url, const std::optional<Json>& frames, bool hidden,
                                   std::function<void()> completion) override {
    lines.push_back("openSecondary " + url + " " + (frames ? platform::dumpJson(*frames) : "none") +
                    (hidden ? " hidden" : ""));
    secondaryOpened = std::move(completion);
  }
  void moveSecondaryToFrontAndSendCloseMessage() override { lines.push_back("moveSecondaryToFront"); }

  void add(const std::string& name, const Json& p, bool send) {
    lines.push_back(name + (send ? " (answers) " : " ") + platform::dumpJson(p));
  }
  std::vector<std::string> lines;
  std::function<void()> secondaryOpened;
  bool secondaryOpen = false;
  std::shared_ptr<platform::ViewController> presented;  // what the hybrid ad shows
};

class RecordingPresenterHandler : public QBNProductPresenterJSHandlerP {
 public:
  explicit RecordingPresenterHandler(std::vector<std::string>& lines) : lines_(lines) {}
  std::shared_ptr<QBNProductPresenterP> productPresenter() const override { return nullptr; }
  void handleForceCloseApi(const Json&) override { lines_.push_back("forceClose"); }
  void handleWebViewVisibility(const Json& p) override {
    lines_.push_back("handleWebViewVisibility " + platform::dumpJson(p));
  }

 private:
  std::vector<std::string>& lines_;
};

// Product names as the presentation library converts them, the orientation
// data with the flag it was asked with, and ad views by id.
class FakeServices : public QBNPresentationServicesP {
 public:
  Json applicationOrientationData(bool allowed) const override {
    return {{"currentDeviceOrientation", "1"}, {"appDelegateAsked", allowed ? "true" : "false"}};
  }
  uint64_t supportedOrientationForViewController(const std::shared_ptr<platform::ViewController>&) const override {
    return 0;
  }
  void setSessionConfiguration(std::shared_ptr<QBNNativeSessionConfiguration> configuration) override {
    sessionConfigurations.push_back(std::move(configuration));
  }
  platform::Result<uint32_t> convertProductNameToProductType(const std::optional<std::string>& name) const override {
    static const std::map<std::string, uint32_t> types = {
        {"RewardedVideo", 0}, {"Interstitial", 1}, {"OfferWall", 2}, {"Banner", 4}};
    if (name && types.count(*name)) return types.at(*name);
    return platform::Error{"PMAErrorDomain", 0, "failed to find product type"};
  }
  std::optional<AdView> getAdUnitWebViewById(const std::string& id) const override {
    auto it = adViews.find(id);
    if (it == adViews.end()) return std::nullopt;
    const bool container = containers.count(id) != 0;
    return AdView{it->second, container, container ? it->second : nullptr};
  }
  void removeAdUnitWebViewById(const std::string& id) override {
    if (adViews.erase(id) != 0) removed.push_back(id);
  }
  std::map<std::string, std::shared_ptr<platform::View>> adViews;
  std::set<std::string> containers;  // ids whose ad view is a banner's container
  std::vector<std::string> removed;  // ids removed, in order
  std::vector<std::shared_ptr<QBNNativeSessionConfiguration>> sessionConfigurations;  // as handed over
};

// The publisher as the handlers see it; every part settable by the test.
class FakePublisher : public QBNPublisherHandlerContext {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return manager; }
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return webView; }
  Json resizeProperties() const override { return Json::object(); }
  bool isOneToken() const override { return false; }
  void notifyAdCloseAll() override {}
  bool isAnyViewPresented() const override { return presented != nullptr; }
  std::shared_ptr<platform::ViewController> getPresentedViewController() const override { return presented; }
  std::shared_ptr<PMAOfferWallDelegate> offerWallDelegate() const override { return offerWall.lock(); }
  std::shared_ptr<PMAProductParameters> parametersForProductType(int64_t type) const override {
    auto it = parameters.find(type == 3 ? 2 : type);
    return it == parameters.end() ? nullptr : it->second;
  }
  bool allowOrientationFromAppDelegate() const override { return allowAppDelegate; }
  std::shared_ptr<QBNDataManagerProtocol> dataManager() const override { return data; }
  std::shared_ptr<QBNOrientationJSHandlerP> orientationJSInterfaceHandler() const override { return scripts; }
  std::shared_ptr<QBNProductPresenterJSHandlerP> presenterJSInterfaceHandler() const override { return presenter; }
  std::shared_ptr<QBNHybridAdPresenterP> hybridAdPresenter() const override { return scripts; }
  std::shared_ptr<QBNSecondaryWebViewJSHandlerP> secondaryWebViewJSHandler() const override { return scripts; }

  std::shared_ptr<RecordingControllerManager> manager = std::make_shared<RecordingControllerManager>();
  std::shared_ptr<RecordingScripts> scripts = std::make_shared<RecordingScripts>();
  std::shared_ptr<RecordingPresenterHandler> presenter = std::make_shared<RecordingPresenterHandler>(scripts->lines);
  std::shared_ptr<PMWVWKWebView> webView;
  std::shared_ptr<platform::ViewController> presented;
  std::weak_ptr<PMAOfferWallDelegate> offerWall;
  std::map<int64_t, std::shared_ptr<PMAProductParameters>> parameters;
  bool allowAppDelegate = true;
  std::shared_ptr<QBNDataManagerProtocol> data;
};

class HandlersTest : public qbtest::OwnNetworkStorageTest {
 protected:
  HandlersTest() {
    platform::resetUIForTesting();
    QBNPresentationServicesP::registerSharedInstance(services);
    PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
  }
  ~HandlersTest() override {
    QBNPresentationServicesP::registerSharedInstance(nullptr);
    QBAppStoreInsideSessionP::registerSharedInstance(nullptr);
    platform::resetUIForTesting();
  }

  // A request as the dispatcher hands it over: texts only.
  static Json request(std::initializer_list<std::pair<const char*, const char*>> members) {
    Json r = Json::object();
    for (const auto& [key, value] : members) r[key] = value;
    return r;
  }
  std::vector<Sent> sent() { return publisher->manager->take(); }
  std::vector<std::string>& scriptCalls() { return publisher->scripts->lines; }

  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  std::shared_ptr<FakePublisher> publisher = std::make_shared<FakePublisher>();
  QBNCreditAndWindowHandlers credits{publisher};
  QBNInfoHandlers info{publisher};
  std::shared_ptr<QBNStoreAndUrlHandlers> store = QBNStoreAndUrlHandlers::create(publisher);
  std::shared_ptr<QBNFileHandlers> files = QBNFileHandlers::create(publisher);
};

}  // namespace handlertest
