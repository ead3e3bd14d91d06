#pragma once
// Fixtures of the test-suite tests: a clean process, the SDK side played by a
// recording stand-in, the sandbox serving the project's test page, an
// application window, and readers of what the suite sent (its events) and
// what its page heard (the page's record).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/QBGlobalDataManager.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "platform/web/web_view.h"
#include "support/lines.h"
#include "support/process_reset.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"
#include "support/sandbox_test_suite.h"
#include "support/temp_dir.h"
#include "testsuite/QBTestSuiteAdsManager.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"
#include "testsuite/QBTestSuiteViewController.h"

namespace qbtest {

// The SDK side: records what the suite asks (with whether the banner bridge
// is installed then), answers the readiness questions as told.
class RecordingSdk : public QBTestSuiteMediationSdk, public Lines {
 public:
  void onTestSuiteClosed() override { add("onTestSuiteClosed" + bridged()); }
  void destroyTestSuiteBanner() override { add("destroyTestSuiteBanner" + bridged()); }
  void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit) override {
    add("config " + adUnit.value() + " " + describe(config));
  }
  void loadInterstitial() override { add("loadInterstitial"); }
  bool hasInterstitial() override { return interstitialReady; }
  void showInterstitialWithViewController(platform::ViewControllerRef vc) override {
    add(std::string("showInterstitial") + (vc ? "" : " without a view controller"));
  }
  void loadRewardedVideo() override { add("loadRewardedVideo"); }
  bool hasRewardedVideo() override { return rewardedVideoReady; }
  void showRewardedVideoWithViewController(platform::ViewControllerRef vc) override {
    add(std::string("showRewardedVideo") + (vc ? "" : " without a view controller"));
  }
  void loadBannerWithViewController(platform::ViewControllerRef, const QBBannerSize& size) override {
    add("loadBanner " + size.sizeDescription() + " " + std::to_string(size.width()) + "x" +
        std::to_string(size.height()));
  }
  void destroyBanner(std::shared_ptr<QBBannerView>) override { add("destroyBanner"); }

  // "network=<adNetwork or none> bidding=<0|1> test=<0|1> retain=<0|1>".
  static std::string describe(const std::shared_ptr<QBTestSuiteLoadAdConfig>& config) {
    if (!config) return "none";
    return "network=" + config->adNetwork().value_or("none") + " bidding=" + (config->isBidding() ? "1" : "0") +
           " test=" + (config->useTestAds() ? "1" : "0") + " retain=" + (config->retainViewController() ? "1" : "0");
  }

  bool interstitialReady = false;
  bool rewardedVideoReady = false;

 private:
  static std::string bridged();
};

// Console lines of the log manager.
class SuiteLog : public Lines {
 public:
  void install() {
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { add(line); });
  }
};

class SuiteTest : public ::testing::Test {
 protected:
  SuiteTest();
  ~SuiteTest() override;

  // The test page's address with `query`.
  std::string pageUrl(const std::string& query) const { return server.url(kTestSuitePagePath) + "?" + query; }
  // Presents a suite over the application's view controller with the page at
  // `url` and waits (in real time, the clock standing) until the page's load
  // has ended.
  std::shared_ptr<QBTestSuiteViewController> presentSuite(const std::string& url,
                                                          const platform::Json& data = platform::Json{
                                                              {"appKey", "suiteKey"}, {"sdkVersion", "7.3.1"}});
  // The value of `script` in `webView`'s page (null when it throws).
  platform::Json evaluate(const std::shared_ptr<platform::WebView>& webView, const std::string& script);
  // TestSuiteJs.record of the suite's test page.
  platform::Json pageRecord(const std::shared_ptr<QBTestSuiteViewController>& suite);
  // The page's callbacks as [name, adUnit, args] triples.
  platform::Json pageCallbacks(const std::shared_ptr<QBTestSuiteViewController>& suite);
  // The suite's events the rewarded-video engine holds, as {"id", and
  // "errorCode", "reason", "is_test_suite" when present}.
  std::vector<platform::Json> suiteEvents();
  std::vector<int64_t> suiteEventIds();
  // The console lines of the page ("testsuite: ...", without the prefix).
  std::vector<std::string> pageLines() const { return pageLines_.lines(); }

  platform::TestEnvironment env;
  TempDir dir;
  SuiteLog log;
  SandboxServer server;
  std::shared_ptr<RecordingSdk> sdk = std::make_shared<RecordingSdk>();
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> app = std::make_shared<platform::ViewController>();

 private:
  Lines pageLines_;
  platform::WebLogSink previousSink_;
};

}  // namespace qbtest
