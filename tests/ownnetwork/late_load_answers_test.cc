// Loads given up on, against the project's controller page in a real web
// view: the page's load answers name only the demand source, so the
// publisher keeps what the page owes and drops every answer that belongs to
// a load given up on, whatever order the page's messages and the native
// side's commands meet in.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <iterator>
#include <random>
#include <set>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher_test_support.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/clock.h"
#include "platform/script/script_literal.h"

namespace qbtest {
namespace {

using handlertest::RecordingAdListener;
using platform::Json;
using Lines = std::vector<std::string>;

class LateLoadAnswersTest : public PublisherTest {
 protected:
  LateLoadAnswersTest() { QBNPresentationServicesP::registerSharedInstance(services); }
  ~LateLoadAnswersTest() override { QBNPresentationServicesP::registerSharedInstance(nullptr); }

  // Has the page run `script` in turn with the lines already on their way to
  // it, without waiting for it.
  void pageRuns(const std::string& script) { pageView()->evaluateJavaScript(script); }
  // Has the page send `command`, as a message of its own, in turn.
  void pageSends(const std::string& command, const Json& params) {
    pageRuns("PMA_CORE.send(" + platform::scriptStringLiteral(command) + ", " + params.dump() + ")");
  }
  size_t pageCalls(const std::string& name) {
    const auto names = pageReceived();
    return static_cast<size_t>(std::count(names.begin(), names.end(), name));
  }
  // A container ad view registered under `id`, as the page's "adViewAPI"
  // makes one.
  void registerContainer(const std::string& id) {
    services->adViews[id] = std::make_shared<platform::View>();
    services->containers.insert(id);
  }
  static Json identity(const std::string& id, const char* productType, const Json& more = Json::object()) {
    Json params{{"demandSourceId", id}, {"demandSourceName", id}, {"productType", productType}};
    params.update(more);
    return params;
  }
  static std::string joined(const Lines& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "; ";
    return out;
  }
  static bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }
  // Once the page has run every line sent to it (and the native side has
  // handled what it sent meanwhile), with the listeners' tasks run.
  void settle() {
    page("true");
    env.runUntilIdle();
  }
  // A load of the interstitial `instance`, numbered when it is asked for.
  void load(const std::shared_ptr<QuillborneAdInstance>& instance) {
    publisher->loadAdWithAdInstance(instance, Json::object(), instance->noteLoadRequested());
  }
  // The page answers every load that comes from now on (it answered none
  // before).
  void pageAnswersTheRest() { page("PMA_SANDBOX.commands.loadInterstitial = {}, true"); }
  // A load of the interstitial `instance` that the page answers as `how`
  // says (an entry of the page's "commands").
  void load(const std::shared_ptr<QuillborneAdInstance>& instance, const Json& how) {
    publisher->loadAdWithAdInstance(instance, Json{{"sandboxAnswer", how}}, instance->noteLoadRequested());
  }
  // The page's answer to the load named `marker` after `delayMs`: a fill
  // whose answer carries the marker, or a no-fill whose message it is.
  static Json markedAnswer(const std::string& marker, bool fill, int64_t delayMs) {
    if (fill) return Json{{"delayMs", delayMs}, {"params", {{"marker", marker}}}};
    return Json{{"answer", "fail"}, {"errCode", "1"}, {"errMsg", marker}, {"delayMs", delayMs}};
  }
  // The marker of the load whose answer a listener's line is.
  static std::string markerOf(const std::string& line) {
    if (startsWith(line, "failedToLoad ")) return line.substr(13, line.find(' ', 13) - 13);
    if (!startsWith(line, "loaded ")) return "";
    const Json answer = Json::parse(line.substr(7), nullptr, false);
    return answer.is_object() ? answer.value("marker", "") : "";
  }
  // The markers of the loads that reached the page, in order ("none" for
  // one it never answers).
  std::vector<std::string> pageLoadMarkers() {
    std::vector<std::string> markers;
    for (const auto& call : page("PMA_CORE.received")) {
      if (call.value("name", "") != "loadInterstitial") continue;
      const Json how = call.value("params", Json::object()).value("sandboxAnswer", Json::object());
      markers.push_back(how.value("answer", "") == "none" ? "none"
                        : how.contains("params")      ? how["params"].value("marker", "")
                                                      : how.value("errMsg", ""));
    }
    return markers;
  }

  std::shared_ptr<handlertest::FakeServices> services = std::make_shared<handlertest::FakeServices>();
  std::shared_ptr<QBNAdSize> bannerSize = std::make_shared<QBNAdSize>("BANNER", 320, 50);
};

// The page answers a banner's load just as the banner is destroyed and loaded
// again: its answers are on their way when the destroy and the next load go
// out, and reach the native side before the page has run the destroy. They
// belong to the withdrawn load: dropped, the ad view the success names taken
// away; the next load hears its own answer.
TEST_F(LateLoadAnswersTest, AnswersSentBeforeThePageTookABannersWithdrawalAreDropped) {
  start(Json{{"commands", {{"loadBanner", {{"answer", "none"}}}}}});
  registerContainer("banner-old");
  registerContainer("banner-new");
  auto first = std::make_shared<RecordingAdListener>();
  auto second = std::make_shared<RecordingAdListener>();
  auto old = QuillborneAdInstanceBuilder("bn1", first).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(old, Json::object());
  env.runUntilIdle();
  ASSERT_EQ(pageCalls("loadBanner"), 1u);

  pageRuns("PMA_SANDBOX.commands.loadBanner = {params: {adViewId: 'banner-new'}}");
  pageSends("loadBannerSuccess", identity("bn1", "Banner", Json{{"adViewId", "banner-old"}}));
  pageSends("loadBannerFail", identity("bn1", "Banner", Json{{"errCode", "1"}, {"errMsg", "late"}}));
  publisher->destroyAdWithAdInstance(old);
  auto next = QuillborneAdInstanceBuilder("bn1", second).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(next, Json::object());
  env.runUntilIdle();

  EXPECT_EQ(first->lines, Lines{});
  ASSERT_EQ(second->lines.size(), 1u) << joined(second->lines);
  EXPECT_TRUE(startsWith(second->lines[0], "loadedWithContainer ")) << second->lines[0];
  EXPECT_NE(second->lines[0].find("banner-new"), std::string::npos) << second->lines[0];
  EXPECT_EQ(services->removed, Lines{"banner-old"});
  EXPECT_TRUE(services->adViews.count("banner-new"));
  const auto names = pageReceived();
  const auto destroy = std::find(names.begin(), names.end(), "destroyBanner");
  ASSERT_NE(destroy, names.end());
  EXPECT_NE(std::find(destroy, names.end(), "loadBanner"), names.end());  // the next load came after it
}

// A banner loaded (the page owes the answer) and loaded again (that load
// waits behind it), then destroyed: the withdrawal gives up the load that
// waits as well, which never reaches the page, not even when its wait would
// have ended. A new banner of the same demand source loads at once and hears
// its own fill.
TEST_F(LateLoadAnswersTest, ABannersWithdrawalGivesUpItsLoadThatWaits) {
  start(Json{{"commands", {{"loadBanner", {{"answer", "none"}}}}}});
  registerContainer("banner-new");
  auto first = std::make_shared<RecordingAdListener>();
  auto second = std::make_shared<RecordingAdListener>();
  auto old = QuillborneAdInstanceBuilder("bn3", first).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(old, Json::object(), old->noteLoadRequested());
  settle();
  publisher->loadAdWithAdInstance(old, Json::object(), old->noteLoadRequested());
  settle();
  ASSERT_EQ(pageCalls("loadBanner"), 1u);  // the second load waits

  publisher->destroyAdWithAdInstance(old);
  pageRuns("PMA_SANDBOX.commands.loadBanner = {params: {adViewId: 'banner-new'}}");
  auto next = QuillborneAdInstanceBuilder("bn3", second).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(next, Json::object(), next->noteLoadRequested());
  settle();
  ASSERT_EQ(second->lines.size(), 1u) << joined(second->lines);
  EXPECT_TRUE(startsWith(second->lines[0], "loadedWithContainer ")) << second->lines[0];
  EXPECT_NE(second->lines[0].find("banner-new"), std::string::npos) << second->lines[0];
  EXPECT_EQ(pageCalls("loadBanner"), 2u);

  env.advance(QBNLoadLedger::kOwedAnswerWaitMs);
  settle();
  EXPECT_EQ(pageCalls("loadBanner"), 2u);
  EXPECT_EQ(second->lines.size(), 1u) << joined(second->lines);
  EXPECT_EQ(first->lines, Lines{});
}

// An interstitial (a rewarded ad instance travels the same road) loaded again
// while the page still owes the answer to its last load: the new load waits
// until that answer has come, which is dropped, and then goes to the page and
// is answered on its own.
TEST_F(LateLoadAnswersTest, ALoadWaitsForTheAnswerThePageOwesToTheLoadBefore) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is1", listener).build();
  publisher->loadAdWithAdInstance(instance, Json::object(), instance->noteLoadRequested());
  env.runUntilIdle();
  ASSERT_EQ(pageCalls("loadInterstitial"), 1u);

  publisher->loadAdWithAdInstance(instance, Json::object(), instance->noteLoadRequested());
  env.runUntilIdle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 1u);  // it waits

  // The page answers the first load, late, with a no-fill; it fills the second.
  page("PMA_SANDBOX.commands.loadInterstitial = {}, true");
  pageSends("loadInterstitialFail", identity("is1", "Interstitial", Json{{"errCode", "1"}, {"errMsg", "late"}}));
  env.runUntilIdle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 2u);
  ASSERT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines[0], "loaded ")) << listener->lines[0];
  EXPECT_TRUE(publisher->isAdAvailableForAdInstance(instance));
}

// A newer load asked for (its number taken) but not yet at the publisher: the
// answer to the load before it is dropped, and a load that reaches the
// publisher after a newer one was asked for never goes to the page.
TEST_F(LateLoadAnswersTest, AnAnswerOfALoadOlderThanTheNewestAskedForIsDropped) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is2", listener).build();
  publisher->loadAdWithAdInstance(instance, Json::object(), instance->noteLoadRequested());
  env.runUntilIdle();
  const uint64_t second = instance->noteLoadRequested();
  const uint64_t third = instance->noteLoadRequested();

  pageSends("loadInterstitialSuccess", identity("is2", "Interstitial"));
  env.runUntilIdle();
  EXPECT_EQ(listener->lines, Lines{});
  EXPECT_FALSE(publisher->isAdAvailableForAdInstance(instance));

  publisher->loadAdWithAdInstance(instance, Json::object(), second);  // overtaken already
  env.runUntilIdle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 1u);
  page("PMA_SANDBOX.commands.loadInterstitial = {answer: 'fail', errMsg: 'No fill'}, true");
  publisher->loadAdWithAdInstance(instance, Json::object(), third);
  env.runUntilIdle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 2u);
  ASSERT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines[0], "failedToLoad No fill ")) << listener->lines[0];
}

// Once the fallback controller answers in the page's place, it takes a
// banner's withdrawal at once: the next load's failure, which it answers at
// once too, reaches the listener.
TEST_F(LateLoadAnswersTest, UnderTheFallbackTheNextLoadAfterAWithdrawalIsAnswered) {
  start(Json{{"stages", Json::array({Json{{"stage", "failed"}, {"errMsg", "down"}}})}});
  ASSERT_TRUE(publisher->concreteControllerManager()->isNativeControllerCurrent());
  auto first = std::make_shared<RecordingAdListener>();
  auto second = std::make_shared<RecordingAdListener>();
  auto old = QuillborneAdInstanceBuilder("bn2", first).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(old, Json::object());
  publisher->destroyAdWithAdInstance(old);
  auto next = QuillborneAdInstanceBuilder("bn2", second).setSize(bannerSize).build();
  publisher->loadAdWithAdInstance(next, Json::object());
  env.runUntilIdle();
  ASSERT_EQ(first->lines.size(), 1u) << joined(first->lines);
  ASSERT_EQ(second->lines.size(), 1u) << joined(second->lines);
  EXPECT_TRUE(startsWith(second->lines[0], "failedToLoad down ")) << second->lines[0];
}

// A page that never answers one load (its handler failed on it) and answers
// every later one. The next load waits for the answer the page owes
// QBNLoadLedger::kOwedAnswerWaitMs, then that answer counts as lost and the
// load goes to the page and fills. Should the lost answer come after all,
// once nothing is owed, it is dropped; every later load goes at once.
TEST_F(LateLoadAnswersTest, ALoadThePageNeverAnswersCostsNoLaterLoad) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is5", listener).build();
  load(instance);
  settle();
  ASSERT_EQ(pageCalls("loadInterstitial"), 1u);
  pageAnswersTheRest();

  load(instance);
  env.advance(QBNLoadLedger::kOwedAnswerWaitMs - 1);
  settle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 1u);  // it waits, a while
  env.advance(1);
  ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); })) << joined(listener->lines);
  EXPECT_EQ(pageCalls("loadInterstitial"), 2u);
  EXPECT_TRUE(startsWith(listener->lines[0], "loaded ")) << listener->lines[0];

  pageSends("loadInterstitialFail", identity("is5", "Interstitial", Json{{"errCode", "1"}, {"errMsg", "late"}}));
  settle();
  EXPECT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(publisher->isAdAvailableForAdInstance(instance));

  load(instance);
  ASSERT_TRUE(env.runUntil([&] { return listener->lines.size() == 2; })) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines.back(), "loaded ")) << listener->lines.back();
  EXPECT_EQ(pageCalls("loadInterstitial"), 3u);
}

// The mediation gives up the load that waits too (its time-out is shorter
// than the wait): the newer load takes its place behind the owed answer,
// under the deadline the wait began with, and the given-up load never goes.
TEST_F(LateLoadAnswersTest, ALoadGivenUpWhileItWaitedGivesItsPlaceToTheNextLoad) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is6", listener).build();
  load(instance);
  settle();
  pageAnswersTheRest();
  load(instance);
  settle();
  ASSERT_EQ(pageCalls("loadInterstitial"), 1u);

  env.advance(QBNLoadLedger::kOwedAnswerWaitMs - 1000);
  load(instance);
  env.advance(999);
  settle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 1u);  // it waits in the given-up load's place
  EXPECT_EQ(listener->lines, Lines{});
  env.advance(1);  // the wait's deadline, counted from its first load
  settle();
  ASSERT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines[0], "loaded ")) << listener->lines[0];
  // The given-up load never goes, not even once its own wait would have ended.
  env.advance(QBNLoadLedger::kOwedAnswerWaitMs);
  settle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 2u);
  EXPECT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
}

// The page's web content ends while a load waits for the answer the page
// owes: the fallback controller takes over and fails the waiting load at
// once, before its wait would have ended.
TEST_F(LateLoadAnswersTest, ALoadWaitingWhenTheFallbackTakesOverHearsALoadFailure) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  QBNFeaturesManager::sharedManager().updateSupplyConfigurations(
      Json{{"networkConfig", {{"handleWebViewTerminated", true}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is7", listener).build();
  load(instance);
  settle();
  load(instance);
  settle();
  ASSERT_EQ(pageCalls("loadInterstitial"), 1u);

  publisher->concreteControllerManager()->handleWebViewTerminated();
  env.runUntilIdle();
  const auto failures = [&] {
    Lines heard;
    std::copy_if(listener->lines.begin(), listener->lines.end(), std::back_inserter(heard),
                 [](const std::string& line) { return startsWith(line, "failedToLoad "); });
    return heard;
  };
  ASSERT_EQ(failures().size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(failures()[0], "failedToLoad WebView Web Content Process Did Terminated. "));
  env.advance(QBNLoadLedger::kOwedAnswerWaitMs);  // nothing more, when the wait would have ended
  EXPECT_EQ(failures().size(), 1u) << joined(listener->lines);
}

// The page's answer is handled (its listener task posted) just before the
// application asks for the instance's next load on its own thread: when the
// task runs, the answer belongs to a load given up on and reaches no one,
// and the next load hears only its own answer.
TEST_F(LateLoadAnswersTest, AnAnswerHandledJustBeforeTheNextLoadIsAskedForReachesNoOne) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is8", listener).build();
  load(instance);
  settle();
  ASSERT_TRUE(message("plovermarkads://loadInterstitialSuccess?demandSourceId=is8&demandSourceName=is8"
                      "&productType=Interstitial") == false);
  const uint64_t next = instance->noteLoadRequested();
  env.runUntilIdle();
  EXPECT_EQ(listener->lines, Lines{});

  page("PMA_SANDBOX.commands.loadInterstitial = {answer: 'fail', errMsg: 'No fill'}, true");
  publisher->loadAdWithAdInstance(instance, Json::object(), next);
  ASSERT_TRUE(env.runUntil([&] { return !listener->lines.empty(); }));
  settle();
  ASSERT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines[0], "failedToLoad No fill ")) << listener->lines[0];
}

// Load 1 owed, load 2 asked for (it waits), load 3 asked for (it takes load
// 2's place); load 1's fill comes late, before load 3's answer could have.
// It is dropped; load 3 goes to the page then and hears its own answer, a
// no-fill; load 2 never reaches the page.
TEST_F(LateLoadAnswersTest, ALateAnswerAfterTwoMoreLoadsWereAskedForAnswersNeither) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is9", listener).build();
  load(instance, Json{{"answer", "none"}});
  settle();
  load(instance, markedAnswer("load-2", true, 0));
  load(instance, markedAnswer("load-3", false, 1000));
  settle();
  EXPECT_EQ(pageCalls("loadInterstitial"), 1u);  // both wait, the newer in the older's place

  env.advance(500);
  pageSends("loadInterstitialSuccess", identity("is9", "Interstitial", Json{{"marker", "load-1"}}));
  env.advance(1500);
  settle();
  ASSERT_EQ(listener->lines.size(), 1u) << joined(listener->lines);
  EXPECT_TRUE(startsWith(listener->lines[0], "failedToLoad load-3 ")) << listener->lines[0];
  EXPECT_FALSE(publisher->isAdAvailableForAdInstance(instance));
  EXPECT_EQ(pageLoadMarkers(), (Lines{"none", "load-3"}));
}

// A page that never answers one load while the application asks for a load
// every second. The loads asked for meanwhile take each other's place behind
// the owed answer, so none of them stretches the wait: the newest reaches
// the page once the wait its first load began is over, and from then on
// every load goes at once and hears its own answer.
TEST_F(LateLoadAnswersTest, LoadsAskedForEverySecondBehindAnAnswerNeverGivenReachThePageWithinTheWait) {
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is10", listener).build();
  load(instance, Json{{"answer", "none"}});
  settle();
  const int64_t waitBegins = platform::nowMonotonicMs() + 1000;  // with the second load
  int64_t reached = -1;  // when a second load reached the page
  Lines expected{"none"};
  for (int n = 2; n <= 15; ++n) {
    env.advance(1000);
    if (reached < 0 && pageCalls("loadInterstitial") > 1) reached = platform::nowMonotonicMs();
    load(instance, markedAnswer("load-" + std::to_string(n), n % 2 == 0, 0));
    settle();
  }
  ASSERT_GE(reached, 0) << joined(listener->lines);
  EXPECT_LE(reached - waitBegins, QBNLoadLedger::kOwedAnswerWaitMs);
  // The load asked for last before the wait ended, then every later one.
  const int first = static_cast<int>(2 + QBNLoadLedger::kOwedAnswerWaitMs / 1000 - 1);
  Lines heard;
  for (int n = first; n <= 15; ++n) {
    expected.push_back("load-" + std::to_string(n));
    heard.push_back(expected.back());
  }
  EXPECT_EQ(pageLoadMarkers(), expected);
  Lines markers;
  for (const auto& line : listener->lines) markers.push_back(markerOf(line));
  EXPECT_EQ(markers, heard) << joined(listener->lines);
}

// Many loads of one interstitial, one after another, each answered by the
// page after a random while shorter than the wait for an owed answer (a fill
// or a no-fill, each naming its load), the clock moving a random while
// between loads; in some runs one load in ten is never answered. Whatever
// order answers and loads meet in, every answer the listener hears is the
// newest load's own, and each load is heard at most once.
struct LoadLoopCase {
  const char* name;
  uint32_t seed;
  bool someNeverAnswered;
};

void PrintTo(const LoadLoopCase& c, std::ostream* out) { *out << c.name; }

class LateLoadLoopTest : public LateLoadAnswersTest, public ::testing::WithParamInterface<LoadLoopCase> {};

TEST_P(LateLoadLoopTest, EveryAnswerHeardIsTheNewestLoadsOwn) {
  constexpr int kLoads = 120;
  start(Json{{"commands", {{"loadInterstitial", {{"answer", "none"}}}}}});
  auto listener = std::make_shared<RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is11", listener).build();
  std::mt19937 random(GetParam().seed);
  const auto below = [&random](uint32_t bound) { return static_cast<int64_t>(random() % bound); };
  size_t checked = 0;
  std::set<std::string> heard;
  std::string wrong;
  const auto check = [&](const std::string& newest) {
    for (; checked < listener->lines.size(); ++checked) {
      const std::string& line = listener->lines[checked];
      if (markerOf(line) != newest || !heard.insert(newest).second) wrong += line + " (newest " + newest + "); ";
    }
  };
  std::string marker;
  for (int n = 1; n <= kLoads; ++n) {
    marker = "load-" + std::to_string(n);
    Json how = markedAnswer(marker, below(2) == 0, below(1500));
    if (GetParam().someNeverAnswered && below(10) == 0) how = Json{{"answer", "none"}};
    load(instance, how);
    env.advance(below(1200));
    check(marker);
  }
  env.advance(QBNLoadLedger::kOwedAnswerWaitMs + 1500);
  settle();
  check(marker);
  EXPECT_EQ(wrong, "");
  EXPECT_GE(heard.size(), static_cast<size_t>(kLoads / 10));
}

INSTANTIATE_TEST_SUITE_P(Seeds, LateLoadLoopTest,
                         ::testing::Values(LoadLoopCase{"Seed1", 1, false}, LoadLoopCase{"Seed2", 2, false},
                                           LoadLoopCase{"Seed3", 3, false}, LoadLoopCase{"Seed4", 4, true},
                                           LoadLoopCase{"Seed5", 5, true}),
                         [](const ::testing::TestParamInfo<LoadLoopCase>& info) {
                           return std::string(info.param.name) + (info.param.someNeverAnswered ? "SomeNeverAnswered" : "");
                         });

}  // namespace
}  // namespace qbtest
