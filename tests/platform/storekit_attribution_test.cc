// The store stand-in's ad impressions and overlays: what the classes answer,
// how the control shapes the answers and what it records.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/runtime.h"
#include "platform/storekit/storekit_control.h"
#include "ui_support.h"

namespace {

using namespace platform;

class StoreKitAttributionTest : public uitest::UITest {
 protected:
  StoreKitAttributionTest() { resetStore(); }
  ~StoreKitAttributionTest() override {
    env.runUntilIdle();
    resetStore();
  }
  static void resetStore() {
    StoreKitControl::shared().resetForTesting();
    ClassRegistry::shared().resetForTesting();
  }
  static void setSystem(const char* version) {
    DeviceFacts facts;
    facts.osVersion = version;
    setDeviceFactsForTesting(facts);
  }
  StoreKitControl& control = StoreKitControl::shared();
};

TEST_F(StoreKitAttributionTest, TheClassesAreThereFromStartUpAndAfterEveryReset) {
  auto& registry = ClassRegistry::shared();
  for (const char* name : {"SKAdImpression", "SKAdNetwork", "SKOverlay"}) {
    EXPECT_TRUE(registry.classExists(name)) << name;
  }
  EXPECT_TRUE(registry.create<SKAdImpression>("SKAdImpression"));
  EXPECT_TRUE(registry.unregisterClass("SKOverlay"));
  EXPECT_EQ(SKOverlay::initWithConfiguration(std::make_shared<SKOverlayAppConfiguration>("1", 0)), nullptr)
      << "a system without overlays makes none";
  registry.resetForTesting();
  EXPECT_TRUE(SKOverlay::initWithConfiguration(std::make_shared<SKOverlayAppConfiguration>("1", 0)));
  EXPECT_EQ(SKOverlay::initWithConfiguration(nullptr), nullptr);
}

TEST_F(StoreKitAttributionTest, AnImpressionTakesValuesOfItsTypesThroughTheSettersTheSystemHas) {
  const struct {
    const char* system;
    const char* selector;
    Json value;
    bool answers;
    bool set;
  } cases[] = {
      {"17.0", "setAdvertisedAppStoreItemIdentifier:", 1460000001, true, true},
      {"17.0", "setAdvertisedAppStoreItemIdentifier:", "1460000001", true, false},
      {"17.0", "setTimestamp:", 1.7e12, true, true},
      {"17.0", "setAdNetworkIdentifier:", "net.example", true, true},
      {"17.0", "setAdNetworkIdentifier:", 7, true, false},
      {"16.1", "setSourceIdentifier:", 4711, true, true},
      {"16.0", "setSourceIdentifier:", 4711, false, false},
      {"17.0", "setAdColour:", "red", false, false},
      {"17.0", "adType", "banner", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.system) + " " + c.selector);
    setSystem(c.system);
    SKAdImpression impression;
    EXPECT_EQ(impression.respondsToSelector(c.selector), c.answers);
    EXPECT_EQ(impression.performSetter(c.selector, c.value), c.set);
    EXPECT_EQ(impression.properties().size(), c.set ? 1u : 0u);
  }
  SKAdImpression impression;
  impression.performSetter("setAdType:", "banner");
  impression.performSetter("setAdCampaignIdentifier:", 42);
  EXPECT_EQ(impression.adType(), "banner");
  EXPECT_EQ(impression.adCampaignIdentifier(), Json(42));
  EXPECT_EQ(impression.signature(), std::nullopt);
  EXPECT_EQ(impression.description(), R"(<SKAdImpression: {"adType":"banner","adCampaignIdentifier":42}>)");
}

TEST_F(StoreKitAttributionTest, TheNetworkAnswersEachCallOnceWhereAndWhenTheControlSays) {
  auto impression = std::make_shared<SKAdImpression>();
  std::vector<std::string> heard;
  const auto listen = [&heard](const char* what) {
    return [&heard, what](std::optional<Error> error) {
      heard.push_back(std::string(what) + (error ? " " + std::to_string(error->code) : " ok") +
                      (isMainThread() ? " main" : " other"));
    };
  };
  SKAdNetwork::startImpression(impression, listen("start"));
  EXPECT_TRUE(heard.empty()) << "never inline by default";
  env.runUntilIdle();
  EXPECT_EQ(heard, std::vector<std::string>{"start ok other"});

  control.setImpressionAnswer({std::nullopt, 250, StoreLoadThread::MainQueue});
  SKAdNetwork::endImpression(impression, listen("end"));
  env.advance(249);
  EXPECT_EQ(heard.size(), 1u);
  env.advance(1);
  EXPECT_EQ(heard.back(), "end ok main");

  control.setImpressionAnswer({std::nullopt, 0, StoreLoadThread::Inline});
  SKAdNetwork::endImpression(impression, listen("end again"));
  EXPECT_EQ(heard.back(), "end again 4 main") << "ended already: unknown to the network";
  SKAdNetwork::endImpression(std::make_shared<SKAdImpression>(), listen("end of another"));
  EXPECT_EQ(heard.back(), "end of another 4 main");
  control.failNextImpressionCall(Error{kSKANErrorDomain, SKANError::AdNetworkIdMissing, "no network id"});
  SKAdNetwork::startImpression(impression, listen("failed start"));
  SKAdNetwork::endImpression(impression, listen("end of the failed start"));
  EXPECT_EQ(heard.back(), "end of the failed start 4 main");
  EXPECT_EQ(heard[heard.size() - 2], "failed start 2 main");

  control.throwOnNextImpressionCall("not now");
  EXPECT_THROW(SKAdNetwork::startImpression(impression, listen("thrown")), std::invalid_argument);
  const auto calls = control.impressionCalls();
  ASSERT_EQ(calls.size(), 6u) << "a throwing call is not recorded";
  EXPECT_EQ(calls[0].method, "startImpression");
  EXPECT_EQ(calls[0].impression, impression);
  EXPECT_TRUE(calls[0].answered);
  EXPECT_EQ(calls[2].error->code, SKANError::ImpressionNotFound);
}

TEST_F(StoreKitAttributionTest, ImpressionCallsExistFromSystem145AndAResetDropsPendingAnswers) {
  for (const auto& [system, answers] : {std::pair{"14.4", false}, std::pair{"14.5", true}}) {
    setSystem(system);
    EXPECT_EQ(SKAdNetwork::respondsToSelector("startImpression:completionHandler:"), answers) << system;
    EXPECT_EQ(SKAdNetwork::respondsToSelector("endImpression:completionHandler:"), answers) << system;
  }
  EXPECT_FALSE(SKAdNetwork::respondsToSelector("updatePostbackConversionValue:completionHandler:"));

  bool answered = false;
  control.setImpressionAnswer({std::nullopt, 100, StoreLoadThread::GlobalQueue});
  SKAdNetwork::startImpression(std::make_shared<SKAdImpression>(), [&](std::optional<Error>) { answered = true; });
  control.resetForTesting();
  env.advance(200);
  EXPECT_FALSE(answered);
  EXPECT_TRUE(control.impressionCalls().empty());
}

class RecordingOverlayDelegate : public SKOverlayDelegate {
 public:
  void storeOverlayDidFailToLoadWithError(const std::shared_ptr<SKOverlay>& o, const Error& error) override {
    add(o, "failed " + error.message);
  }
  void storeOverlayWillStartPresentation(const std::shared_ptr<SKOverlay>& o,
                                         const SKOverlayTransitionContext& c) override {
    add(o, "will present to y " + std::to_string(static_cast<int>(c.endFrame.origin.y)));
  }
  void storeOverlayDidFinishPresentation(const std::shared_ptr<SKOverlay>& o,
                                         const SKOverlayTransitionContext&) override {
    add(o, "presented");
  }
  void storeOverlayWillStartDismissal(const std::shared_ptr<SKOverlay>& o, const SKOverlayTransitionContext&) override {
    add(o, "will dismiss");
  }
  void storeOverlayDidFinishDismissal(const std::shared_ptr<SKOverlay>& o, const SKOverlayTransitionContext&) override {
    add(o, "dismissed");
  }
  std::vector<std::string> lines;

 private:
  void add(const std::shared_ptr<SKOverlay>& o, const std::string& what) {
    lines.push_back(o->configuration()->appIdentifier() + " " + what + (isMainThread() ? "" : " off main"));
  }
};

TEST_F(StoreKitAttributionTest, OverlaysComeAndGoInTheirSceneOnThePlatformClock) {
  auto scene = WindowScene::create();
  auto window = std::make_shared<Window>(Rect::make(0, 0, 390, 844));
  window->setWindowScene(scene);
  auto delegate = std::make_shared<RecordingOverlayDelegate>();
  auto make = [&](const char* app) {
    auto overlay = SKOverlay::initWithConfiguration(std::make_shared<SKOverlayAppConfiguration>(app, 0));
    overlay->setDelegate(delegate);
    return overlay;
  };
  auto first = make("1");
  auto second = make("2");
  const double transition = SKOverlay::kTransitionDurationSeconds * 1000;

  first->presentInScene(scene);
  EXPECT_TRUE(delegate->lines.empty()) << "nothing inside the call";
  EXPECT_EQ(SKOverlay::overlayInScene(scene), first);
  env.runUntilIdle();
  EXPECT_EQ(delegate->lines, std::vector<std::string>{"1 will present to y 754"});
  env.advance(transition);
  EXPECT_EQ(delegate->lines.back(), "1 presented");

  second->presentInScene(scene);  // replaces the first
  env.advance(transition);
  EXPECT_EQ(delegate->lines, (std::vector<std::string>{"1 will present to y 754", "1 presented", "1 will dismiss",
                                                       "2 will present to y 754", "1 dismissed", "2 presented"}));
  delegate->lines.clear();
  second->presentInScene(scene);
  SKOverlay::dismissOverlayInScene(WindowScene::create());  // shows nothing
  SKOverlay::dismissOverlayInScene(scene);
  EXPECT_EQ(SKOverlay::overlayInScene(scene), nullptr);
  env.advance(transition);
  EXPECT_EQ(delegate->lines, (std::vector<std::string>{"2 will dismiss", "2 dismissed"}));

  delegate->lines.clear();
  control.failNextOverlayLoad(Error{"SKErrorDomain", 2, "offline"});
  first->presentInScene(scene);
  env.advance(transition);
  EXPECT_EQ(delegate->lines, std::vector<std::string>{"1 failed offline"});
  EXPECT_EQ(SKOverlay::overlayInScene(scene), nullptr);
  first->presentInScene(nullptr);
  env.advance(transition);
  EXPECT_EQ(delegate->lines.size(), 1u);

  std::vector<std::string> steps;
  for (const auto& r : control.overlayRecords()) {
    const char* where = r.scene.lock() == scene ? "" : " elsewhere";
    steps.push_back(std::string(overlayStepName(r.step)) + " " + r.appIdentifier + where);
  }
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "present asked 1", "will present 1", "presented 1", "present asked 2", "will dismiss 1",
                       "will present 2", "dismissed 1", "presented 2", "present asked 2", "dismiss asked  elsewhere",
                       "dismiss asked 2", "will dismiss 2", "dismissed 2", "present asked 1", "failed to load 1",
                       "present asked 1 elsewhere"}));
}

TEST_F(StoreKitAttributionTest, AResetDropsTheStepsUnderWay) {
  auto scene = WindowScene::create();
  auto delegate = std::make_shared<RecordingOverlayDelegate>();
  auto overlay = SKOverlay::initWithConfiguration(std::make_shared<SKOverlayAppConfiguration>("1", 1));
  overlay->setDelegate(delegate);
  overlay->presentInScene(scene);
  control.resetForTesting();
  env.advance(1000);
  EXPECT_TRUE(delegate->lines.empty());
  EXPECT_EQ(SKOverlay::overlayInScene(scene), nullptr);
}

TEST_F(StoreKitAttributionTest, AnAppConfigurationKeepsWhatIsSetInOrder) {
  SKOverlayAppConfiguration configuration("1460000001", SKOverlayPosition::BottomRaised);
  EXPECT_TRUE(configuration.userDismissible()) << "the platform's default";
  configuration.setAdditionalValue(Json("4.0"), "adNetworkVersion");
  configuration.setAdditionalValue(*Uuid::fromString("68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"), "adNetworkNonce");
  configuration.setAdditionalValue(Json("4.1"), "adNetworkVersion");
  configuration.setCampaignToken("c");
  EXPECT_EQ(dumpJson(configuration.toJson()),
            R"({"appIdentifier":"1460000001","position":1,"userDismissible":true,"campaignToken":"c",)"
            R"("additionalValues":{"adNetworkVersion":"4.1",)"
            R"("adNetworkNonce":"68483EF6-0678-41B1-A2B3-3A2E4B2F5C1D"}})");
  EXPECT_TRUE(std::holds_alternative<Uuid>(*configuration.additionalValueForKey("adNetworkNonce")));
  EXPECT_EQ(configuration.additionalValueForKey("missing"), nullptr);
}

}  // namespace
