// The generic controller-API handler, made through the factory the library
// registers and driven with requests parsed from query texts as the
// dispatcher parses them; a recording publisher shows what reaches the page
// and the listeners (the own network's recording doubles).
#include <gtest/gtest.h>

#include <stdexcept>

#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/test_environment.h"
#include "scriptfeatures/QBNJSConventions.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"

namespace {

using platform::Json;
using Lines = std::vector<std::string>;

// A page that is not ready: only replies holding "forceCommand" = true reach
// it at once; the others are marked as waiting.
class RecordingControllerManager : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& function, const Json& parameters, const std::optional<std::string>& success,
                  const std::optional<std::string>& fail, bool decodeFirst) override {
    runCommand(QBNControllerAPIData(function)
                   .setFunctionParameters(parameters)
                   .setSuccessCallback(success)
                   .setFailCallback(fail)
                   .setEncodingOptions(decodeFirst ? 2 : 0));
  }
  void runCommand(const QBNControllerAPIData& data) override {
    const bool atOnce = data.functionParameters().value("forceCommand", false);
    lines.push_back(std::string(atOnce ? "" : "waits ") + data.functionName() + " " +
                    platform::dumpJson(data.functionParameters()) + " option " +
                    std::to_string(data.encodingOptions()) + (data.successCallback() || data.failCallback() ? " +callbacks" : ""));
  }
  Lines lines;
};

// The handlers' publisher, with this page, a user group, and itself as the
// offerwall's listener.
class RecordingPublisher : public handlertest::FakePublisher,
                           public PMAOfferWallDelegate,
                           public PmaOfferwallDidReceiveNotificationOnEventCall,
                           public std::enable_shared_from_this<RecordingPublisher> {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return page; }
  std::string userGroup() const override { return group; }
  std::shared_ptr<PMAOfferWallDelegate> offerWallDelegate() const override {
    return std::const_pointer_cast<RecordingPublisher>(shared_from_this());
  }
  void pmaOfferwallDidReceiveNotificationOnEvent(const std::string& event, const Json& extData) override {
    if (event == "throws") throw std::runtime_error("listener failed");
    products->add("offerwall " + event + " " + platform::dumpJson(extData));
  }

  std::shared_ptr<RecordingControllerManager> page = std::make_shared<RecordingControllerManager>();
  // Legacy products hear their calls at once, an ad instance's listener on
  // the main queue.
  std::shared_ptr<handlertest::RecordingProductListener> products =
      std::make_shared<handlertest::RecordingProductListener>();
  std::shared_ptr<handlertest::RecordingAdListener> instances = std::make_shared<handlertest::RecordingAdListener>();
  std::string group;
};

const std::string kFeatures =
    R"(["storeKitDismissVCOnFinishCallback","loadStoreKitOncePerAd","webviewperad-v1","SKOverlay",)"
    R"("bannerMultipleInstances","lastUpdateTimeRemoval","qbnFileSystemAPI","SKAdImpression",)"
    R"("bannersOpenMeasurement","handleWebViewTerminated","useWindowOrientationFallback"])";
const std::string kRvSource = R"("demandSourceName":"Rewarded One","demandSourceId":"rv1")";

struct Case {
  const char* label;
  const char* command;
  std::string query;
  std::string configuration;  // getControllerConfig's
  std::string userGroup;
  Lines lines = {};  // what reaches the page
  Lines heard = {};  // what reaches the listeners
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class ControllerApiTest : public ::testing::TestWithParam<Case> {
 protected:
  ControllerApiTest() {
    QBNScriptHandlerFactories::resetForTesting();
    PMADemandSourcesCollection::sharedInstance().resetForTesting();
    auto& sources = PMADemandSourcesCollection::sharedInstance();
    const std::weak_ptr<QBNProductDelegate> listener = publisher->products;
    sources.addDemandSourceWithProductType(
        0, std::make_shared<PMADemandSource>("rv1", "Rewarded One", std::nullopt, listener));
    sources.addDemandSourceWithProductType(1, PMADemandSource::createDemandSourceWithName("is1", std::nullopt, listener));
    // A banner ad instance's demand source, stored under "bn1".
    instance = QuillborneAdInstanceBuilder("banner", publisher->instances).build();
    auto banner = PMADemandSource::createDemandSourceWithAdInstance(instance);
    banner->setIdentifier("bn1");
    sources.addDemandSourceWithProductType(4, banner);
  }
  ~ControllerApiTest() override {
    PMADemandSourcesCollection::sharedInstance().resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
  }

  platform::TestEnvironment env;
  std::shared_ptr<RecordingPublisher> publisher = std::make_shared<RecordingPublisher>();
  std::shared_ptr<QuillborneAdInstance> instance;
};

TEST_P(ControllerApiTest, RepliesAndNotices) {
  const Case& c = GetParam();
  qb::scriptfeatures::registerWithOwnNetwork();
  const auto handler = QBNScriptHandlerFactories::current().jsInterfaceHandler(publisher);
  ASSERT_TRUE(handler);
  publisher->group = c.userGroup;
  const Json request = PMAHelperMethods::dictionaryFromQueryStringParameters(c.query);
  const std::string command = c.command;
  if (command == "getControllerConfig") handler->getControllerConfig(request, c.configuration);
  if (command == "adClicked") handler->adClicked(request);
  if (command == "adLeaveApplication") handler->adLeaveApplication(request);
  if (command == "postAdEventNotification") handler->handleAdEventNotification(request);
  if (command == "sendHttpRequest") handler->sendHTTPRequest(request);
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->lines, c.lines);
  Lines heard = publisher->products->lines;
  heard.insert(heard.end(), publisher->instances->lines.begin(), publisher->instances->lines.end());
  EXPECT_EQ(heard, c.heard);
}

const std::string kConfig = "success=ok&fail=ko";
const std::string kEvent = "success=ok&fail=ko&eventName=shown";

INSTANTIATE_TEST_SUITE_P(
    Table, ControllerApiTest,
    ::testing::Values(
        Case{"EmptyConfigBeforeReady", "getControllerConfig", kConfig, "{}", "",
             {R"(ok {"forceCommand":true,"nativeFeatures":)" + kFeatures + "} option 0"}},
        Case{"UserGroupMerged", "getControllerConfig", kConfig, R"({"a":1,"forceCommand":false})",
             R"({"testerABGroup":"B","testFriendlyName":"Tess"})",
             {R"(ok {"a":1,"forceCommand":true,"testerABGroup":"B","testFriendlyName":"Tess","nativeFeatures":)" +
              kFeatures + "} option 0"}},
        Case{"UserGroupWithMinusOne", "getControllerConfig", kConfig, "{}",
             R"({"testerABGroup":"-1","testFriendlyName":"Tess"})",
             {R"(ok {"forceCommand":true,"nativeFeatures":)" + kFeatures + "} option 0"}},
        Case{"UserGroupLacksKey", "getControllerConfig", kConfig, "{}", R"({"testerABGroup":"B"})",
             {R"(ok {"forceCommand":true,"nativeFeatures":)" + kFeatures + "} option 0"}},
        Case{"UserGroupEmptyValue", "getControllerConfig", kConfig, "{}",
             R"({"testerABGroup":"B","testFriendlyName":""})",
             {R"(ok {"forceCommand":true,"nativeFeatures":)" + kFeatures + "} option 0"}},
        Case{"NoConfig", "getControllerConfig", kConfig, "", "",
             {R"(ko {"errMsg":"handleGetControllerConfig - no config was set","forceCommand":true} option 0)"}},
        Case{"ConfigArray", "getControllerConfig", kConfig, "[1]", "",
             {R"(ko {"errorMsg":"handleGetControllerConfig - failed to parse string controller config","forceCommand":true} option 0)"}},
        Case{"ConfigNotJson", "getControllerConfig", kConfig, "{oops", "",
             {R"(ko {"errorMsg":"handleGetControllerConfig - failed to parse string controller config","forceCommand":true} option 0)"}},
        Case{"NoFailNameDropsReply", "getControllerConfig", "success=ok", "", "", {}},
        Case{"OfferwallAnyCaseEscapedExtData", "postAdEventNotification",
             kEvent + "&productType=oFfErWaLl&extData=%7B%22n%22%3A%22a%2Bb%20c%22%7D", "", "",
             {R"(waits ok {"productType":"oFfErWaLl","eventName":"shown"} option 2)"},
             {R"(offerwall shown {"n":"a+b c"})"}},
        Case{"RewardedVideoAnyCaseBadExtData", "postAdEventNotification",
             kEvent + "&productType=rewardedVIDEO&demandSourceId=rv1&extData=%7Bnope", "", "",
             {R"(waits ok {"productType":"rewardedVIDEO","eventName":"shown",)" + kRvSource + "} option 2"},
             {R"(rvEvent shown {})"}},
        Case{"InterstitialByDsName", "postAdEventNotification", kEvent + "&productType=INTERSTITIAL&dsName=is1",
             "", "",
             {R"(waits ok {"productType":"INTERSTITIAL","eventName":"shown","demandSourceName":"is1","demandSourceId":"is1"} option 2)"},
             {R"(isEvent shown {})"}},
        Case{"BannerInstanceOnMain", "postAdEventNotification",
             kEvent + "&productType=banner&demandSourceId=bn1&extData=%7B%22k%22%3A2%7D", "", "",
             {R"(waits ok {"productType":"banner","eventName":"shown","demandSourceName":"banner","demandSourceId":"bn1"} option 2)"},
             {R"(event shown {"k":2} {"productType":"Banner"})"}},
        Case{"UnknownDemandSource", "postAdEventNotification", kEvent + "&productType=Banner&demandSourceName=zz",
             "", "", {R"(waits ok {"productType":"Banner","eventName":"shown"} option 2)"}},
        Case{"UnknownProduct", "postAdEventNotification", kEvent + "&productType=Video", "", "",
             {R"(waits ko {"errMsg":"failed to find product type"} option 0)"}},
        Case{"NoEventName", "postAdEventNotification", "fail=ko&productType=Banner", "", "",
             {R"(waits ko {"errMsg":"missing params to handle product notification"} option 0)"}},
        Case{"ListenerThrows", "postAdEventNotification", "fail=ko&eventName=throws&productType=OfferWall", "", "",
             {R"(waits ko {"errMsg":"exception recevied while trying to handler product notification"} option 0)"}},
        Case{"ClickCanonicalName", "adClicked", "fail=ko&productType=rewardedvideo&demandSourceId=rv1", "", "", {},
             {"rvClicked"}},
        Case{"LeaveByName", "adLeaveApplication", "fail=ko&productType=Banner&demandSourceName=bn1", "", "", {},
             {R"(leave {"productType":"Banner"})"}},
        Case{"ClickUnknownSource", "adClicked", "fail=ko&productType=Banner&demandSourceId=zz", "", "", {}, {}},
        Case{"ClickOfferwall", "adClicked", "fail=ko&productType=OfferWall&demandSourceId=rv1", "", "", {}, {}},
        Case{"ClickUnknownProduct", "adClicked", "fail=ko&productType=Video&demandSourceId=rv1", "", "",
             {R"(waits ko {"errMsg":"failed to find product type"} option 0)"}},
        Case{"ClickWithoutProduct", "adClicked", "fail=ko&demandSourceId=rv1", "", "", {}, {}},
        Case{"HttpRequestWithoutIdentifier", "sendHttpRequest", "success=ok&fail=ko&url=http%3A%2F%2Fa", "", "",
             {R"(waits ko {"errMsg":"unable to create request object","status":"requestError"} option 1)"}, {}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.label); });

TEST(ScriptRequestTest, FunctionParamsAreOneEscapedObject) {
  const auto params = [](const std::string& query) {
    return QBNJSConventions::functionParams(PMAHelperMethods::dictionaryFromQueryStringParameters(query));
  };
  EXPECT_EQ(params("functionParams=%7B%22a%22%3A%22x+y%22%7D"), Json({{"a", "x y"}}));
  EXPECT_EQ(params("functionParams=%5B1%5D"), Json::object());
  EXPECT_EQ(params("functionName=f"), Json::object());
}

}  // namespace
