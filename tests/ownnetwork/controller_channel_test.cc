// The native-to-page command channel: exact script lines, and what the
// project's controller page receives of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "ownnetwork/controller_test_support.h"
#include "ownnetwork/web/PMWVWKWebView.h"

namespace {

using platform::Json;

struct LineCase {
  const char* label;
  std::string name;
  Json params;
  std::optional<std::string> success;
  std::optional<std::string> fail;
  int option;
  std::string line;
};

const Json kNested = Json::parse(R"({"demandSourceName":"is 1","n":1,"on":true,"nested":{"url":"a&b=c"},"list":["x y"]})");

TEST(ControllerCommandBuilderTest, BuildsExactLines) {
  const std::string run = "PMA_CORE.SDKController.runFunction(";
  const LineCase cases[] = {
      {"plain values, both callbacks", "loadInterstitial", kNested, "ok", "ko", 0,
       run + R"(`loadInterstitial?parameters={"demandSourceName":"is 1","n":1,"on":true,"nested":{"url":"a&b=c"},"list":["x y"]}`, `ok`, `ko`))"},
      {"strings escaped at every depth, arrays and numbers kept", "loadInterstitial", kNested, "ok", "ko", 1,
       run + R"(`loadInterstitial?parameters={"demandSourceName":"is%201","n":1,"on":true,"nested":{"url":"a%26b%3Dc"},"list":["x y"]}`, `ok`, `ko`))"},
      {"decoded first: escaped input gives option 1's text", "loadInterstitial",
       Json::parse(R"({"demandSourceName":"is%201","n":1,"on":true,"nested":{"url":"a%26b%3Dc"},"list":["x y"]})"), "ok",
       "ko", 2,
       run + R"(`loadInterstitial?parameters={"demandSourceName":"is%201","n":1,"on":true,"nested":{"url":"a%26b%3Dc"},"list":["x y"]}`, `ok`, `ko`))"},
      {"decoding reads + as a space", "f", Json{{"q", "a+b"}}, std::nullopt, std::nullopt, 2,
       run + R"(`f?parameters={"q":"a%20b"}`))"},
      {"only a success name: no callback part", "f", Json{{"k", "v"}}, "ok", std::nullopt, 0,
       run + R"(`f?parameters={"k":"v"}`))"},
      {"only a fail name: no callback part", "f", Json::object(), std::nullopt, "ko", 0, run + "`f`)"},
      {"empty names count as given", "f", Json::object(), "", "", 0, run + "`f`, ``, ``)"},
      {"no parameters", "getDeviceStatus", Json(), std::nullopt, std::nullopt, 0, run + "`getDeviceStatus`)"},
      {"template-literal characters escaped", "echo", Json{{"v", "q\"b\\n\nt`d${x}$y"}}, "s`1", "f${2}", 0,
       run + R"x(`echo?parameters={"v":"q\\"b\\\\n\\nt\`d\${x}$y"}`, `s\`1`, `f\${2}`))x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    QBNControllerAPIData data(c.name);
    data.setFunctionParameters(c.params).setSuccessCallback(c.success).setFailCallback(c.fail).setEncodingOptions(c.option);
    EXPECT_EQ(QBNControllerAPICommandBuilder::buildCommandFromData(data, c.option), c.line);
  }
}

TEST(ControllerCommandBuilderTest, ExtractsTheDemandSourceId) {
  const std::pair<Json, std::optional<std::string>> cases[] = {
      {Json{{"demandSourceId", "id1"}, {"demandSourceName", "name1"}}, "id1"},
      {Json{{"demandSourceName", "name1"}}, "name1"},
      {Json{{"demandSourceId", 7}}, "7"},
      {Json{{"other", "x"}}, std::nullopt},
      {Json::array(), std::nullopt},
  };
  for (const auto& [dictionary, id] : cases) {
    EXPECT_EQ(ControllerAPIUtils::extractDemandSourceIdFromDictionary(dictionary), id) << dictionary.dump();
  }
}

// The fallback answers under the fail name with every parameter as the text
// a query would carry, "errCode" and "errMsg" replaced; values holding "&" or
// "=" stay whole.
TEST(NativeControllerTest, AnswersUnderTheFailName) {
  struct Recorder : QBNControllerDelegate, QBNNativeControllerDelegate {
    std::vector<std::pair<std::string, Json>> answers;
    void handleInitControllerCallBack(bool, const Json&, const std::optional<platform::Error>&) override {}
    void handlePlovermarkCallbackWithCommand(const std::string& command, const Json& parameters) override {
      answers.emplace_back(command, parameters);
    }
  };
  auto recorder = std::make_shared<Recorder>();
  QBNNativeController native;
  native.setControllerDelegate(recorder);
  native.setFailedControllerReason("OS version 9.0 not supported");
  QBNControllerAPIData data("loadInterstitial");
  data.setFunctionParameters(Json::parse(R"({"url":"https://a.test/?x=1&y=2","errCode":5,"n":1.5,"on":true,"o":{"k":[1]}})"))
      .setSuccessCallback("ok")
      .setFailCallback("ko");
  native.runCommand(data);
  native.runCommand(QBNControllerAPIData("noFailName").setSuccessCallback("ok"));
  ASSERT_EQ(recorder->answers.size(), 1u);
  EXPECT_EQ(recorder->answers[0].first, "ko");
  EXPECT_EQ(recorder->answers[0].second,
            Json::parse(R"({"url":"https://a.test/?x=1&y=2","errCode":"1007","n":"1.5","on":"1","o":"{\"k\":[1]}",
                            "errMsg":"OS version 9.0 not supported"})"));
}

class ControllerChannelTest : public qbtest::ControllerTest {
 protected:
  // The controller dispatcher's console lines (level, text) while `act` runs.
  std::vector<std::pair<int, std::string>> dispatcherLines(const std::function<void()>& act) {
    std::vector<std::pair<int, std::string>> lines;
    PlovermarkLogManager::setConsoleWriterForTesting(nullptr);
    QBLoggerManager::sharedInstance().setConsoleSink([&lines](int level, const std::string& line) {
      if (line.find("QBNControllerAPIDispatcher") != std::string::npos) lines.emplace_back(level, line);
    });
    act();
    QBLoggerManager::sharedInstance().setConsoleSink(nullptr);
    return lines;
  }
};

// Values that a template literal or a URL would alter reach the page exactly;
// the page echoes what it received and the test reads the echo back.
TEST_F(ControllerChannelTest, HostileValuesReachThePageIntact) {
  start();
  settle();
  ASSERT_EQ(manager->controllerState(), QBNControllerState::Ready);
  const std::string hostile = "quote\" back\\slash\\n new\nline tick` dollar${1+1} %41 & = + \xc3\xa9";
  const Json params = {{"text", hostile}, {"nested", {{"inner", hostile}}}, {"n", 3}};
  struct Case {
    bool decodeFirst;
    int option;
    std::string expected;  // the text the page holds for a string value
  };
  const Case cases[] = {
      {false, 0, hostile},
      {false, 1, PMAHelperMethods::encodeToPercentEscapeString(hostile)},
      {true, 2, PMAHelperMethods::encodeToPercentEscapeString(PMAHelperMethods::decodeFromPercentEscapeString(hostile))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    publisher->clear();
    QBNControllerAPIData data("echo");
    data.setFunctionParameters(params).setSuccessCallback("echoSuccess").setFailCallback("echoFail");
    data.setEncodingOptions(c.option);
    manager->runCommand(data);
    env.runUntilIdle();
    const auto answers = publisher->of("page");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].command, "echoSuccess");
    EXPECT_EQ(answers[0].params["text"], c.expected);
    EXPECT_EQ(Json::parse(answers[0].params["nested"].get<std::string>())["inner"], c.expected);
    EXPECT_EQ(answers[0].params["n"], "3");
  }
}

// A command the page's entry point throws on is logged as a warning with the
// command's name and the page's exception, whatever the own network's debug
// mode; the page answers nothing, so what waits for it still ends at its
// time-out. A command the page runs is not logged.
TEST_F(ControllerChannelTest, ACommandThePageThrowsOnIsLoggedWithItsNameAndTheException) {
  start(Json{{"commands", {{"initBanner", {{"answer", "throw"}, {"errMsg", "no banner 'b1' here"}}}}}});
  settle();
  ASSERT_EQ(manager->controllerState(), QBNControllerState::Ready);
  const auto warnings = dispatcherLines([&] {
    send("initBanner", {{"demandSourceName", "b1"}});
    send("showInterstitial", {{"demandSourceName", "is1"}});
    env.runUntilIdle();
  });

  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].first, 2);
  EXPECT_EQ(warnings[0].second.rfind("QBNControllerAPIDispatcher | the controller page failed to run the command "
                                     "initBanner: Error: no banner 'b1' here (line ",
                                     0),
            0u)
      << warnings[0].second;
  const auto answers = publisher->of("page");
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].command, "showInterstitialSuccess");
}

// A command the page is stopped at while it runs it, at its time limit or its
// memory bound, is logged as a warning with the command's name and the limit
// (the page is gone, so nothing else would tell of it). Each case's other
// limit is far off, so that only the one it names can stop the page (a page
// hoarding memory on a busy machine, under the address sanitizer, ran past a
// 300 ms limit before it reached the bound).
TEST_F(ControllerChannelTest, ACommandThePageIsStoppedAtALimitOnIsLoggedWithItsName) {
  struct Case {
    const char* answer;
    std::string limit;
    double timeLimitMs;
  };
  for (const Case& c :
       {Case{"spin", "ran past the time limit", 300}, Case{"hoard", "held more memory than it may", 60'000}}) {
    SCOPED_TRACE(c.answer);
    manager.reset();
    PMWVWKWebView::setScriptLimitsForTesting(c.timeLimitMs, size_t{128} << 20);
    publisher->webView = makeControllerWebView();
    PMWVWKWebView::setScriptLimitsForTesting(0, 0);
    start(Json{{"commands", {{"initBanner", {{"answer", c.answer}}}}}});
    settle();
    ASSERT_EQ(manager->controllerState(), QBNControllerState::Ready);
    const auto warnings = dispatcherLines([&] {
      send("initBanner", {{"demandSourceName", "b1"}});
      env.runUntilIdle();
    });

    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].first, 2);
    const std::string prefix =
        "QBNControllerAPIDispatcher | the controller page failed to run the command initBanner: ";
    EXPECT_EQ(warnings[0].second.rfind(prefix, 0), 0u) << warnings[0].second;
    EXPECT_NE(warnings[0].second.find(c.limit, prefix.size()), std::string::npos) << warnings[0].second;
  }
}

// The page answers product commands as the sandbox told it: a delayed no
// fill, never, or at once with success.
TEST_F(ControllerChannelTest, PageAnswersAsItsBehaviourSays) {
  const Json noFill = {{"answer", "fail"}, {"errCode", "1010"}, {"errMsg", "No fill"}, {"delayMs", 500}};
  start(Json{{"commands", {{"loadInterstitial", noFill}, {"initBanner", {{"answer", "none"}}}}}});
  settle();
  const Json is1 = {{"demandSourceName", "is1"}};
  for (const char* name : {"loadInterstitial", "initBanner", "showInterstitial"}) send(name, is1);
  env.runUntilIdle();
  const auto answers = [this] {
    std::vector<std::string> out;
    for (const auto& a : publisher->of("page")) out.push_back(a.command + " " + a.params.dump());
    return out;
  };
  EXPECT_EQ(answers(), std::vector<std::string>{R"(showInterstitialSuccess {"demandSourceName":"is1"})"});
  env.advance(500);
  EXPECT_EQ(answers(), (std::vector<std::string>{
                           R"(showInterstitialSuccess {"demandSourceName":"is1"})",
                           R"(loadInterstitialFail {"demandSourceName":"is1","errCode":"1010","errMsg":"No fill"})"}));
}

// The page's own requests: it asks, the native side answers its success
// function, and the page's callback hears the answer.
TEST_F(ControllerChannelTest, PageRequestsAreAnsweredThroughTheirCallbacks) {
  start();
  settle();
  page("PMA_CORE.ask('getDeviceStatus', {a: 'b c'}, function (ok, p) { window.answer = {ok: ok, p: p}; })");
  const auto asks = publisher->of("page");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(asks[0].command, "getDeviceStatus");
  EXPECT_EQ(asks[0].params["a"], "b c");
  const std::string success = asks[0].params["success"];
  manager->runCommand(success, Json{{"battery", "80%"}}, std::nullopt, std::nullopt, true);
  env.runUntilIdle();
  EXPECT_EQ(page("window.answer"), Json::parse(R"({"ok":true,"p":{"battery":"80%25"}})"));
  // A callback runs once; its twin is gone with it.
  manager->runCommand(asks[0].params["fail"].get<std::string>(), Json::object(), std::nullopt, std::nullopt, true);
  env.runUntilIdle();
  EXPECT_EQ(page("window.answer.ok"), true);
}

}  // namespace
