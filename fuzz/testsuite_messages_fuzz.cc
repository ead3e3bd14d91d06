// What the test page posts to the test console's "TestSuiteBridge", read the
// way the console's script message handler reads it. The input is the
// message body (JSON; any other input is delivered as a text body). Each run
// hands it to the handler with a recording ads manager and recording
// delegates and checks:
//  - only the eleven methods act, each exactly once, and anything else
//    (another body, another method, the same body under another handler
//    name) does nothing;
//  - a readiness question is answered with one number, 1 or 0, as a script
//    that calls the page;
//  - a banner put on screen sits at a finite place whatever the margin.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/ui.h"
#include "support/fuzz_support.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"
#include "testsuite/QBTestSuiteScriptMessageHandler.h"
#include "testsuite/QBTestSuiteWebViewWrapper.h"

namespace {

class OnScreenBanner : public QBBannerView {
 public:
  std::shared_ptr<platform::View> view() const override { return view_; }
  std::shared_ptr<platform::View> view_ = std::make_shared<platform::View>(platform::Rect::make(0, 0, 320, 50));
};

// Records each operation; the banner is really put on screen.
class RecordingAdsManager : public QBTestSuiteAdsManager {
 public:
  explicit RecordingAdsManager(std::weak_ptr<platform::ViewController> controller)
      : QBTestSuiteAdsManager(std::move(controller)) {}
  void loadInterstitialAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override { load("loadInterstitialAd", config); }
  bool isInterstitialReady() override {
    calls.push_back("isInterstitialReady");
    return true;
  }
  void showInterstitialAd() override { calls.push_back("showInterstitialAd"); }
  void loadRewardedVideoAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config) override { load("loadRewardedVideoAd", config); }
  bool isRewardedVideoReady() override {
    calls.push_back("isRewardedVideoReady");
    return false;
  }
  void showRewardedVideoAd() override { calls.push_back("showRewardedVideoAd"); }
  void loadBannerAd(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const std::string&, int, int) override {
    load("loadBannerAd", config);
  }
  void addBannerAdToScreen(double margin) override {
    calls.push_back("addBannerAdToScreen");
    auto banner = std::make_shared<OnScreenBanner>();
    setBannerView(banner);
    QBTestSuiteAdsManager::addBannerAdToScreen(margin);
    const platform::Rect frame = banner->view_->frame();
    QB_FUZZ_CHECK(std::isfinite(frame.origin.x) && std::isfinite(frame.origin.y));
    banner->view_->removeFromSuperview();
    setBannerView(nullptr);
  }
  void destroyBannerAd() override { calls.push_back("destroyBannerAd"); }

  std::vector<std::string> calls;

 private:
  void load(const char* name, const std::shared_ptr<QBTestSuiteLoadAdConfig>& config) {
    QB_FUZZ_CHECK(config != nullptr);
    calls.push_back(name);
  }
};

class Parties : public QBTestSuiteJavaScriptEvaluatorDelegate,
                public QBTestSuiteUIReadyDelegate,
                public QBTestSuiteOnClosedDelegate {
 public:
  void onAdCallbackReceived(const std::string& name, const QBAdUnit& adUnit, const platform::Json& args) override {
    QB_FUZZ_CHECK(name == "isInterstitialReady" || name == "isRewardedVideoReady");
    QB_FUZZ_CHECK(args.is_array() && args.size() == 1 && args[0].is_boolean());
    const std::string script = QBTestSuiteWebViewWrapper::createJsScriptForMethodName(
        "onCallbackReceived", platform::Json::array({name, adUnit.value(), args}));
    QB_FUZZ_CHECK(script == "TestSuiteJs.onCallbackReceived('" + name + "','" + adUnit.value() + "',[" +
                                (args[0].get<bool>() ? "1" : "0") + "])");
    calls.push_back("reply");
  }
  void onUIReady() override { calls.push_back("onDataLoaded"); }
  void onClosed() override { calls.push_back("closeTestSuite"); }
  std::vector<std::string> calls;
};

const std::set<std::string>& methods() {
  static const std::set<std::string> kMethods = {
      "loadInterstitialAd", "isInterstitialReady", "showInterstitialAd", "loadRewardedVideoAd",
      "isRewardedVideoReady", "showRewardedVideoAd", "loadBannerAd", "addBannerAdToScreen",
      "destroyBannerAd", "onDataLoaded", "closeTestSuite"};
  return kMethods;
}

}  // namespace

QB_FUZZ_JSON_TARGET()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto parsed = platform::parseJson(text);
  const platform::Json body = parsed ? std::move(parsed.value()) : platform::Json(text);

  static const auto& controller = *new std::shared_ptr<platform::ViewController>([] {
    auto vc = std::make_shared<platform::ViewController>();
    vc->view()->setFrame(platform::Rect::make(0, 0, 400, 800));
    return vc;
  }());
  auto adsManager = std::make_shared<RecordingAdsManager>(controller);
  auto parties = std::make_shared<Parties>();
  auto handler = QBTestSuiteScriptMessageHandler::initWithAdsManager(adsManager, parties, parties, parties);

  handler->userContentController("TestSuiteBridge ", body);
  handler->userContentController("", body);
  QB_FUZZ_CHECK(adsManager->calls.empty() && parties->calls.empty());

  handler->userContentController("TestSuiteBridge", body);
  const auto method = platform::getString(body, "method");
  if (!method || !methods().count(*method)) {
    QB_FUZZ_CHECK(adsManager->calls.empty() && parties->calls.empty());
    return 0;
  }
  std::vector<std::string> calls = adsManager->calls;
  calls.insert(calls.end(), parties->calls.begin(), parties->calls.end());
  const bool question = *method == "isInterstitialReady" || *method == "isRewardedVideoReady";
  QB_FUZZ_CHECK(calls.size() == (question ? 2u : 1u));
  QB_FUZZ_CHECK(calls[0] == *method);
  return 0;
}
