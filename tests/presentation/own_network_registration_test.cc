#include <gtest/gtest.h>

#include <thread>

#include "foundation/QBGlobalDataManager.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "presentation/QBPresentationRegistration.h"
#include "presentation/presentation_support.h"

namespace {

using platform::Json;

class OwnNetworkRegistrationTest : public presentationtest::PresentationTest {
 protected:
  OwnNetworkRegistrationTest() { resetOwnNetwork(); }
  ~OwnNetworkRegistrationTest() override { resetOwnNetwork(); }

  static void resetOwnNetwork() {
    QBNAppOrientationSourceP::registerSharedInstance(nullptr);
    QBNFeaturesManager::sharedManager().resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
  }
  static std::optional<Json> apor() { return QBGlobalDataManager::sharedInstance().valueForKey("apor"); }

  QBNAppOrientationHolder& holder = QBNAppOrientationHolder::sharedInstance();
};

TEST_F(OwnNetworkRegistrationTest, HolderRecomputesReachTheGlobalDataAndTheCore) {
  auto window = keyWindow(30);
  EXPECT_EQ(QBNAppOrientationSourceP::controllerString(24), "unknown") << "nothing registered yet";
  qb::presentation::registerWithOwnNetwork();
  qb::presentation::registerWithOwnNetwork();  // a second call changes nothing
  EXPECT_EQ(apor(), Json(QBNAppOrientationSourceP::controllerString(holder.appOrientation()).value()))
      << "the current mask is written at once";

  struct Case {
    const char* page;
    uint64_t mask;
    const char* controllerString;
  };
  for (const Case& c : {Case{"landscape", 24, "landscape"}, Case{"portraitFront", 2, "portrait"},
                        Case{"free", 30, "none"}}) {
    holder.setExternalAppOrientation(QBOrientationUtillis::convertControllerStringOrientationToQBOrientation(c.page));
    EXPECT_EQ(apor(), Json(c.controllerString)) << c.page;
    EXPECT_EQ(QBNAppOrientationSourceP::currentAppOrientation(), c.mask) << c.page;
    uint64_t offMain = 0;
    std::thread([&] { offMain = QBNAppOrientationSourceP::currentAppOrientation(); }).join();
    EXPECT_EQ(offMain, c.mask) << "other threads read the last reported mask";
  }
  holder.setExternalAppOrientation(24);
  QBNTokenService::sharedService().resetForTesting();
  EXPECT_EQ(QBNTokenService::sharedService().getRawToken()["appOrientation"], "landscape");
  QBNAppOrientationSourceP::registerSharedInstance(nullptr);
  QBNTokenService::sharedService().resetForTesting();
}

TEST_F(OwnNetworkRegistrationTest, WindowFallbackFollowsTheNetworkConfiguration) {
  auto window = keyWindow(26);
  setPlistOrientations({"UIInterfaceOrientationLandscapeLeft", "UIInterfaceOrientationLandscapeRight"});
  qb::presentation::registerWithOwnNetwork();
  auto presenter = std::make_shared<presentationtest::FixedController>(2);  // shares nothing with the window
  holder.setPresentingViewController(presenter);
  for (bool fallback : {true, false}) {
    QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
        Json{{"networkConfig", {{"useWindowOrientationFallback", fallback}}}});
    holder.updateAppOrientation();
    EXPECT_EQ(holder.appOrientation(), fallback ? 24u : 2u);
    EXPECT_EQ(apor(), Json(fallback ? "landscape" : "portrait"));
  }
}

}  // namespace
