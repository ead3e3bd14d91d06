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

namespace {

// A bidder whose answer is a function: a token, none, a throw, or work that
// takes time on the platform clock.
class FakeBidder : public QBBiddingDataProtocol {
 public:
  explicit FakeBidder(std::function<std::optional<Json>()> answer) : answer_(std::move(answer)) {}
  std::optional<Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>&) override { return answer_(); }

 private:
  std::function<std::optional<Json>()> answer_;
};

class RecordingEvents : public QBBiddingDataEventProtocol {
 public:
  void sendCollectingBiddingDataEvent(const std::shared_ptr<QBAdapterConfig>& config) override {
    std::lock_guard lock(m);
    started.push_back(config->providerName());
  }
  std::mutex m;
  std::vector<std::string> started;
};

// What the one block of a collection was told.
struct Outcome {
  int calls = 0;
  std::vector<std::string> finished, unfinished;
  int64_t durationMs = -1;
  std::string failure;
  std::string queue;
};

std::vector<std::string> names(const Operations& ops) {
  std::vector<std::string> out;
  for (const auto& op : ops) out.push_back(op->instanceName());
  return out;
}

class BiddingDataManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<QBBiddingAsyncOperation> operation(const std::string& name, std::shared_ptr<FakeBidder> bidder) {
    bidders.push_back(bidder);
    auto config = QBAdapterConfig::create(name, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json{{"instanceType", "2"}});
    auto adData = QBAdData::initWithServerData("", Json::object(), Json::object(), config);
    return QBBiddingAsyncOperation::initWithInstanceName(name, config, adData, events, bidder);
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

TEST_F(BiddingDataManagerTest, AllFinishedAnswersOnceOnThePrivateQueue) {
  auto a = operation("A", std::make_shared<FakeBidder>([] { return Json{{"token", "a"}}; }));
  auto b = operation("B", std::make_shared<FakeBidder>([] { return Json{{"token", "b"}}; }));
  collect({a, b, a}, 500);
  EXPECT_EQ(outcome.calls, 0);  // never inline

  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.finished, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(outcome.unfinished.empty());
  EXPECT_EQ(outcome.durationMs, 0);
  EXPECT_EQ(outcome.queue, "com.quillborne.biddingbackgroundQueue.QBTestManager");
  EXPECT_EQ(events->started, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(a->getBiddingResponse().biddingData, (Json{{"token", "a"}}));
  EXPECT_EQ(a->getBiddingResponse().errorMessage, "");

  env.advance(1000);  // the timeout was cancelled: no second answer
  EXPECT_EQ(outcome.calls, 1);
}

TEST_F(BiddingDataManagerTest, TimeoutSplitsFinishedFromUnfinishedAndIgnoresLateAnswers) {
  auto fast = operation("Fast", std::make_shared<FakeBidder>([] { return Json{{"token", "f"}}; }));
  // The slow bidder works for 800 ms of platform time; the collection's
  // timeout fires meanwhile.
  auto slow = operation("Slow", std::make_shared<FakeBidder>([this]() -> std::optional<Json> {
                          env.advance(800);
                          return Json{{"token", "s"}};
                        }));
  auto late = operation("Late", std::make_shared<FakeBidder>([] { return Json{{"token", "l"}}; }));
  collect({fast, slow, late}, 500);
  env.runUntilIdle();

  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.finished, (std::vector<std::string>{"Fast", "Late"}));  // in the order given
  EXPECT_EQ(outcome.unfinished, std::vector<std::string>{"Slow"});
  EXPECT_EQ(outcome.durationMs, 500);
  // The slow operation did finish afterwards; nobody was told again.
  EXPECT_TRUE(slow->isFinished());
  EXPECT_EQ(slow->getBiddingResponse().totalDuration, 800);
  env.advance(1000);
  EXPECT_EQ(outcome.calls, 1);
}

TEST_F(BiddingDataManagerTest, ThrowingEmptyAndReleasedBiddersFinishWithErrors) {
  auto throwing = operation("Throwing", std::make_shared<FakeBidder>([]() -> std::optional<Json> {
                              throw std::runtime_error("token store locked");
                            }));
  auto empty = operation("Empty", std::make_shared<FakeBidder>([] { return std::nullopt; }));
  auto released = operation("Released", std::make_shared<FakeBidder>([] { return Json::object(); }));
  bidders.pop_back();  // its adapter is gone before the collection runs
  collect({throwing, empty, released}, 500);
  env.runUntilIdle();

  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.finished, (std::vector<std::string>{"Throwing", "Empty", "Released"}));
  auto r = throwing->getBiddingResponse();
  EXPECT_EQ(r.biddingData, std::nullopt);
  EXPECT_EQ(r.errorMessage,
            "Exception while calling network adapter getBiddingData from Throwing, exception = std::runtime_error "
            "token store locked");
  EXPECT_EQ(empty->getBiddingResponse().errorMessage, QBBiddingAsyncOperation::kMissingBiddingData);
  EXPECT_EQ(released->getBiddingResponse().errorMessage, QBBiddingAsyncOperation::kAdapterNotAvailable);
}

TEST_F(BiddingDataManagerTest, NoOperationsFailOnceAndTheCollectionOutlivesItsManager) {
  collect({}, 500);
  EXPECT_EQ(outcome.calls, 0);
  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.failure, QBBiddingDataManager::kNoOperations);
  EXPECT_EQ(outcome.queue, "com.quillborne.biddingbackgroundQueue.QBTestManager");

  outcome = Outcome{};
  auto slow = operation("Slow", std::make_shared<FakeBidder>([this]() -> std::optional<Json> {
                          env.advance(900);
                          return std::nullopt;
                        }));
  collect({slow}, 300);
  manager.reset();
  env.runUntilIdle();
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_EQ(outcome.unfinished, std::vector<std::string>{"Slow"});
}

// Real threads: two bidders that each wait for the other can only finish when
// the operations run side by side.
TEST(BiddingDataManagerRealThreadsTest, OperationsRunInParallel) {
  std::mutex m;
  std::condition_variable cv;
  int arrived = 0;
  auto meet = [&]() -> std::optional<Json> {
    std::unique_lock lock(m);
    ++arrived;
    cv.notify_all();
    // Bounded only so that a broken build fails instead of hanging.
    if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return arrived >= 2; })) return std::nullopt;
    return Json{{"token", "t"}};
  };
  auto b1 = std::make_shared<FakeBidder>(meet);
  auto b2 = std::make_shared<FakeBidder>(meet);
  auto op = [](const std::string& name, std::shared_ptr<FakeBidder> b) {
    auto config = QBAdapterConfig::create(name, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json::object());
    return QBBiddingAsyncOperation::initWithInstanceName(name, config, nullptr, {}, b);
  };
  auto manager = QBBiddingDataManager::initWithIdentifier("QBParallelTest");
  std::promise<std::vector<std::string>> done;
  manager->collectAllBiddingDataWithOperations(
      {op("One", b1), op("Two", b2)}, 60'000,
      [&](const Operations& finished, const Operations&, int64_t) { done.set_value(names(finished)); },
      [&](const std::string&) { done.set_value({}); });
  auto finished = done.get_future().get();
  EXPECT_EQ(finished, (std::vector<std::string>{"One", "Two"}));
}

}  // namespace
