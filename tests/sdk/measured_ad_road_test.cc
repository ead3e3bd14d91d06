// A measured own-network ad through the public facade: the controller page
// starts a measurement session for the ad view it presents, the measured ad
// page carries the service and verification scripts, and the sandbox hears
// the verification script's beacons, from the session's start to its finish.
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "measurement/walker/OMIDQuilbrnTreeWalker.h"
#include "own_network_support.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "platform/tulvo/tulvo_control.h"
#include "presentation/QBNProductViewController.h"
#include "sdk_test_support.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_measurement.h"

namespace qbtest {
namespace {

using platform::Json;

class MeasuredAdRoadTest : public SdkTest {
 protected:
  MeasuredAdRoadTest() {
    TulvoSDK::Control::shared().resetForTesting();
    resetOwnNetwork();
    resetMeasurement();
    platform::resetUIForTesting();
    window_ = std::make_shared<platform::Window>(platform::Screen::main().bounds());
    window_->makeKeyAndVisible();
    window_->setRootViewController(vc_);
    auction_ = std::make_unique<SandboxAuction>(server_);
    addMeasuredAdPage(server_);
  }
  ~MeasuredAdRoadTest() override {
    auction_.reset();
    resetOwnNetwork();
    env_.runUntilIdle();
    resetMeasurement();
    platform::resetUIForTesting();
    TulvoSDK::Control::shared().resetForTesting();
  }
  static void resetMeasurement() {
    QBNOMIDManager::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
  }

  // The page presents the measured ad page; the ad closes `closeAfterMs`
  // after it is displayed, then the page credits and closes the show.
  void start(int closeAfterMs, const Json& measure) {
    Json behaviour = {
        {"report", true},
        {"measure", measure},
        {"commands",
         {{"showInterstitial",
           {{"present", {{"url", server_.url(kMeasuredAdPagePath)},
                         {"actions", Json::array({Json::array({"close", closeAfterMs})})}}},
            {"then", Json::array({Json::array({"adCredited", {{"credits", "10"}, {"productType", "Interstitial"}}}),
                                  Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}};
    addControllerPage(server_, behaviour);
    Json configuration = config_->configuration();
    configuration["providerOrder"]["rewardedVideo"] = {"QuillborneRV1"};
    config_->setConfiguration(configuration);
    auction_->enqueueAnswer(AuctionAnswer::withPayload(SandboxAuction::waterfallPayload("auc-1", {"QuillborneRV1"})));
    Quillborne::setRewardedVideoManualDelegate(listener_);
    Quillborne::initWithAppKey(kAppKey, std::vector<std::string>{"rewardedvideo"});
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
    Quillborne::loadRewardedVideo();
    ASSERT_TRUE(driveUntilHeard("loaded", 50)) << dump();
  }

  static Json nativeImpression() {
    return Json{{"impressionOwner", "native"}, {"videoEventsOwner", "none"}, {"creativeType", "htmlDisplay"},
                {"impressionType", "beginToRender"}};
  }

  Json page(const std::string& expression) { return controllerPageValue(env_, expression); }
  std::string dump() const { return heardLines(*listener_); }

  // The page's own verification script's beacons, in the order the script
  // sent them (beacons go out side by side and may arrive in another).
  std::vector<MeasurementBeacon> beacons() const {
    std::vector<MeasurementBeacon> out;
    for (auto& beacon : measurementBeacons(server_)) {
      if (beacon.tag == kMeasuredAdPageTag) out.push_back(std::move(beacon));
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.seq < b.seq; });
    return out;
  }
  bool heardBeacon(const std::string& event) const {
    for (const auto& beacon : beacons()) {
      if (beacon.event == event) return true;
    }
    return false;
  }

  static bool walkerRuns() {
    auto walker = std::dynamic_pointer_cast<OMIDQuilbrnTreeWalker>(OMIDQuilbrnSDK::sharedInstance()->treeWalker());
    return walker && walker->isRunning();
  }

  std::unique_ptr<SandboxAuction> auction_;
  std::shared_ptr<platform::Window> window_;
};

TEST_F(MeasuredAdRoadTest, AShownAdIsMeasuredFromItsStartToItsFinish) {
  start(3000, nativeImpression());
  // The application shows a notice in a window of its own over the top of
  // the screen while the ad is on: it covers part of the ad.
  const platform::Rect screen = platform::Screen::main().bounds();
  auto notice = std::make_shared<platform::Window>(platform::Rect::make(0, 0, screen.size.width, 100));
  platform::Application::shared().addWindow(notice);
  const double expected = std::round((1 - 100 / screen.size.height) * 10000) / 100;

  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(drive([&] { return heardBeacon("impression"); }, 50)) << dump();
  EXPECT_TRUE(walkerRuns());
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  ASSERT_TRUE(drive([&] { return heardBeacon("sessionFinish"); }, 50)) << dump();

  // What the sandbox heard, in order: the start of an HTML session of the
  // partner, the impression, the geometry with the share the service script
  // computed, "viewable" a second after the ad came into view, the finish.
  const auto heard = beacons();
  std::vector<std::string> events;
  for (const auto& beacon : heard) {
    if (events.empty() || events.back() != beacon.event) events.push_back(beacon.event);
  }
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front().event, "sessionStart");
  EXPECT_EQ(heard.front().data["context"]["adSessionType"], "html");
  EXPECT_EQ(heard.front().data["context"]["omidNativeInfo"],
            (Json{{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}));
  EXPECT_EQ(heard.front().injectionId, kMeasuredAdPageInjectionId);
  EXPECT_EQ(heard.front().vendorKey, kMeasuredAdPageVendor);
  EXPECT_EQ(heard.back().event, "sessionFinish");
  int seq = 0;
  std::optional<size_t> inView, viewable, impression;
  for (size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].seq, ++seq);  // every beacon arrived
    if (heard[i].event == "impression" && !impression) impression = i;
    if (heard[i].event == "geometry" && heard[i].data["percentageInView"] == expected && !inView) inView = i;
    if (heard[i].event == "viewable") {
      EXPECT_FALSE(viewable) << "one viewable beacon";
      viewable = i;
      EXPECT_EQ(heard[i].data["percentageInView"], expected);
    }
  }
  ASSERT_TRUE(impression && inView && viewable) << ::testing::PrintToString(events);
  EXPECT_LT(*inView, *viewable);

  // The page's record: the four answers, each a success.
  const Json answers = page("PMA_CORE.measurement.answers");
  std::vector<std::string> steps;
  for (const auto& answer : answers) {
    steps.push_back(answer["step"].get<std::string>() + (answer["ok"] == true ? "" : " failed"));
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"activate", "startSession", "impressionOccurred", "finishSession"}));
  EXPECT_EQ(answers[0]["answer"]["omidPartnerName"], "Quilbrn");
  const Json session = page("PMA_CORE.measurement.sessions[0]");
  EXPECT_EQ(session["kind"], "html");
  EXPECT_EQ(session["percentageInView"], expected);
  EXPECT_EQ(session["viewable"], true);
  EXPECT_EQ(session["finished"], true);
  EXPECT_EQ(session["adSessionId"], heard.front().data["adSessionId"]);
  EXPECT_EQ(QBNOMIDManager::sharedInstance()->getOmidData()["omidActiveAdSessions"], Json::array());
  EXPECT_FALSE(walkerRuns());  // the last session took the walk's timer with it
  const auto reports = log_.linesWith("report: measurement: ad view ");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(", session " + heard.front().data["adSessionId"].get<std::string>() + ": html, started, "
                            "impression, " + session["percentageInView"].dump() + "% in view, viewable, finished"),
            std::string::npos) << reports[0];
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened", "reward DefaultRewardedVideo 10", "closed"}));
}

TEST_F(MeasuredAdRoadTest, AnAdClosedWithinTheSecondIsNeverViewable) {
  start(600, nativeImpression());
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  ASSERT_TRUE(drive([&] { return heardBeacon("sessionFinish"); }, 50)) << dump();
  EXPECT_TRUE(heardBeacon("geometry"));
  EXPECT_FALSE(heardBeacon("viewable"));
  const Json session = page("PMA_CORE.measurement.sessions[0]");
  EXPECT_EQ(session["percentageInView"], 100);
  EXPECT_EQ(session["viewable"], false);
  EXPECT_FALSE(walkerRuns());
}

TEST_F(MeasuredAdRoadTest, AStartTheMeasurementRefusesLeavesTheAdUnmeasuredAndTheShowWhole) {
  // An impression owner of none: the configuration refuses it, and the ad
  // still shows and closes.
  Json measure = nativeImpression();
  measure["impressionOwner"] = "none";
  start(300, measure);
  Quillborne::showRewardedVideoWithViewController(vc_, "DefaultRewardedVideo");
  ASSERT_TRUE(driveUntilHeard("closed", 50)) << dump();
  const Json answers = page("PMA_CORE.measurement.answers");
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1]["step"], "startSession");
  EXPECT_EQ(answers[1]["ok"], false);
  EXPECT_EQ(answers[1]["answer"]["errMsg"], "Impression owner can not be none.");
  EXPECT_TRUE(beacons().empty());
  EXPECT_FALSE(walkerRuns());
  EXPECT_EQ(listener_->lines(), (std::vector<std::string>{"loaded", "opened", "reward DefaultRewardedVideo 10", "closed"}));
}

}  // namespace
}  // namespace qbtest
