// The bridge's command scripts: their exact bytes, their arrival in the
// project's service script with every argument intact (hostile texts
// included), the configuration JSON, and the road of commands to a web view
// (main thread, in order) from another thread.
#include <atomic>
#include <thread>

#include "measurement/bridge/OMIDQuilbrnBridge.h"
#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"
#include "measurement/session/OMIDQuilbrnVASTProperties.h"
#include "measurement_support.h"
#include "platform/web/web_view.h"

namespace measurementtest {
namespace {

using platform::Json;

std::string command(const std::string& call) {
  return "(function(){if(this.omidBridge!==undefined){this.omidBridge." + call + "}})()";
}

std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration(unsigned creative, unsigned impression,
                                                                 unsigned owner, unsigned mediaOwner) {
  return OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(creative, impression, owner, mediaOwner, false,
                                                                 nullptr);
}

// The hostile error message of these tests: every character the escaping
// handles, and others a script string must keep.
const std::string kHostileMessage = std::string("it's a \"quote\", a back\\slash\nnew line\r\nand CR ') ; x=1; (' ") +
                                    "\xE2\x80\xA8 \xE2\x80\xA9 </script> \xF0\x9F\x98\x80 " + std::string("nul\0end", 7) +
                                    " \\' \\\" \\\\";

TEST(OMIDQuilbrnCommandBytes, EveryCommandAsTheBridgeSendsIt) {
  auto executor = std::make_shared<RecordingExecutor>(true);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  bridge->publishInitWithConfiguration(*configuration(2, 6, 2, 0));
  bridge->publishStartEventWithAdSessionId("S-1", Json{{"environment", "app"}}, Json{{"vendor-a", "p"}},
                                           Json{{"ID", {{"vendorKey", "vendor-a"}}}});
  bridge->publishStartEventWithAdSessionId("S-2", Json{{"environment", "app"}}, std::nullopt, Json::object());
  bridge->publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, "it's \"q\" \\ \n \r");
  bridge->publishErrorWithType(OMIDQuilbrnErrorTypeVideo, "");
  bridge->publishFinishEvent();
  bridge->publishImpressionEvent();
  bridge->publishLoadedEvent();
  bridge->publishLoadedEventWithVastProperties(OMIDQuilbrnVASTProperties::initWithSkipOffset(5.5, true, 0));
  bridge->publishMediaEventWithName("start", Json{{"duration", 10}, {"mediaPlayerVolume", 0.5}});
  bridge->publishMediaEventWithName("firstQuartile", std::nullopt);
  bridge->publishCommand(OMIDQuilbrnCommand::commandWithName("setState", {OMIDQuilbrnCommand::stringWithQuotesFromString("backgrounded")}));

  const std::vector<std::string> expected = {
      command(R"(init({"impressionOwner":"native","creativeType":"htmlDisplay","impressionType":"viewable","mediaEventsOwner":"none","isolateVerificationScripts":false}))"),
      command(R"(startSession('S-1',{"environment":"app"},{"vendor-a":"p"},{"ID":{"vendorKey":"vendor-a"}}))"),
      command(R"(startSession('S-2',{"environment":"app"}))"),
      command(R"(error('generic','it\'s \"q\" \\ \n \r'))"),
      command(R"(error('video',''))"),
      command("finishSession()"),
      command("publishImpressionEvent()"),
      command("publishLoadedEvent()"),
      command(R"(publishLoadedEvent({"skippable":true,"skipOffset":5.5,"autoPlay":true,"position":"preroll"}))"),
      command(R"(publishMediaEvent('start',{"duration":10,"mediaPlayerVolume":0.5}))"),
      command("publishMediaEvent('firstQuartile')"),
      command("setState('backgrounded')"),
  };
  EXPECT_EQ(executor->scripts(), expected);
  EXPECT_EQ(OMIDQuilbrnCommand::commandWithName("finishSession"),
            "(function(){if(this.omidBridge!==undefined){this.omidBridge.finishSession()}})()");
}

TEST(OMIDQuilbrnCommandBytes, EncodingsAndTheirEdges) {
  EXPECT_EQ(OMIDQuilbrnCommand::escapedString("a'b\"c\\d\ne\rf"), R"('a\'b\"c\\d\ne\rf')");
  // Each replacement works on the text the previous one left: a backslash is
  // doubled before the quotes gain theirs.
  EXPECT_EQ(OMIDQuilbrnCommand::escapedString("\\'"), R"('\\\'')");
  // Identifiers stand as they are; a quote in one can no longer end the literal.
  EXPECT_EQ(OMIDQuilbrnCommand::stringWithQuotesFromString("backgrounded"), "'backgrounded'");
  EXPECT_EQ(OMIDQuilbrnCommand::stringWithQuotesFromString("x'y"), R"('x\'y')");
  EXPECT_EQ(OMIDQuilbrnCommand::stringFromArguments({"", "a", "", "b"}), "a,,b");
  EXPECT_EQ(OMIDQuilbrnCommand::commandWithName("f", {"1", std::nullopt, "3"}), command("f(1)"));
  EXPECT_EQ(OMIDQuilbrnCommand::getStringError(2), "video");
  EXPECT_EQ(OMIDQuilbrnCommand::getStringError(1), "generic");
  EXPECT_EQ(OMIDQuilbrnCommand::getStringError(0), "generic");

  EXPECT_EQ(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json{{"a", 1}}), R"({"a":1})");
  EXPECT_EQ(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json::array({1, "x"})), R"([1,"x"])");
  EXPECT_FALSE(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json("text")));
  EXPECT_FALSE(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json{{"n", std::nan("")}}));
  EXPECT_FALSE(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json{{"deep", {{"i", INFINITY}}}}));
  EXPECT_FALSE(OMIDQuilbrnDictionaryUtil::stringFromJSON(Json{{"s", "\xFF"}}));
}

TEST(OMIDQuilbrnCommandBytes, UnwritableJsonSendsTheErrorCommandInstead) {
  auto executor = std::make_shared<RecordingExecutor>(true);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  const Json nan = Json{{"x", std::nan("")}};
  bridge->publishStartEventWithAdSessionId("S", nan, Json::object(), Json::object());
  bridge->publishStartEventWithAdSessionId("S", Json::object(), nan, Json::object());
  bridge->publishMediaEventWithName("volumeChange", nan);
  EXPECT_EQ(executor->scripts(), (std::vector<std::string>{
                                     command(R"(error('generic','Bad context for OMID start event'))"),
                                     command(R"(error('generic','Bad verification parameters for OMID start event'))"),
                                     command(R"(error('generic','Bad parameters for \'volumeChange\' event'))")}));
}

TEST(OMIDQuilbrnCommandBytes, ConfigurationJsonInBothForms) {
  auto five = configuration(4, 3, 1, 2);
  EXPECT_EQ(OMIDQuilbrnBridge::configurationJSON(*five),
            (Json{{"impressionOwner", "javascript"}, {"creativeType", "video"}, {"impressionType", "loaded"},
                  {"mediaEventsOwner", "native"}, {"isolateVerificationScripts", false}}));
  five->setCreativeType(0);
  five->setIsolateVerificationScripts(true);
  EXPECT_EQ(OMIDQuilbrnBridge::configurationJSON(*five),
            (Json{{"impressionOwner", "javascript"}, {"videoEventsOwner", "native"}, {"isolateVerificationScripts", true}}));
  // Unknown values take the fallback texts.
  EXPECT_EQ(OMIDQuilbrnBridge::getStringOwner(9), "none");
  EXPECT_EQ(OMIDQuilbrnBridge::getStringCreativeType(6), "definedByJavaScript");
  EXPECT_EQ(OMIDQuilbrnBridge::getStringImpressionType(0), "definedByJavaScript");
}

// Every command the bridge sends reaches the service script's omidBridge with
// its arguments as the native side gave them.
TEST(OMIDQuilbrnServiceScript, EveryCommandArrivesWithItsArgumentsIntact) {
  auto executor = std::make_shared<RecordingExecutor>(true);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  const Json context = {{"environment", "app"}, {"customReferenceData", kHostileMessage}, {"n", 1.25}};
  const Json parameters = {{"vendor-a", "{\"beaconUrl\":\"http://x/b?q='1'\"}"}};
  const Json injected = {{"ID-1", {{"vendorKey", "vendor-a"}, {"resourceUrl", "https://v/a.js"}}}};
  const Json media = {{"duration", 30}, {"mediaPlayerVolume", 1}, {"deviceVolume", 0.25}, {"text", kHostileMessage}};
  const auto vast = OMIDQuilbrnVASTProperties::initWithAutoPlay(true, 3);

  struct Expected {
    std::string command;
    Json args;
  };
  std::vector<Expected> expected;
  bridge->publishInitWithConfiguration(*configuration(3, 8, 1, 2));
  expected.push_back({"init", Json::array({OMIDQuilbrnBridge::configurationJSON(*configuration(3, 8, 1, 2))})});
  bridge->publishLoadedEventWithVastProperties(vast);  // before the start: kept, handed out after it
  expected.push_back({"publishLoadedEvent", Json::array({vast.toJSON()})});
  bridge->publishStartEventWithAdSessionId("S-1", context, parameters, injected);
  expected.push_back({"startSession", Json::array({"S-1", context, parameters, injected})});
  bridge->publishImpressionEvent();
  expected.push_back({"publishImpressionEvent", Json::array()});
  bridge->publishLoadedEvent();
  expected.push_back({"publishLoadedEvent", Json::array()});
  bridge->publishMediaEventWithName("start", media);
  expected.push_back({"publishMediaEvent", Json::array({"start", media})});
  bridge->publishMediaEventWithName("pause", std::nullopt);
  expected.push_back({"publishMediaEvent", Json::array({"pause"})});
  bridge->publishErrorWithType(OMIDQuilbrnErrorTypeVideo, kHostileMessage);
  expected.push_back({"error", Json::array({"video", kHostileMessage})});
  bridge->publishCommand(OMIDQuilbrnCommand::commandWithName("setNativeViewHierarchy", {R"({"x":0,"childViews":[]})"}));
  expected.push_back({"setNativeViewHierarchy", Json::array({Json{{"x", 0}, {"childViews", Json::array()}}})});
  bridge->publishCommand(OMIDQuilbrnCommand::commandWithName("setState", {"'backgrounded'"}));
  expected.push_back({"setState", Json::array({"backgrounded"})});
  bridge->publishCommand(OMIDQuilbrnCommand::commandWithName("setDeviceVolume", {"0.50"}));
  expected.push_back({"setDeviceVolume", Json::array({0.5})});
  bridge->publishCommand(OMIDQuilbrnCommand::commandWithName("setLastActivity", {R"({"timestamp":1500})"}));
  expected.push_back({"setLastActivity", Json::array({Json{{"timestamp", 1500}}})});
  bridge->publishFinishEvent();
  expected.push_back({"finishSession", Json::array()});

  auto service = serviceContext();
  const auto scripts = executor->scripts();
  ASSERT_EQ(scripts.size(), expected.size());
  for (size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE(scripts[i].substr(0, 200));
    const auto outcome = service->evaluate(scripts[i]);
    ASSERT_TRUE(outcome.ok()) << outcome.description;
    const Json record = scriptJson(*service, "omidService.record()");
    ASSERT_EQ(record.size(), i + 1);
    EXPECT_EQ(record.back()["command"], expected[i].command);
    EXPECT_EQ(record.back()["args"], expected[i].args);
  }
  // The events the service kept: the loaded event published before the start
  // follows "sessionStart"; nothing comes after "sessionFinish".
  Json types = Json::array();
  for (const auto& e : scriptJson(*service, "omidService.events()")) types.push_back(e["type"]);
  EXPECT_EQ(types, Json::parse(R"(["sessionStart","loaded","impression","loaded","media","media","error",
                                   "geometry","state","volume","activity","sessionFinish"])"));
  // The same commands where no service script was loaded do nothing.
  auto bare = platform::ScriptContext::create();
  for (const auto& script : scripts) EXPECT_TRUE(bare->evaluate(script).ok());
}

// JSON arguments arrive as the value JSON.parse gives: a key "__proto__" in a
// context, verification parameters or media parameters (from an ad response)
// is an own member at any depth and never becomes an object's prototype.
TEST(OMIDQuilbrnServiceScript, AProtoKeyInAJsonArgumentArrivesAsData) {
  auto executor = std::make_shared<RecordingExecutor>(true);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  const Json context = Json::parse(R"({"environment":"app","__proto__":{"isAdmin":true}})");
  const Json parameters = Json::parse(R"({"vendor-a":{"__proto__":{"beaconUrl":"http://x/b"},"x":1}})");
  const Json media = Json::parse(R"({"duration":3,"list":[{"__proto__":{"deep":true}}]})");
  bridge->publishStartEventWithAdSessionId("S-1", context, parameters, Json::object());
  bridge->publishMediaEventWithName("start", media);

  auto script = platform::ScriptContext::create();
  ASSERT_TRUE(script
                  ->evaluate("var calls = []; this.omidBridge = {"
                             "  startSession: function () { calls.push([].slice.call(arguments)); },"
                             "  publishMediaEvent: function () { calls.push([].slice.call(arguments)); } };")
                  .ok());
  for (const auto& command : executor->scripts()) ASSERT_TRUE(script->evaluate(command).ok()) << command;
  const auto own = [&](const std::string& expression) {
    return scriptJson(*script, "var o = " + expression +
                                   "; [Object.prototype.hasOwnProperty.call(o, '__proto__'),"
                                   " Object.getPrototypeOf(o) === Object.prototype, o['__proto__']]");
  };
  EXPECT_EQ(own("calls[0][1]"), Json::parse(R"([true, true, {"isAdmin":true}])"));
  EXPECT_EQ(own("calls[0][2]['vendor-a']"), Json::parse(R"([true, true, {"beaconUrl":"http://x/b"}])"));
  EXPECT_EQ(own("calls[1][1].list[0]"), Json::parse(R"([true, true, {"deep":true}])"));
  EXPECT_EQ(scriptJson(*script, "calls[0][1]"), context);
  EXPECT_EQ(scriptJson(*script, "calls[0][2]"), parameters);
  EXPECT_EQ(scriptJson(*script, "calls[1][1]"), media);
}

// HTML sessions: the commands run in the ad's page, which carries the
// service script; once the web view is gone they go nowhere.
TEST(OMIDQuilbrnWebViewExecutor, CommandsRunInThePageUntilTheWebViewIsGone) {
  platform::TestEnvironment env;
  auto webView = std::make_shared<platform::WebView>();
  webView->loadHTMLString("<script>" + qbtest::measurementServiceScript() + "</script>", "https://ads.example/ad.html");
  env.runUntilIdle();
  auto executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithWebView(webView);
  ASSERT_TRUE(executor);
  EXPECT_FALSE(executor->supportBackgroundThread());
  EXPECT_EQ(executor->jsEnvironment().webView, webView);
  EXPECT_FALSE(OMIDQuilbrnJSExecutorFactory::JSExecutorWithWebView(nullptr));
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  bridge->publishStartEventWithAdSessionId("S-W", Json{{"environment", "app"}}, Json::object(), Json::object());
  bridge->publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, kHostileMessage);
  env.runUntilIdle();
  std::optional<platform::ScriptEvaluation> record;
  webView->evaluateJavaScript("omidService.record()", [&](const platform::ScriptEvaluation& r) { record = r; });
  env.runUntilIdle();
  ASSERT_TRUE(record && record->ok());
  ASSERT_EQ(record->value.size(), 2u);
  EXPECT_EQ(record->value[1]["args"], Json::array({"generic", kHostileMessage}));
  std::weak_ptr<platform::WebView> watch = webView;
  webView.reset();
  EXPECT_TRUE(watch.expired());  // the executor held it weakly
  bridge->publishFinishEvent();
  env.runUntilIdle();
  EXPECT_FALSE(executor->jsEnvironment().webView);
}

// A web view executor receives every command on the main thread, in the order
// it was published, also when published from another thread (real mode).
TEST(OMIDQuilbrnBridgeRealMode, CommandsForAWebViewReachTheMainThreadInOrder) {
  platform::runMainUntil([] { return true; }, 0);
  auto executor = std::make_shared<RecordingExecutor>(false);
  auto bridge = OMIDQuilbrnBridge::initWithJSExecutor(executor);
  bridge->publishImpressionEvent();  // on main: at once
  ASSERT_EQ(executor->scripts().size(), 1u);
  constexpr int kCommands = 100;
  std::thread publisher([&] {
    for (int i = 0; i < kCommands; ++i) bridge->publishMediaEventWithName("e" + std::to_string(i), std::nullopt);
    platform::mainQueue()->async([] {});
  });
  ASSERT_TRUE(platform::runMainUntil([&] { return executor->scripts().size() == kCommands + 1; }, 10'000));
  publisher.join();
  const auto scripts = executor->scripts();
  for (int i = 0; i < kCommands; ++i) {
    EXPECT_EQ(scripts[i + 1], command("publishMediaEvent('e" + std::to_string(i) + "')"));
  }
  for (bool onMain : executor->onMain()) EXPECT_TRUE(onMain);
}

}  // namespace
}  // namespace measurementtest
