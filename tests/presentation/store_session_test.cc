// The in-app store session: the report sequences of a load, the parameter
// conversions, timeouts, cancels, replacement, the user's close and a store
// answer from another thread.
#include <gtest/gtest.h>

#include <thread>

#include "ownnetwork/services/QBNEventsTracker.h"
#include "presentation/QBAppStoreUtils.h"
#include "presentation/QBSplitViewController.h"
#include "store_support.h"
#include "support/sandbox_own_events.h"
#include "support/sandbox_server.h"

using namespace platform;
using storetest::StoreTest;

namespace {

using presentationtest::Lines;

// `$R` in an expected line stands for the command's escaped parameters.
Lines expand(Lines lines, const std::string& raw) {
  for (auto& line : lines) {
    for (size_t at; (at = line.find("$R")) != std::string::npos;) line.replace(at, 2, raw);
  }
  return lines;
}

const std::string kStarted = R"(started {"storeAppId":"123","viewUniqueId":"v1","storeKitLoadParams":"$R"})";

TEST_F(StoreTest, EachLoadPathReportsItsSequence) {
  // A command and its escaped parameters as the reports show them.
  const auto given = [](const Json& storeParams, Json extra = Json::object()) {
    return std::make_pair(command(storeParams, std::move(extra)), escaped(storeParams));
  };
  const Json id123{{"id", "123"}};
  const std::string invalid =
      R"(loaded {"isLoaded":false,"storeAppId":"-1","viewUniqueId":"v1","storeKitLoadParams":{},"errMsg":"Invalid Parameters"})";
  const std::string invalidFinished =
      R"(finished {"didStoreKitPresent":false,"storeAppId":"-1","viewUniqueId":"v1","storeKitLoadParams":{},"errMsg":"Invalid Parameters"})";
  const struct {
    const char* name;
    std::pair<Json, std::string> command;
    bool show;
    bool success;
    int errorCode;  // of a failure; 0: a failure without an error
    QBOrientation appOrientation;  // 0: the window's
    Lines expected;
  } cases[] = {
      {"success", given(id123), false, true, 0, 0,
       {kStarted, R"(loaded {"isLoaded":true,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123}})"}},
      {"success, shown when loaded", given(id123), true, true, 0, 0,
       {kStarted, R"(loaded {"isLoaded":true,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123}})",
        R"(shown {"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123}})"}},
      {"invalid app id", given({{"id", "12ab"}}), false, true, 0, 0,
       {kStarted,
        R"(loaded {"isLoaded":false,"storeAppId":"-1","viewUniqueId":"v1","storeKitLoadParams":{"id":"-1"},"errMsg":"Invalid Parameters"})",
        R"(finished {"didStoreKitPresent":false,"storeAppId":"-1","viewUniqueId":"v1","storeKitLoadParams":{"id":"-1"},"errMsg":"Invalid Parameters"})"}},
      // Parameters that do not parse keep the command's view id.
      {"parameters that do not parse", {{{"storeKitLoadParams", "%7Bnot json"}}, "%7Bnot json"}, false, true, 0, 0,
       {kStarted, invalid, invalidFinished}},
      {"no parameters", {Json::object(), ""}, false, true, 0, 0, {kStarted, invalid, invalidFinished}},
      {"store failure", given(id123), false, false, 5, 0,
       {kStarted,
        R"(loaded {"isLoaded":false,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123},"errMsg":"Error Domain : platform.storekit with Error Code : 5"})"}},
      {"store failure without error, show flag", given(id123), true, false, 0, 0,
       {kStarted,
        R"(loaded {"isLoaded":false,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123},"errMsg":"StoreKit Load Error"})",
        R"(finished {"didStoreKitPresent":false,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123},"errMsg":"StoreKit Load Error"})"}},
      {"unsupported orientation", given(id123, {{"shouldUseOriginalStoreKitViewController", "true"}}), false, true,
       0, QBOrientationLandscapeAll,
       {kStarted,
        R"(loaded {"isLoaded":false,"storeAppId":"123","viewUniqueId":"v1","storeKitLoadParams":"$R","errMsg":"Unsupported Orientation"})"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    session->resetForTesting();
    session->setDelegate(delegate);
    session->setViewControllerToPresentFrom(presenter);
    delegate->lines.clear();
    store.resetForTesting();
    StoreLoadAnswer answer;
    answer.success = c.success;
    if (c.errorCode) answer.error = Error{kStoreKitErrorDomain, c.errorCode, "no product"};
    store.setLoadAnswer(answer);
    QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(c.appOrientation);

    load("v1", c.command.first, c.show);
    finishTransition();
    EXPECT_EQ(delegate->lines, expand(c.expected, c.command.second));
    const bool loaded = c.expected.size() > 1 && c.expected[1].find(R"("isLoaded":true)") != std::string::npos;
    EXPECT_EQ(session->hasAppStorePageForViewUniqueId("v1"), loaded);
    EXPECT_EQ(session->appStoreObjectForViewUniqueId("v1") != nullptr, c.appOrientation == 0);
    EXPECT_EQ(session->appStoreObjectForViewUniqueId("-1"), nullptr);
    if (auto page = session->appStoreObjectForViewUniqueId("v1")) {
      EXPECT_FALSE(page->isLoadTimerArmed());
    }
    if (presenter->presentedViewController()) {
      presenter->dismissViewControllerAnimated(false);
      finishTransition();
    }
  }
}

TEST_F(StoreTest, NothingHappensWithoutBothIds) {
  for (const auto& [appId, viewId] : std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>>{
           {std::nullopt, "v1"}, {"", "v1"}, {"123", std::nullopt}, {"123", ""}}) {
    session->loadStoreWithAppId(appId, viewId, command({{"id", "123"}}), false);
  }
  env.runUntilIdle();
  EXPECT_TRUE(delegate->lines.empty());
  EXPECT_EQ(session->pageCount(), 0u);
}

TEST_F(StoreTest, TheNonceIsAUuidObjectFromSystem11_3AndReportsShowItsUpperCaseText) {
  const std::string lower = "e621e1f8-c36c-495a-93fc-0c247a3e6e5f";
  const struct {
    const char* version;
    Json nonce;
    bool uuidObject;                 // what the store receives
    std::optional<std::string> shown;  // the nonce in the loaded report; none: dropped
  } cases[] = {
      {"17.0", lower, true, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"11.3", lower, true, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"17.0", "not-a-uuid", false, std::nullopt},
      {"17.0", 12, false, std::nullopt},
      {"11.2", lower, false, lower},
      {"11.2", "not-a-uuid", false, "not-a-uuid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + dumpJson(c.nonce));
    setDevice(c.version);
    store.resetForTesting();
    delegate->lines.clear();
    load("v1", command({{"id", 7}, {"adNetworkNonce", c.nonce}, {"adNetworkIdentifier", "net.example"}}));
    env.runUntilIdle();

    const auto loads = store.loads();
    ASSERT_EQ(loads.size(), 1u);
    const auto* sent = loads[0].parameters.find(kSKStoreProductParameterAdNetworkNonce);
    ASSERT_EQ(sent != nullptr, c.shown.has_value());
    if (sent) {
      EXPECT_EQ(std::holds_alternative<Uuid>(*sent), c.uuidObject);
    }
    ASSERT_EQ(delegate->lines.size(), 2u);
    const auto report = parseJson(delegate->lines[1].substr(delegate->lines[1].find(' ') + 1)).value();
    const auto& params = report["storeKitLoadParams"];
    EXPECT_EQ(params.contains("adNetworkNonce"), c.shown.has_value());
    if (c.shown) {
      EXPECT_EQ(params["adNetworkNonce"], *c.shown);
    }
    EXPECT_EQ(params["adNetworkIdentifier"], "net.example");
  }
}

TEST_F(StoreTest, ALoadThatShowsWhenDoneTimesOutAndStillReportsItsLoadWithoutShowing) {
  for (const bool reachable : {false, true}) {
    SCOPED_TRACE(reachable ? "online" : "offline");
    ReachabilitySource::shared().setStatus(reachable ? kReachabilityViaWiFi : kReachabilityNotReachable);
    store.resetForTesting();
    store.setHoldLoads(true);
    delegate->lines.clear();
    load("v1", command({{"id", "123"}}), true);
    env.advance(QBAppStoreObject::kLoadTimeoutMs - 1);
    EXPECT_EQ(delegate->lines.size(), 1u);
    env.advance(1 + (reachable ? QBAppStoreObject::kOnlineCancelDelayMs - 1 : 0));
    EXPECT_EQ(delegate->lines.size(), reachable ? 1u : 2u);
    env.advance(1);
    ASSERT_TRUE(store.completeLoad(0, true));
    finishTransition();
    EXPECT_EQ(delegate->lines,
              expand({kStarted,
                      R"(finished {"didStoreKitPresent":false,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123},"errMsg":"Timeout Reached"})",
                      R"(loaded {"isLoaded":true,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123}})"},
                     escaped({{"id", "123"}})));
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
  }
}

TEST_F(StoreTest, ACancelWhileThePageIsOnScreenIsIgnored) {
  load("v1", command({{"id", "123"}}));
  env.runUntilIdle();
  session->showStoreForUniqueId("v1");
  finishTransition();
  ASSERT_TRUE(session->isStorePresented("v1"));
  delegate->lines.clear();
  session->cancelLoading("v1", "Timeout Reached");
  EXPECT_TRUE(delegate->lines.empty());
  EXPECT_FALSE(session->appStoreObjectForViewUniqueId("v1")->shouldCancelLoading());
}

TEST_F(StoreTest, AStoreAnswerFromAnotherThreadIsHandledOnTheMainQueue) {
  store.setHoldLoads(true);
  load("v1", command({{"id", "123"}}));
  env.runUntilIdle();  // the custom controller loads from a global queue
  ASSERT_EQ(store.loads().size(), 1u);
  EXPECT_FALSE(store.loads()[0].onMainThread);
  std::thread answer([this] { store.completeLoad(0, true); });
  EXPECT_TRUE(env.runUntil([&] { return delegate->lines.size() == 2; }));
  answer.join();
  EXPECT_TRUE(delegate->onMain.back());
  EXPECT_TRUE(session->hasAppStorePageForViewUniqueId("v1"));
}

TEST_F(StoreTest, AReplacedOrEarlierPageIsForgottenAndCleanedUp) {
  store.setHoldLoads(true);
  load("v1", command({{"id", "123"}}));
  env.runUntilIdle();
  auto first = store.loads().at(0).controller.lock();
  ASSERT_EQ(first->delegate(), session);
  load("v1", command({{"id", "456"}}));
  env.runUntilIdle();
  ASSERT_EQ(store.loads().size(), 2u);
  EXPECT_EQ(session->pageCount(), 1u);
  EXPECT_EQ(first->delegate(), nullptr);
  store.completeLoad(0, true);
  store.completeLoad(1, true);
  env.runUntilIdle();
  ASSERT_EQ(delegate->lines.size(), 3u);  // two started, one loaded (the page that stands)
  EXPECT_NE(delegate->lines[2].find(R"("storeAppId":456)"), std::string::npos);
  ASSERT_TRUE(session->hasAppStorePageForViewUniqueId("v1"));

  // A later load that cannot be shown cancels and forgets the earlier page.
  delegate->lines.clear();
  QBNAppOrientationHolder::sharedInstance().setExternalAppOrientation(QBOrientationLandscapeAll);
  load("v1", command({{"id", "789"}}, {{"shouldUseOriginalStoreKitViewController", "1"}}));
  ASSERT_EQ(delegate->lines.size(), 3u);
  EXPECT_EQ(delegate->lines[2],
            R"(finished {"didStoreKitPresent":false,"storeAppId":456,"viewUniqueId":"v1","storeKitLoadParams":{"id":456},"errMsg":"Unsupported Orientation"})");
  EXPECT_FALSE(session->hasAppStorePageForViewUniqueId("v1"));
  EXPECT_EQ(session->pageCount(), 0u);
}

TEST_F(StoreTest, TheUsersCloseDismissesThePageAndReportsItsViewId) {
  load("v1", command({{"id", "123"}}));
  env.runUntilIdle();
  session->showStoreForUniqueId("v1");
  finishTransition();
  ASSERT_EQ(presenter->presentedViewController(), storeOf("v1"));
  delegate->lines.clear();

  StoreKitControl::closeByUser(storeOf("v1"));
  finishTransition();
  EXPECT_EQ(presenter->presentedViewController(), nullptr);
  EXPECT_EQ(delegate->lines,
            Lines{R"(finished {"didStoreKitPresent":true,"storeAppId":123,"viewUniqueId":"v1","storeKitLoadParams":{"id":123}})"});
  EXPECT_TRUE(session->hasAppStorePageForViewUniqueId("v1"));  // shown again on the next click
}

TEST_F(StoreTest, APageEmbeddedInTheSplitViewIsNotDismissedOnClose) {
  auto split = std::make_shared<QBSplitViewController>();
  ASSERT_TRUE(presenter->presentViewController(split, false));
  finishTransition();
  load("v1", command({{"id", "123"}}));
  env.runUntilIdle();
  auto page = storeOf("v1");
  split->addChildViewController(page);
  split->view()->addSubview(page->view());
  page->didMoveToParentViewController(split);
  delegate->lines.clear();

  StoreKitControl::closeByUser(page);
  finishTransition();
  EXPECT_EQ(presenter->presentedViewController(), split);
  EXPECT_EQ(delegate->lines.size(), 1u);
}

class StoreCloseEventTest : public qbtest::WithOwnEventsSandbox<StoreTest> {};

TEST_F(StoreCloseEventTest, ClosingAPageNoSessionPageOwnsLogsEvent2020AndReportsWithoutIds) {
  ASSERT_TRUE(qbtest::sendOwnNetworkEventsTo(*server));

  auto stranger = std::make_shared<StoreProductViewController>();
  stranger->setDelegate(session);
  StoreKitControl::closeByUser(stranger);

  const std::string report = R"({"didStoreKitPresent":true,"errMsg":"chosenViewUniqueId is empty"})";
  EXPECT_EQ(delegate->lines, Lines{"finished " + report});
  EXPECT_EQ(dumpJson(*session->storeKitDataToController(parseJson(report).value())),
            R"({"didStoreKitPresent":true,"errMsg":"chosenViewUniqueId is empty","storeAppId":"-1","viewUniqueId":"-1"})");
  ASSERT_TRUE(env.runUntil([] { return server->requestCount() >= 1; }));
  const auto events = qbtest::ownNetworkEventsReceived(*server);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["eventid"], 2020);
  EXPECT_EQ(events[0]["eventname"], "n_storekitclosewithoutviewuniqueid");
  EXPECT_EQ(events[0]["callfailreason"], PMAHelperMethods::encodeToPercentEscapeString("chosenViewUniqueId is empty"));
}

// ---------------------------------------------------------------- conversions

TEST(QBAppStoreUtilsTest, TheAppIdBecomesANumberWhenItIsAPlainInteger) {
  const struct {
    std::optional<Json> given;
    Json expected;
  } cases[] = {
      {Json("123"), 123},     {Json("+7"), 7},          {Json("-5"), -5},   {Json(99), 99},
      {Json(1.5), 1.5},       {Json("12ab"), "-1"},     {Json(" 12"), "-1"}, {Json(""), "-1"},
      {Json(true), "-1"},     {Json("99999999999999999999"), "-1"},         {std::nullopt, "-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given ? dumpJson(*c.given) : "absent");
    StoreProductParameters params;
    if (c.given) params.set(kSKStoreProductParameterITunesItemIdentifier, *c.given);
    QBAppStoreUtils::convertApplicationIdFromStringToNSNumber(params);
    EXPECT_EQ(std::get<Json>(*params.find(kSKStoreProductParameterITunesItemIdentifier)), c.expected);
  }
}

TEST(QBAppStoreUtilsTest, ReportsReachThePageWithBothIdsAndParsedParameters) {
  const struct {
    const char* report;
    const char* page;  // null: none
  } cases[] = {
      // Parameters that do not parse become an empty dictionary; the rest stays.
      {R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":"%7Bbad"})",
       R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":{}})"},
      // Only a missing id is filled.
      {R"({"viewUniqueId":"v","isLoaded":true})", R"({"viewUniqueId":"v","isLoaded":true,"storeAppId":"-1"})"},
      {R"({"storeAppId":5,"viewUniqueId":null})", R"({"storeAppId":5,"viewUniqueId":"-1"})"},
      {R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":"%7B%22a%22%3A%22x+y%22%7D"})",
       R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":{"a":"x y"}})"},
      {R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":"%5B1%5D"})",
       R"({"storeAppId":"1","viewUniqueId":"v","storeKitLoadParams":{}})"},
      {R"({"storeAppId":1,"viewUniqueId":"v","storeKitLoadParams":{"id":1}})",
       R"({"storeAppId":1,"viewUniqueId":"v","storeKitLoadParams":{"id":1}})"},
      {R"([1])", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    auto page = QBAppStoreUtils::storeKitDataToController(parseJson(c.report).value());
    ASSERT_EQ(page.has_value(), c.page != nullptr);
    if (page) {
      EXPECT_EQ(dumpJson(*page), c.page);
    }
  }
  EXPECT_FALSE(QBAppStoreUtils::storeKitDataToController(std::nullopt));
}

}  // namespace
