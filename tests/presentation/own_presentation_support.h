#pragma once
// Shared pieces of the own network's presentation tests: a controller
// manager and a publisher that record what reaches the controller page, and
// a fixture with a fresh cache root holding the project's ad page, a key
// window, and the own network's process-wide objects put back.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/storage.h"
#include "platform/web/url.h"
#include "presentation/QBNAdViewsManager.h"
#include "presentation_support.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace owntest {

// One call that reached the controller page.
struct PageCall {
  std::string function;
  platform::Json parameters;
  std::optional<std::string> success;
  std::optional<std::string> fail;
  int encoding = 0;  // QBNControllerAPIData's option; decodeFirst YES is 2, NO is 0
  bool onMain = false;

  // "<function> <compact JSON>".
  std::string line() const { return function + " " + platform::dumpJson(parameters); }
};

class RecordingControllerManager : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& functionName, const platform::Json& parameters,
                  const std::optional<std::string>& successMethodName, const std::optional<std::string>& failMethodName,
                  bool decodeFirst) override {
    calls.push_back({functionName, parameters, successMethodName, failMethodName, decodeFirst ? 2 : 0,
                     platform::isMainThread()});
  }
  void runCommand(const QBNControllerAPIData& data) override {
    calls.push_back({data.functionName(), data.functionParameters(), data.successCallback(), data.failCallback(),
                     data.encodingOptions(), platform::isMainThread()});
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    for (const auto& call : calls) out.push_back(call.line());
    return out;
  }
  // The lines of the calls named `function`.
  std::vector<std::string> linesOf(const std::string& function) const {
    std::vector<std::string> out;
    for (const auto& call : calls) {
      if (call.function == function) out.push_back(call.line());
    }
    return out;
  }
  std::vector<PageCall> calls;
};

class RecordingPublisher : public QBNPublisherAgent {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return manager; }
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return controllerWebView; }
  platform::Json resizeProperties() const override { return platform::Json::object(); }
  bool isOneToken() const override { return false; }
  void notifyAdCloseAll() override { ++closeAllCount; }
  bool isAnyViewPresented() const override { return false; }
  std::shared_ptr<platform::ViewController> getPresentedViewController() const override { return nullptr; }

  std::shared_ptr<RecordingControllerManager> manager = std::make_shared<RecordingControllerManager>();
  std::shared_ptr<PMWVWKWebView> controllerWebView;
  int closeAllCount = 0;
};

inline const std::string kAdPage = std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html";

inline void resetOwnPresentationState() {
  QBNAdViewsManager::sharedManager().resetForTesting();
  PlovermarkLogManager::sharedManager().resetForTesting();
  QBNFeaturesManager::sharedManager().resetForTesting();
  QBNEventsTracker::sharedTracker().resetForTesting();
  QBNPublisherAgent::registerSharedInstance({});
}

class OwnPresentationTest : public presentationtest::PresentationTest {
 protected:
  OwnPresentationTest() {
    resetOwnPresentationState();
    platform::setDataRoot(dataRoot.path());
    PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
    PlovermarkLogManager::setConsoleWriterForTesting([this](const std::string& line) { console.add(line); });
    publisher->controllerWebView = PMWVWKWebView::create(platform::Rect::make(0, 0, 390, 844));
    QBNPublisherAgent::registerSharedInstance(publisher);
    window = keyWindow(30);
    root = window->rootViewController();
    // The controller web view lives hidden in the key window, as the
    // publisher keeps it.
    publisher->controllerWebView->setHidden(true);
    window->addSubview(publisher->controllerWebView);
    installAdPage("ads/ad_unit.html");
  }
  ~OwnPresentationTest() override {
    resetOwnPresentationState();
    env.runUntilIdle();
    PlovermarkLogManager::setConsoleWriterForTesting(nullptr);
  }

  // Copies the ad page into the cache root, as a downloaded creative.
  std::string installAdPage(const std::string& relativePath) {
    const std::string target = PMADownloadManager::getInstanceRootDirectory() + "/" + relativePath;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    std::filesystem::copy_file(kAdPage, target, std::filesystem::copy_options::overwrite_existing);
    return target;
  }
  static std::string cacheRootURL() { return platform::fileURLFromPath(PMADownloadManager::getInstanceRootDirectory(), true); }

  // The request of an "adViewAPI" sub-command as the dispatcher hands it
  // over: "functionParams" percent-escaped JSON, callbacks "onOk"/"onFail".
  static platform::Json adViewAPI(const std::string& functionName, const platform::Json& functionParams) {
    return platform::Json{{"functionName", functionName},
                          {"functionParams", PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(functionParams))},
                          {"success", "onOk"},
                          {"fail", "onFail"}};
  }

  RecordingControllerManager& page() { return *publisher->manager; }

  // The parameters of "displayWebView" for an interstitial, with `extra` keys.
  static platform::Json display(bool show, platform::Json extra = platform::Json::object()) {
    platform::Json params{{"display", show ? "true" : "false"}, {"productType", "Interstitial"}, {"success", "onOk"},
                          {"fail", "onFail"}};
    for (auto& [key, value] : extra.items()) params[key] = value;
    return params;
  }

  qbtest::TempDir dataRoot;
  qbtest::Lines console;
  std::shared_ptr<RecordingPublisher> publisher = std::make_shared<RecordingPublisher>();
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> root;
};

}  // namespace owntest
