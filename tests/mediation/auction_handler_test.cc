// QBAuctionHandler against the loopback sandbox: the request on the wire in
// every form, parsing of the answer, and the exactly-once completion under
// no fill, retries, time-outs and cancellation, also racing on real threads.
#include <condition_variable>
#include <mutex>
#include <tuple>

#include "foundation/QBEncryptionUtils.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/auction_test_util.h"

namespace {

using platform::Json;
using qbtest::AuctionAnswer;

std::shared_ptr<QBAuctionRequestParams> sampleParams() {
  auto params = std::make_shared<QBAuctionRequestParams>();
  params->setAdUnit("rewardedVideo");
  params->setBidders(Json{{"BidderA", {{"token", "tok-a"}}}, {"BidderB", {{"token", "tok-b"}}}});
  params->setNonBidders({"Classic1", "BidderA", "Classic2"});
  auto history = QBAuctionHistory::initWithWaterfall({"Classic1", "BidderA"}, 3);
  history->storeWaterfallPerformance({{"Classic1", 1}, {"BidderA", 2}});
  params->setAuctionHistory(history);
  params->setSessionDepth(4);
  QBSegment segment;
  segment.setSegmentName("whales");
  segment.setLevel(7);
  params->setSegment(segment);
  params->setTestSuiteLaunched(true);
  params->setUseTestAds(true);
  return params;
}

// encryptionVersion, compress request, encrypted answer, compressed answer.
using WireCase = std::tuple<int, bool, bool, bool>;

class AuctionWireTest : public qbtest::AuctionFixture, public ::testing::WithParamInterface<WireCase> {};

// The answer carries every key an answer may carry, so each form also proves
// that a whole answer parses.
TEST_P(AuctionWireTest, ServerDecodesTheRequestAndTheClientTheAnswer) {
  const auto [version, compressRequest, encryptedAnswer, compressedAnswer] = GetParam();
  const std::string serverData = R"({"adm":"<vast/>","params":{"dynamicDemandSource":"dds-7","floor":2}})";
  auction.setDefaultAnswer(AuctionAnswer::withPayload(Json{
      {"auctionId", "auc-1"},
      {"waterfall",
       {{{"instance", "BidderA"}, {"price", 2.5}, {"cvValue", 12}, {"serverData", serverData},
         {"adData", {{"k", "v"}}}, {"nurl", "http://n/a"}, {"lurl", {"http://l/1", "http://l/2"}},
         {"burl", "http://b/a"}, {"impressionUrls", {"http://i/a"}},
         {"impressionData", {{"adNetwork", "netA"}, {"revenue", 0.0025}}}},
        {{"instance", "Classic1"}}}},
      {"genericNotifications", {{"nurl", {"http://g/n"}}, {"burl", "http://g/b"}}},
      {"genericParams", {{"gp", 1}}},
      {"configurations", {{"isAdUnitCapped", true}}},
      {"conversionValueParameters", {{"cv", "rules"}}}}));
  auto h = handler({{"encryptionVersion", version},
                    {"compressAuctionRequest", compressRequest},
                    {"compressAuctionResponse", compressedAnswer}},
                   encryptedAnswer);

  h->executeAuctionWithParams(sampleParams(), recorder());
  EXPECT_TRUE(completions->empty());  // never on the caller's stack
  const auto& response = awaitCompletion();

  ASSERT_TRUE(response.isSuccess()) << response.errorMessage();
  EXPECT_EQ(completions->front().queueLabel, QBAuctionHandler::kQueueLabel);
  EXPECT_EQ(response.auctionId(), "auc-1");
  ASSERT_EQ(response.waterfall().size(), 2u);
  const auto& a = *response.waterfall()[0];
  EXPECT_EQ(a.providerName(), "BidderA");
  EXPECT_EQ(a.price(), 2.5);
  EXPECT_EQ(a.lurl(), (std::vector<std::string>{"http://l/1", "http://l/2"}));
  auto& utils = QBAuctionDataUtils::sharedInstance();
  EXPECT_EQ(utils.getAdmFromServerData(a.serverData()), "<vast/>");
  EXPECT_EQ(utils.getDynamicDemandSourceIdFromServerData(a.serverData()), "dds-7");
  auto impression = a.impressionDataWithPlacement("Home");
  ASSERT_TRUE(impression);
  EXPECT_EQ(impression->placement(), "Home");
  EXPECT_EQ(impression->auctionId(), "auc-1");
  EXPECT_FALSE(response.waterfall()[1]->price().has_value());
  EXPECT_EQ(response.waterfall()[1]->impressionDataWithPlacement("Home"), nullptr);
  ASSERT_TRUE(response.genericNotifications());
  EXPECT_EQ(response.genericNotifications()->burl(), std::vector<std::string>{"http://g/b"});
  EXPECT_EQ(response.configurations(), Json({{"isAdUnitCapped", true}}));

  const auto requests = auction.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& sent = requests[0];
  EXPECT_EQ(sent.raw.header("Content-Type"), "application/json");
  EXPECT_EQ(sent.encryptionVersion, version);
  EXPECT_EQ(sent.compressed, compressRequest);
  if (version == 0 && !compressRequest) {
    EXPECT_EQ(sent.raw.body.front(), '{');
  }
  if (version == 2) {
    EXPECT_EQ(sent.answerKey, QBEncryptionUtils::sessionKey());
  }
  ASSERT_TRUE(sent.json.has_value()) << sent.error;
  const Json& json = *sent.json;
  EXPECT_EQ(json["adUnit"], "rewardedVideo");
  EXPECT_EQ(json["sessionId"], "session-1");
  EXPECT_EQ(json["sessionDepth"], 4);
  EXPECT_EQ(json["isEncryptedResponse"], encryptedAnswer);
  EXPECT_EQ(json["compressResponse"], compressedAnswer);
  EXPECT_EQ(json["testSuiteLaunched"], true);
  // Bidders first, in their order; a non-bidder named as bidder appears once.
  EXPECT_EQ(json["instances"], Json::parse(R"([
      {"instance":"BidderA","isBidder":true,"biddingData":{"token":"tok-a"}},
      {"instance":"BidderB","isBidder":true,"biddingData":{"token":"tok-b"}},
      {"instance":"Classic1","isBidder":false},
      {"instance":"Classic2","isBidder":false}])"));
  EXPECT_EQ(json["auctionHistory"], Json::parse(R"({"Classic1":[1],"BidderA":[2]})"));
  EXPECT_EQ(json["segment"], Json::parse(R"({"segmentName":"whales","level":7})"));
  EXPECT_EQ(json["clientTimestamp"], platform::nowWallMs());
}

INSTANTIATE_TEST_SUITE_P(Forms, AuctionWireTest,
                         ::testing::Values(WireCase{0, false, false, false}, WireCase{0, true, false, true},
                                           WireCase{1, true, true, true}, WireCase{2, false, true, false},
                                           WireCase{2, true, false, false}));

using AuctionHandlerTest = qbtest::AuctionFixture;

TEST_F(AuctionHandlerTest, NoFillClientErrorsAndNoUrlFailAtOnceWithoutRetry) {
  auction.enqueueAnswer(AuctionAnswer::noFill());
  auction.enqueueAnswer(AuctionAnswer::raw(400, "{}"));
  for (const auto& [code, fallback] : {std::pair{QBAuctionErrorCode::kNoFill, "no_fill"},
                                        std::pair{QBAuctionErrorCode::kHttpError, "http_error"}}) {
    completions->clear();
    auto h = handler({{"maxTrials", 3}});
    h->executeAuctionWithParams(sampleParams(), recorder());
    const auto& response = awaitCompletion();
    EXPECT_EQ(response.errorCode(), code);
    EXPECT_EQ(response.auctionFallback(), fallback);
    EXPECT_EQ(response.auctionTrial(), 1);
    EXPECT_EQ(h->activeAuctionCount(), 0u);
  }
  EXPECT_EQ(auction.requestCount(), 2u);

  // Without an auctioneer URL nothing is sent, and the failure still comes
  // asynchronously.
  completions->clear();
  auto noUrl = handler({{"auctioneerURL", ""}, {"maxTrials", 2}});
  noUrl->executeAuctionWithParams(nullptr, recorder());
  EXPECT_TRUE(completions->empty());
  EXPECT_EQ(awaitCompletion().errorCode(), QBAuctionErrorCode::kRequestNotBuilt);
  EXPECT_EQ(completions->front().response->auctionTrial(), 0);
}

TEST_F(AuctionHandlerTest, ServerErrorsAreRetriedAndTheSuccessTellsOfTheLastFailure) {
  server().inject(path, qbtest::SandboxFault::failing(503).only(1));
  auction.enqueueAnswer(AuctionAnswer::raw(500, "{}"));  // the second trial, past the fault
  auction.setDefaultAnswer(AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload("auc-r", {"A"})));
  auto h = handler({{"maxTrials", 3}});
  h->setTrialRetryIntervalMs(1500);
  h->executeAuctionWithParams(sampleParams(), recorder());

  awaitRetryTimer(h);
  env.advance(1499);
  EXPECT_EQ(server().requestsTo(path).size(), 1u);  // not before the interval
  env.advance(1);
  awaitRetryTimer(h);
  EXPECT_TRUE(completions->empty());
  env.advance(1500);
  const auto& response = awaitCompletion();

  ASSERT_TRUE(response.isSuccess());
  EXPECT_EQ(response.auctionTrial(), 3);
  EXPECT_EQ(response.errorCode(), QBAuctionErrorCode::kHttpError);
  EXPECT_NE(response.errorMessage().find("500"), std::string::npos) << response.errorMessage();
  EXPECT_EQ(server().requestsTo(path).size(), 3u);
  env.advance(60'000);
  EXPECT_EQ(completions->size(), 1u);
}

TEST_F(AuctionHandlerTest, TransportErrorsRetryUntilTheTrialsRunOut) {
  // Nothing listens on port 1: every trial fails to connect.
  auto h = handler({{"auctioneerURL", "http://127.0.0.1:1/auction"}, {"maxTrials", 2}});
  h->executeAuctionWithParams(sampleParams(), recorder());
  awaitRetryTimer(h);
  env.advance(QBAuctionHandler::kDefaultTrialRetryIntervalMs);
  const auto& response = awaitCompletion();
  EXPECT_FALSE(response.isSuccess());
  EXPECT_EQ(response.errorCode(), QBAuctionErrorCode::kHttpError);
  EXPECT_NE(response.errorMessage().find("-1004"), std::string::npos) << response.errorMessage();
  EXPECT_EQ(response.auctionFallback(), "http_error");
  EXPECT_EQ(response.auctionTrial(), 2);
}

TEST_F(AuctionHandlerTest, TimeoutFiresAtTheDeadlineAndNotBefore) {
  auction.holdAnswers();
  auto h = handler({{"timeout", 400}});
  h->executeAuctionWithParams(sampleParams(), recorder());
  awaitArrivals(1);
  env.advance(399);
  EXPECT_TRUE(completions->empty());
  env.advance(1);
  const auto& response = awaitCompletion();
  EXPECT_EQ(response.errorCode(), QBAuctionErrorCode::kTimeout);
  EXPECT_EQ(response.auctionFallback(), "timeout");
  EXPECT_EQ(response.elapsedTime(), 400);
}

TEST_F(AuctionHandlerTest, TimedOutTrialIsRetriedAndItsLateAnswerIgnored) {
  auction.holdAnswers(1);
  auction.setDefaultAnswer(AuctionAnswer::withPayload(qbtest::SandboxAuction::waterfallPayload("auc-t", {"A"})));
  auto h = handler({{"timeout", 300}, {"maxTrials", 2}});
  h->executeAuctionWithParams(sampleParams(), recorder());
  awaitArrivals(1);
  env.advance(300);
  EXPECT_EQ(h->waitingToRetryCountForTesting(), 1u);
  env.advance(QBAuctionHandler::kDefaultTrialRetryIntervalMs);
  awaitArrivals(2);
  auction.releaseAnswers();  // the first trial's answer now comes too late
  const auto& response = awaitCompletion();
  ASSERT_TRUE(response.isSuccess()) << response.errorMessage();
  EXPECT_EQ(response.auctionTrial(), 2);
  EXPECT_EQ(response.errorCode(), QBAuctionErrorCode::kTimeout);
}

TEST_F(AuctionHandlerTest, CancelAndDestructionCompleteExactlyOnceWith1009) {
  auction.holdAnswers();
  auto h = handler();
  h->executeAuctionWithParams(sampleParams(), recorder());
  awaitArrivals(1);
  h->cancelAuctions();
  h->cancelAuctions();
  const auto& response = awaitCompletion();
  EXPECT_EQ(response.errorCode(), QBAuctionErrorCode::kCancelled);
  EXPECT_EQ(response.auctionFallback(), "cancelled");

  // A handler dropped with an auction still being built.
  auto other = handler();
  other->executeAuctionWithParams(sampleParams(), recorder());
  other.reset();
  env.runUntilIdle();
  ASSERT_EQ(completions->size(), 2u);
  EXPECT_EQ(completions->back().response->errorCode(), QBAuctionErrorCode::kCancelled);
  EXPECT_EQ(completions->back().response->auctionTrial(), 0);
  env.advance(10'000);
  EXPECT_EQ(completions->size(), 2u);
}

// Real threads (no test environment): cancellation racing failed trials and
// retries on the handler's worker queue still completes every auction once.
// Meant for the thread-sanitizer build as much as for the plain one.
TEST(AuctionRaceTest, CancelRacingTrialsCompletesEveryAuctionOnce) {
  // Nothing listens on port 1, so trials fail at once on the I/O thread and
  // retry on timers while the test thread cancels; no server threads take
  // part.
  auto settings = QBAuctionSettings::fromJson(
      platform::Json{{"auctioneerURL", "http://127.0.0.1:1/auction"}, {"maxTrials", 3}, {"encryptionVersion", 2}});
  auto handler = QBAuctionHandler::initWithAuctionSettings(settings, true, false, "s");
  handler->setTrialRetryIntervalMs(1);

  constexpr int kAuctions = 40;
  std::mutex m;
  std::condition_variable cv;
  std::vector<int> calls(kAuctions, 0);
  int finished = 0;
  for (int i = 0; i < kAuctions; ++i) {
    handler->executeAuctionWithParams(nullptr, [&, i](std::shared_ptr<QBAuctionResponseParams> r) {
      std::lock_guard<std::mutex> lock(m);
      ++calls[i];
      ++finished;
      EXPECT_FALSE(r->isSuccess());
      cv.notify_all();
    });
    // Cancels whatever is in flight now: some still building, some on the
    // wire, some waiting to retry.
    if (i % 5 == 2) handler->cancelAuctions();
  }
  std::unique_lock<std::mutex> lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return finished == kAuctions; }));
  for (int i = 0; i < kAuctions; ++i) EXPECT_EQ(calls[i], 1) << "auction " << i;
  EXPECT_EQ(handler->activeAuctionCount(), 0u);
  lock.unlock();
  handler.reset();
}

}  // namespace
