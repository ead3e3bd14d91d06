// The page's measurement command ("omidAPI") through its handler and the
// own network's measurement manager, with real ad-unit web views and the
// measurement SDK: every answer and failure text, the lookup tables, one
// answer per request on that request's own callbacks, and the session of an
// ad view that leaves the screen.
#include <string>

#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "presentation/QBNAdViewsManager.h"
#include "scriptfeatures/measurement/QBNOMIDJSInterface.h"
#include "scriptfeatures_test_support.h"

namespace sftest {
namespace {

// An "omidAPI" command as the dispatcher hands it over: "omidParams" as the
// escaped JSON text of `params` (left out when null).
Json omidRequest(const std::string& function, const Json& params = nullptr, const std::string& success = "ok",
                 const std::string& fail = "ko") {
  Json request = {{"omidFunction", function}, {"success", success}, {"fail", fail}};
  if (!params.is_null()) {
    request["omidParams"] = PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(params));
  }
  return request;
}

Json sessionParams(const std::string& adViewId, Json more = Json::object()) {
  Json params = {{"adViewId", adViewId}, {"impressionOwner", "native"}, {"videoEventsOwner", "none"},
                 {"creativeType", "htmlDisplay"}, {"impressionType", "beginToRender"}};
  for (const auto& [key, value] : more.items()) params[key] = value;
  return params;
}

Json omidData(std::vector<std::string> ids) {
  Json data = QBNOMIDManager::getOmidLibInfo();
  data["omidActiveAdSessions"] = Json(ids);
  return data;
}

class OmidTest : public ScriptFeatureTest {
 protected:
  OmidTest() {
    reset();
    handler = QBNOMIDJSInterface::initWithPublisherAgent(publisher);  // the manager's delegate
  }
  ~OmidTest() override {
    env.runUntilIdle();
    reset();
  }
  static void reset() {
    QBNAdViewsManager::sharedManager().resetForTesting();
    QBNOMIDManager::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
  }

  // Runs a command and everything it starts; what the page received.
  std::vector<Reply> run(const Json& request) {
    handler->invokeAPIWithParams(request);
    env.runUntilIdle();
    return publisher->page->take();
  }
  void activate() { ASSERT_EQ(run(omidRequest("activate")).size(), 1u); }
  // A registered ad-unit web view under the id.
  void placeAdView(const std::string& id) {
    std::optional<platform::Error> failure;
    QBNAdViewsManager::sharedManager().loadUrlWithParams(
        QBNAdViewLoadParams(Json{{"adViewId", id}, {"urlForWebView", "about:blank"}}), {},
        [&](const std::optional<platform::Error>& error) { failure = error; });
    env.runUntilIdle();
    ASSERT_TRUE(QBNAdViewsManager::sharedManager().getAdUnitWebViewById(id));
  }
  static Reply ok(const Json& params) { return Reply{"ok", params, 1}; }
  static Reply ko(const std::string& message, std::optional<std::string> adViewId) {
    Json params = {{"errMsg", message}};
    if (adViewId) params["adViewId"] = *adViewId;
    return Reply{"ko", params, 1};
  }

  std::shared_ptr<QBNOMIDJSInterface> handler;
};

// Before any "activate" every session sub-command is refused; "activate"
// answers with the OMID data every time; getOmidData lists the sessions
// started and not finished.
TEST_F(OmidTest, EverySubCommandAnswersAsTabled) {
  placeAdView("a1");
  placeAdView("a2");
  const std::string notActivated = "OMID has not been activated";
  EXPECT_EQ(run(omidRequest("startSession", sessionParams("a1"))), std::vector<Reply>{ko(notActivated, "a1")});
  EXPECT_EQ(run(omidRequest("impressionOccurred", {{"adViewId", "a1"}})), std::vector<Reply>{ko(notActivated, "a1")});
  EXPECT_EQ(run(omidRequest("finishSession", {{"adViewId", "a1"}})), std::vector<Reply>{ko(notActivated, "a1")});
  EXPECT_EQ(run(omidRequest("getOmidData")), std::vector<Reply>{ok(omidData({}))});

  EXPECT_EQ(run(omidRequest("activate")), std::vector<Reply>{ok(omidData({}))});
  EXPECT_EQ(run(omidRequest("activate")), std::vector<Reply>{ok(omidData({}))});
  EXPECT_TRUE(QBNOMIDManager::sharedInstance()->isActivated());

  const struct {
    Json request;
    std::vector<Reply> replies;
  } steps[] = {
      {omidRequest("startSession", sessionParams("a1")), {ok({{"adViewId", "a1"}})}},
      {omidRequest("startSession", sessionParams("a1")), {ko("OMID Session has already started", "a1")}},
      {omidRequest("startSession", sessionParams("a2")), {ok({{"adViewId", "a2"}})}},
      {omidRequest("getOmidData"), {ok(omidData({"a1", "a2"}))}},
      {omidRequest("impressionOccurred", {{"adViewId", "a1"}, {"signalLoaded", true}}), {ok({{"adViewId", "a1"}})}},
      {omidRequest("impressionOccurred", {{"adViewId", "a1"}}), {ko("Event filter does not accept.", "a1")}},
      {omidRequest("impressionOccurred", {{"adViewId", "zz"}}), {ko("OMID Session has not started", "zz")}},
      {omidRequest("finishSession", {{"adViewId", "a1"}}), {ok({{"adViewId", "a1"}})}},
      {omidRequest("finishSession", {{"adViewId", "a1"}}), {ko("OMID Session has not started", "a1")}},
      {omidRequest("getOmidData"), {ok(omidData({"a2"}))}},
      // A finished ad view id can start anew.
      {omidRequest("startSession", sessionParams("a1")), {ok({{"adViewId", "a1"}})}},
      {omidRequest("getOmidData"), {ok(omidData({"a2", "a1"}))}},
      {omidRequest("pauseSession", {{"adViewId", "a2"}}), {ko("invokeAPIWithParams: | unsupported OMID API", "a2")}},
      {omidRequest("pauseSession"), {ko("invokeAPIWithParams: | unsupported OMID API", std::nullopt)}},
      {omidRequest("startSession", {{"adViewId", "nope"}}),
       {ko("startSession: | No adview found with the provided adViewId", "nope")}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(platform::dumpJson(step.request));
    EXPECT_EQ(run(step.request), step.replies);
  }
  // The session of a2 runs on.
  auto session = QBNOMIDManager::sharedInstance()->activeAdSession("a2");
  ASSERT_TRUE(session);
  EXPECT_FALSE(session->eventFilter().isFinalEventAccepted());
}

// Parameters that do not reach a session: the measurement SDK's and the
// glue's texts, unchanged.
TEST_F(OmidTest, FailedStartsPassTheTextsOnAndLeaveNoSession) {
  placeAdView("a1");
  activate();
  const struct {
    const char* name;
    Json request;
    Reply reply;
  } cases[] = {
      {"no JSON", Json{{"omidFunction", "startSession"}, {"omidParams", "not%20json"}, {"success", "ok"}, {"fail", "ko"}},
       ko("startSession: | Missing adview id in OMID params", std::nullopt)},
      {"no impression owner", omidRequest("startSession", Json{{"adViewId", "a1"}, {"videoEventsOwner", "none"}}),
       ko("Missing OMID impressionOwner", "a1")},
      {"no video events owner", omidRequest("startSession", Json{{"adViewId", "a1"}, {"impressionOwner", "native"}}),
       ko("Missing OMID videoEventsOwner", "a1")},
      {"owner none", omidRequest("startSession", sessionParams("a1", {{"impressionOwner", "None"}})),
       ko("Impression owner can not be none.", "a1")},
      {"unknown owner", omidRequest("startSession", sessionParams("a1", {{"impressionOwner", "robot"}})),
       ko("Impression owner can not be none.", "a1")},
      {"defined by script, native owner",
       omidRequest("startSession", sessionParams("a1", {{"creativeType", "definedByJavaScript"}})),
       ko("CreativeType/ImpressionType that is DefinedByJavascript must have a JavaScript impressionOwner.", "a1")},
      {"unknown creative type (defined by script)",
       omidRequest("startSession", sessionParams("a1", {{"creativeType", "hologram"}})),
       ko("CreativeType/ImpressionType that is DefinedByJavascript must have a JavaScript impressionOwner.", "a1")},
      {"long reference", omidRequest("startSession", sessionParams("a1", {{"customReferenceData", std::string(300, 'r')}})),
       ko("The supplied customReferenceIdentifier is 300 characters which exceeds the 256 limit.", "a1")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(c.request), std::vector<Reply>{c.reply});
    EXPECT_FALSE(QBNOMIDManager::sharedInstance()->activeAdSession("a1"));
  }
  // A script impression owner starts; the native impression is then refused.
  EXPECT_EQ(run(omidRequest("startSession", sessionParams("a1", {{"impressionOwner", "JAVASCRIPT"}}))),
            std::vector<Reply>{ok({{"adViewId", "a1"}})});
  EXPECT_EQ(run(omidRequest("impressionOccurred", {{"adViewId", "a1"}})),
            std::vector<Reply>{ko("Impression owner should be NATIVE.", "a1")});
}

// "impressionOccurred" and "finishSession" without an ad view id fail with
// the reason alone, before and after "activate"; an id the page gave, even
// an empty one, comes back with the failure.
TEST_F(OmidTest, SessionCommandsWithoutAnAdViewIdFailWithoutOne) {
  const std::string notActivated = "OMID has not been activated";
  const std::string notStarted = "OMID Session has not started";
  for (const char* function : {"impressionOccurred", "finishSession"}) {
    SCOPED_TRACE(function);
    EXPECT_EQ(run(omidRequest(function)), std::vector<Reply>{ko(notActivated, std::nullopt)});
    EXPECT_EQ(run(omidRequest(function, {{"signalLoaded", true}})), std::vector<Reply>{ko(notActivated, std::nullopt)});
  }
  activate();
  for (const char* function : {"impressionOccurred", "finishSession"}) {
    SCOPED_TRACE(function);
    EXPECT_EQ(run(omidRequest(function)), std::vector<Reply>{ko(notStarted, std::nullopt)});
    EXPECT_EQ(run(omidRequest(function, {{"adViewId", nullptr}})), std::vector<Reply>{ko(notStarted, std::nullopt)});
    EXPECT_EQ(run(omidRequest(function, {{"adViewId", ""}})), std::vector<Reply>{ko(notStarted, "")});
  }
}

TEST_F(OmidTest, TableWordsIgnoreCaseAndFallBackToTheirDefaults) {
  const struct {
    unsigned (*resolve)(const Json&);
    Json word;
    unsigned value;
  } cases[] = {
      {QBNOMIDManager::resolveOMIDOwner, "native", 2},       {QBNOMIDManager::resolveOMIDOwner, "Native", 2},
      {QBNOMIDManager::resolveOMIDOwner, "JavaScript", 1},   {QBNOMIDManager::resolveOMIDOwner, "martian", 3},
      {QBNOMIDManager::resolveOMIDOwner, 2, 3},              {QBNOMIDManager::resolveImpressionType, "viewble", 6},
      {QBNOMIDManager::resolveImpressionType, "onePixel", 5}, {QBNOMIDManager::resolveImpressionType, "viewable", 8},
      {QBNOMIDManager::resolveCreativeType, "VIDEO", 4},      {QBNOMIDManager::resolveCreativeType, "audio", 5},
      {QBNOMIDManager::resolveCreativeType, "", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.resolve(c.word), c.value) << c.word;
  const auto options = QBNOMIDManager::optionsFromParams(
      Json{{"impressionOwner", "native"}, {"videoEventsOwner", "JAVASCRIPT"}, {"isolateVerificiationScripts", true},
           {"customReferenceData", "ref 1"}});
  ASSERT_TRUE(options.ok());
  EXPECT_TRUE(options.value().isolateVerificationScripts);
  EXPECT_EQ(options.value().impressionOwner, 2u);
  EXPECT_EQ(options.value().mediaEventsOwner, 1u);
  EXPECT_EQ(options.value().customReferenceData, "ref 1");
  EXPECT_EQ(options.value().impressionType, 8u);
  EXPECT_EQ(options.value().creativeType, 1u);
}

// A request without "omidFunction" gets nothing; a missing or empty
// callback name suppresses that answer while the operation still runs.
TEST_F(OmidTest, CallbackNamesDecideWhetherAnAnswerGoes) {
  placeAdView("a1");
  EXPECT_TRUE(run(Json{{"success", "ok"}, {"fail", "ko"}}).empty());
  EXPECT_TRUE(run(omidRequest("activate", nullptr, "", "ko")).empty());
  EXPECT_TRUE(QBNOMIDManager::sharedInstance()->isActivated());
  Json noNames = omidRequest("startSession", sessionParams("a1"));
  noNames.erase("success");
  EXPECT_TRUE(run(noNames).empty());
  EXPECT_TRUE(QBNOMIDManager::sharedInstance()->activeAdSession("a1"));
  EXPECT_TRUE(run(omidRequest("startSession", sessionParams("a1"), "ok", "")).empty());  // refused, unanswered
}

// Two "startSession" requests under way at once: each is answered on its own
// callbacks (the latest request's callbacks would take both answers and the
// first request would never settle).
TEST_F(OmidTest, OverlappingRequestsAreEachAnsweredOnTheirOwnCallbacks) {
  placeAdView("a1");
  placeAdView("a2");
  activate();
  handler->invokeAPIWithParams(omidRequest("startSession", sessionParams("a1"), "firstOk", "firstKo"));
  handler->invokeAPIWithParams(omidRequest("startSession", sessionParams("a2", {{"impressionOwner", "none"}}),
                                           "secondOk", "secondKo"));
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->take(),
            (std::vector<Reply>{Reply{"firstOk", {{"adViewId", "a1"}}, 1},
                                Reply{"secondKo", {{"errMsg", "Impression owner can not be none."}, {"adViewId", "a2"}}, 1}}));
}

// An ad view that leaves the ad views manager ends its session (logged): the
// walk of the view tree stops with the last session.
TEST_F(OmidTest, RemovingAMeasuredAdViewFinishesItsSession) {
  std::vector<std::string> lines;
  PlovermarkLogManager::setConsoleWriterForTesting([&](const std::string& line) { lines.push_back(line); });
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);
  placeAdView("a1");
  activate();
  ASSERT_EQ(run(omidRequest("startSession", sessionParams("a1"))), std::vector<Reply>{ok({{"adViewId", "a1"}})});
  auto session = QBNOMIDManager::sharedInstance()->activeAdSession("a1");
  ASSERT_TRUE(session);
  EXPECT_TRUE(OMIDQuilbrnSDK::sharedInstance()->adSessionRegistry()->isActive());
  QBNAdViewsManager::sharedManager().removeAdViewWithId("a1", Json::object(), {}, [](const auto&) {});
  env.runUntilIdle();
  EXPECT_FALSE(QBNOMIDManager::sharedInstance()->activeAdSession("a1"));
  EXPECT_TRUE(session->eventFilter().isFinalEventAccepted());
  EXPECT_FALSE(OMIDQuilbrnSDK::sharedInstance()->adSessionRegistry()->isActive());
  EXPECT_TRUE(publisher->page->take().empty());  // no request asked, so no answer
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("the measurement session of the removed ad view a1 finished") != std::string::npos;
  }));
  PlovermarkLogManager::setConsoleWriterForTesting(nullptr);
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(0);
}

}  // namespace
}  // namespace sftest
