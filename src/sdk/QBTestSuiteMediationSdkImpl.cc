#include "sdk/QBTestSuiteMediationSdkImpl.h"

#include <memory>
#include <utility>

#include "quillborne/Quillborne.h"
#include "sdk/QuillborneSdk.h"
#include "testsuite/QBTestSuiteMediationSdkProxy.h"

namespace {

class MediationSdk : public QBTestSuiteMediationSdk {
 public:
  void onTestSuiteClosed() override { QuillborneSdk::sharedInstance()->onTestSuiteClosed(); }
  void destroyTestSuiteBanner() override { QuillborneSdk::sharedInstance()->destroyTestSuiteBanner(); }
  void setTestSuiteAdLoadConfig(std::shared_ptr<QBTestSuiteLoadAdConfig> config, const QBAdUnit& adUnit) override {
    QuillborneSdk::sharedInstance()->setTestSuiteAdLoadConfig(std::move(config), adUnit);
  }
  void loadInterstitial() override { Quillborne::loadInterstitial(); }
  bool hasInterstitial() override { return Quillborne::hasInterstitial(); }
  void showInterstitialWithViewController(platform::ViewControllerRef viewController) override {
    Quillborne::showInterstitialWithViewController(std::move(viewController));
  }
  void loadRewardedVideo() override { Quillborne::loadRewardedVideo(); }
  bool hasRewardedVideo() override { return Quillborne::hasRewardedVideo(); }
  void showRewardedVideoWithViewController(platform::ViewControllerRef viewController) override {
    Quillborne::showRewardedVideoWithViewController(std::move(viewController));
  }
  void loadBannerWithViewController(platform::ViewControllerRef viewController, const QBBannerSize& size) override {
    Quillborne::loadBannerWithViewController(std::move(viewController), size);
  }
  void destroyBanner(std::shared_ptr<QBBannerView> banner) override { Quillborne::destroyBanner(std::move(banner)); }
};

}  // namespace

void registerTestSuiteMediationSdk() {
  if (QBTestSuiteMediationSdkProxy::mediationSdk()) return;
  QBTestSuiteMediationSdkProxy::setMediationSdk(std::make_shared<MediationSdk>());
}
