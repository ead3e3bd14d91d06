#include "adapters/QBBiddingDataManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/QBAdapterConfig.h"
#include "platform/dispatch.h"
#include "platform/test_environment.h"

using platform::Json;
using Operations = QBBiddingDataManager::Operations;
using Names = std::vector<std::string>;

namespace {

using Answer = std::function<std::optional<Json>()>;

// A bidder whose answer is a function: a token, none, a throw, or work that
// takes time on the platform clock.
class FakeBidder : public QBBiddingDataProtocol {
 public:
  explicit FakeBidder(Answer answer) : answer_(std::move(answer)) {}
  std::optional<Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>&) override { return answer_(); }

 private:
  Answer answer_;
};

class RecordingEvents : public QBBiddingDataEventProtocol {
 public:
  void sendCollectingBiddingDataEvent(const std::shared_ptr<QBAdapterConfig>& config) override {
    std::lock_guard lock(m);
    started.push_back(config->providerName());
  }
  std::mutex m;
  Names started;
};

// What the one block of a collection was told.
struct Outcome {
  int calls = 0;
  Names finished, unfinished;
  int64_t durationMs = -1;
  std::string failure;
  std::string queue;
};

Names names(const Operations& ops) {
  Names out;
  for (const auto& op : ops) out.push_back(op->instanceName());
  return out;
}

class BiddingDataManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<QBBiddingAsyncOperation> operation(const std::string& name, Answer answer) {
    auto bidder = bidders.emplace_back(std::make_shared<FakeBidder>(std::move(answer)));
    auto config = QBAdapterConfig::create(name, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json{{"instanceType", "2"}});
    auto adData = QBAdData::initWithServerData("", Json::object(), Json::object(), config);
    return QBBiddingAsyncOperation::initWithInstanceName(name, config, adData, events, bidder);
  }
  // An operation whose bidder works for `ms` of platform time.
  std::shared_ptr<QBBiddingAsyncOperation> slow(const std::string& name, int64_t ms) {
    return operation(name, [this, ms]() -> std::optional<Json> {
      env.advance(ms);
      return Json{{"token", "s"}};
    });
  }

  void collect(const Operations& ops, double timeoutMs) {
    manager->collectAllBiddingDataWithOperations(
        ops, timeoutMs,
        [this](const Operations& finished, const Operations& unfinished, int64_t duration) {
          ++outcome.calls;
          outcome.finished = names(finished);
          outcome.unfinished = names(unfinished);
          outcome.durationMs = duration;
          outcome.queue = platform::currentQueueLabel();
        },
        [this](const std::string& reason) {
          ++outcome.calls;
          outcome.failure = reason;
          outcome.queue = platform::currentQueueLabel();
        });
  }

  platform::TestEnvironment env;
  std::shared_ptr<RecordingEvents> events = std::make_shared<RecordingEvents>();
  std::shared_ptr<QBBiddingDataManager> manager = QBBiddingDataManager::initWithIdentifier("QBTestManager");
  std::vector<std::shared_ptr<FakeBidder>> bidders;
  Outcome outcome;
};

TEST_F(BiddingDataManagerTest, AllFinishedAnswersOnceOnThePrivateQueueWithEachOutcome) {
  auto a = operation("A", [] { return Json{{"token", "a"}}; });
  auto throwing = operation("Throwing", []() -> std::optional<Json> { throw std::runtime_error("store locked"); });
  auto empty = operation("Empty", [] { return std::nullopt; });
  auto released = operation("Released", [] { return Json::object(); });
  bidders.pop_back();  // its adapter is gone before the collection runs
  collect({a, throwing, empty, a, released}, 500);
  EXPECT_EQ(outcome.calls, 0);  // never inline

  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.finished, (Names{"A", "Throwing", "Empty", "Released"}));  // listed twice, run once
  EXPECT_TRUE(outcome.unfinished.empty());
  EXPECT_EQ(outcome.durationMs, 0);
  EXPECT_EQ(outcome.queue, "com.quillborne.biddingbackgroundQueue.QBTestManager");
  EXPECT_EQ(events->started, (Names{"A", "Throwing", "Empty", "Released"}));
  EXPECT_EQ(a->getBiddingResponse().biddingData, (Json{{"token", "a"}}));
  EXPECT_EQ(a->getBiddingResponse().errorMessage, "");
  EXPECT_EQ(throwing->getBiddingResponse().biddingData, std::nullopt);
  EXPECT_EQ(throwing->getBiddingResponse().errorMessage,
            "Exception while calling network adapter getBiddingData from Throwing, exception = std::runtime_error "
            "store locked");
  EXPECT_EQ(empty->getBiddingResponse().errorMessage, QBBiddingAsyncOperation::kMissingBiddingData);
  EXPECT_EQ(released->getBiddingResponse().errorMessage, QBBiddingAsyncOperation::kAdapterNotAvailable);

  env.advance(1000);  // the timeout was cancelled: no second answer
  EXPECT_EQ(outcome.calls, 1);
}

TEST_F(BiddingDataManagerTest, TimeoutSplitsFinishedFromUnfinishedAndIgnoresLateAnswers) {
  auto fast = operation("Fast", [] { return Json{{"token", "f"}}; });
  auto late = operation("Late", [] { return Json{{"token", "l"}}; });
  auto slowOne = slow("Slow", 800);  // the collection's timeout fires meanwhile
  collect({fast, slowOne, late}, 500);
  env.runUntilIdle();

  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.finished, (Names{"Fast", "Late"}));  // in the order given
  EXPECT_EQ(outcome.unfinished, Names{"Slow"});
  EXPECT_EQ(outcome.durationMs, 500);
  // The slow operation did finish afterwards; nobody was told again.
  EXPECT_TRUE(slowOne->isFinished());
  EXPECT_EQ(slowOne->getBiddingResponse().totalDuration, 800);
  env.advance(1000);
  EXPECT_EQ(outcome.calls, 1);
}

TEST_F(BiddingDataManagerTest, NoOperationsFailOnceAndTheCollectionOutlivesItsManager) {
  collect({}, 500);
  EXPECT_EQ(outcome.calls, 0);
  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.failure, QBBiddingDataManager::kNoOperations);
  EXPECT_EQ(outcome.queue, "com.quillborne.biddingbackgroundQueue.QBTestManager");

  outcome = Outcome{};
  collect({slow("Slow", 900)}, 300);
  manager.reset();
  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.unfinished, Names{"Slow"});
}

// Real threads: two bidders that each wait for the other can only finish when
// the operations run side by side.
TEST(BiddingDataManagerRealThreadsTest, OperationsRunInParallel) {
  std::mutex m;
  std::condition_variable cv;
  int arrived = 0;
  auto bidder = std::make_shared<FakeBidder>([&]() -> std::optional<Json> {
    std::unique_lock lock(m);
    ++arrived;
    cv.notify_all();
    // Bounded only so that a broken build fails instead of hanging.
    if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return arrived >= 2; })) return std::nullopt;
    return Json{{"token", "t"}};
  });
  auto op = [&](const std::string& name) {
    auto config = QBAdapterConfig::create(name, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json::object());
    return QBBiddingAsyncOperation::initWithInstanceName(name, config, nullptr, {}, bidder);
  };
  std::promise<Names> done;
  auto manager = QBBiddingDataManager::initWithIdentifier("QBParallelTest");
  manager->collectAllBiddingDataWithOperations(
      {op("One"), op("Two")}, 60'000,
      [&](const Operations& finished, const Operations&, int64_t) { done.set_value(names(finished)); },
      [&](const std::string&) { done.set_value({}); });
  EXPECT_EQ(done.get_future().get(), (Names{"One", "Two"}));
}

}  // namespace
