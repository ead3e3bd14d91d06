// The demand-source responder: which listener call each report becomes, on
// which thread and in which order.
#include <gtest/gtest.h>

#include <thread>

#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"

namespace respondertest {

using handlertest::RecordingAdListener;
using handlertest::RecordingProductListener;
using platform::Json;
using R = DemandSourceDelegateResponder;

const platform::Error kError{"PMAErrorDomain", 7, "boom"};

// Hears only the show success, into a log that outlives it.
class ShowSuccessOnly : public QBNProductDelegate, public QBNAdDelegateShowSuccess {
 public:
  explicit ShowSuccessOnly(std::vector<std::string>& log) : log_(log) {}
  void adInstanceShowSuccess(const QBNAdInstanceRef&, const Json&) override { log_.push_back("showSuccess"); }

 private:
  std::vector<std::string>& log_;
};

class ResponderTest : public qbtest::OwnNetworkTest {
 protected:
  std::shared_ptr<PMADemandSource> instanceSource(const std::shared_ptr<QBNProductDelegate>& listener) {
    return PMADemandSource::createDemandSourceWithAdInstance(QuillborneAdInstanceBuilder("rv", listener).build());
  }
};

TEST_F(ResponderTest, AdInstanceCallsRunOnTheMainQueueInCallOrder) {
  auto listener = std::make_shared<RecordingAdListener>();
  auto source = instanceSource(listener);
  const Json c = {{"productType", "Interstitial"}};
  std::thread([&] {  // reports may come from any thread
    R::handleInitSuccessCallbackForDemandSource(source, c);
    R::handleInitFailureCallbackForDemandSource(source, kError, c);
    R::handleNoMoreOffersCallbackForDemandSource(source, c);
    R::handleLoadSuccessCallbackForDemandSource(source, c);
    R::handleShowSuccessCallbackForDemandSource(source, c);
    R::handleAdClosedCallbackForDemandSource(source, c);
    R::handleLoadFailureCallbackForDemandSource(source, kError, c);
    R::handleShowFailureCallbackForDemandSource(source, kError, c);
    R::handleAdCreditedCallbackForDemandSource(source, {{"credits", "5"}});
    R::handleAdClickedCallbackForDemandSource(source, c);
    R::handleAdLeaveApplicationCallbackForDemandSource(source, c);
    R::handleAdEventNotificationCallbackForDemandSource(source, "impressions", {{"x", 1}}, c);
  }).join();
  EXPECT_TRUE(listener->lines.empty()) << "nothing runs inline";
  env.runUntilIdle();
  const std::string cj = platform::dumpJson(c);
  EXPECT_EQ(listener->lines, (std::vector<std::string>{
                                 "loaded " + cj, "opened " + cj, "showSuccess " + cj, "closed " + cj,
                                 "failedToLoad boom " + cj, "failedToShow boom " + cj,
                                 R"(rewarded rv {"credits":"5"} {"credits":"5"})", "clicked " + cj,
                                 "leave " + cj, R"(event impressions {"x":1} )" + cj}))
      << "init and no-more-offers never reach an ad-instance listener";
  EXPECT_EQ(listener->onMain, std::vector<bool>(listener->lines.size(), true));
}

TEST_F(ResponderTest, OnlyTheCallsAListenerImplementsReachIt) {
  std::vector<std::string> log;
  auto listener = std::make_shared<ShowSuccessOnly>(log);
  auto source = instanceSource(listener);
  R::handleShowSuccessCallbackForDemandSource(source, Json::object());
  R::handleLoadSuccessCallbackForDemandSource(source, Json::object());
  env.runUntilIdle();
  EXPECT_EQ(log, std::vector<std::string>{"showSuccess"});
}

TEST_F(ResponderTest, TheListenerIsReadWhenTheTaskRuns) {
  std::vector<std::string> log;
  auto gone = std::make_shared<ShowSuccessOnly>(log);
  auto source = instanceSource(gone);
  R::handleShowSuccessCallbackForDemandSource(source, Json::object());
  gone.reset();
  env.runUntilIdle();
  EXPECT_TRUE(log.empty()) << "a listener gone before its task runs hears nothing";

  auto first = std::make_shared<ShowSuccessOnly>(log);
  auto second = std::make_shared<RecordingAdListener>();
  source->setDelegate(first);
  R::handleShowSuccessCallbackForDemandSource(source, Json::object());
  source->setDelegate(second);
  env.runUntilIdle();
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(second->lines, (std::vector<std::string>{"opened {}", "showSuccess {}"}));
}

TEST_F(ResponderTest, LegacyListenersHearAtOnceByProductType) {
  using Call = std::function<void(const std::shared_ptr<PMADemandSource>&, const Json&)>;
  struct Case {
    const char* name;
    Call call;
    const char* productType;  // null: no "productType"
    std::vector<std::string> heard;
  };
  const Call initSuccess = R::handleInitSuccessCallbackForDemandSource;
  const Call noMoreOffers = R::handleNoMoreOffersCallbackForDemandSource;
  const Call loadSuccess = R::handleLoadSuccessCallbackForDemandSource;
  const Call showSuccess = R::handleShowSuccessCallbackForDemandSource;
  const Call credited = R::handleAdCreditedCallbackForDemandSource;
  const Call closed = R::handleAdClosedCallbackForDemandSource;
  const Call clicked = R::handleAdClickedCallbackForDemandSource;
  const Call leave = R::handleAdLeaveApplicationCallbackForDemandSource;
  const Call initFailed = [](auto& s, auto& c) { R::handleInitFailureCallbackForDemandSource(s, kError, c); };
  const Call showFailed = [](auto& s, auto& c) { R::handleShowFailureCallbackForDemandSource(s, kError, c); };
  const Call loadFailed = [](auto& s, auto& c) { R::handleLoadFailureCallbackForDemandSource(s, kError, c); };
  const auto event = [](const char* name) -> Call {
    return [name](auto& s, auto& c) { R::handleAdEventNotificationCallbackForDemandSource(s, name, {{"e", 1}}, c); };
  };
  const Case cases[] = {
      {"rv init", initSuccess, "RewardedVideo", {R"(rvUpdateAdUnits {"productType":"RewardedVideo"})"}},
      {"is init", initSuccess, "Interstitial", {"isInitSuccess"}},
      {"banner init", initSuccess, "Banner", {}},
      {"rv init failed", initFailed, "RewardedVideo", {"rvInitFailed boom"}},
      {"is init failed", initFailed, "Interstitial", {"isInitFailed boom"}},
      {"no more offers, any product", noMoreOffers, nullptr, {"rvNoMoreOffers"}},
      {"load success, any product", loadSuccess, "RewardedVideo", {"isLoadSuccess"}},
      {"load failure, any product", loadFailed, nullptr, {"isLoadFailed boom"}},
      {"rv show", showSuccess, "RewardedVideo", {"rvWillOpen"}},
      {"is show", showSuccess, "Interstitial", {"isShowSuccess"}},
      {"names compare exactly", showSuccess, "interstitial", {}},
      {"rv show failed", showFailed, "RewardedVideo", {"rvShowFailed boom"}},
      {"is show failed", showFailed, "Interstitial", {"isShowFailed boom"}},
      {"credit, any product", credited, "Interstitial", {R"(rvCredit {"productType":"Interstitial"})"}},
      {"rv closed", closed, "RewardedVideo", {"rvClosed"}},
      {"is closed", closed, "Interstitial", {"isClosed"}},
      {"without productType", closed, nullptr, {}},
      {"rv clicked", clicked, "RewardedVideo", {"rvClicked"}},
      {"is clicked", clicked, "Interstitial", {"isClicked"}},
      {"banner clicked", clicked, "Banner", {}},
      {"leave application", leave, "RewardedVideo", {}},
      {"rv event", event("click"), "RewardedVideo", {R"(rvEvent click {"e":1})"}},
      {"is event", event("click"), "Interstitial", {R"(isEvent click {"e":1})"}},
      {"banner impressions", event("impressions"), "Banner", {"bannerShowSuccess"}},
      {"another banner event", event("click"), "Banner", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto listener = std::make_shared<RecordingProductListener>();
    auto source = PMADemandSource::createDemandSourceWithName("legacy", std::nullopt, listener);
    c.call(source, c.productType ? Json{{"productType", c.productType}} : Json::object());
    EXPECT_EQ(listener->lines, c.heard) << "at once, on the calling thread";
    c.call(nullptr, Json::object());  // no demand source: no one hears
    env.runUntilIdle();
    EXPECT_EQ(listener->lines, c.heard);
  }
}

}  // namespace respondertest
