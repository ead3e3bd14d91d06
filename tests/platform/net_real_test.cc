// URLSession in real mode (no TestEnvironment): worker threads and the I/O
// thread deliver for real, so these run under the thread sanitizer too. Waits
// are real time, bounded.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/net.h"
#include "support/sandbox_server.h"

using namespace platform;

namespace {

constexpr auto kWait = std::chrono::seconds(10);
constexpr auto kFlagWait = std::chrono::duration_cast<std::chrono::milliseconds>(kWait);
// How long a block waits for something that must not happen while it runs:
// it would happen within microseconds.
constexpr auto kWindow = std::chrono::milliseconds(200);

std::string threadName() {
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
}

// Waits (bounded by `limit`) until `flag` is set; its value at the end.
bool waitForFlag(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!flag.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
  return flag.load();
}

struct Tally {
  std::mutex m;
  std::condition_variable cv;
  int done = 0;
  std::vector<std::string> problems;

  void finish(std::string problem = {}) {
    std::lock_guard lock(m);
    ++done;
    if (!problem.empty()) problems.push_back(std::move(problem));
    cv.notify_all();
  }
  bool waitFor(int n) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, kWait, [&] { return done >= n; });
  }
};

// Each completion runs once, as a block of the queue its caller chose,
// whichever thread started it and whether or not another thread cancels it.
TEST(NetRealMode, CompletionsRunOnceOnTheChosenQueueFromManyThreads) {
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  server.answer("/r", 200, "r");
  auto session = std::make_shared<URLSession>();
  auto serial = createSerialQueue("com.quillborne.test.net-real");
  auto tally = std::make_shared<Tally>();
  constexpr int kThreads = 4, kPerThread = 25;
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        QueueRef queue = (i % 2) ? serial : nullptr;
        const std::string expected = queue ? queue->label() : globalQueue()->label();
        auto calls = std::make_shared<std::atomic<int>>(0);
        auto task = session->dataTask(URLRequest{.url = server.url("/r"), .timeoutSeconds = 10}, queue,
                                      [tally, calls, expected, queue](DataTaskResult r) {
                                        std::string problem;
                                        if (calls->fetch_add(1) != 0) problem = "ran twice";
                                        if (currentQueueLabel() != expected) problem += " on " + currentQueueLabel();
                                        if (queue && !queue->isCurrent()) problem += " not current";
                                        const bool cancelled = r.error && r.error->code == URLErrorCode::Cancelled;
                                        if (!cancelled && (!r.response || r.body != "r")) problem += " bad result";
                                        tally->finish(problem);
                                      });
        task->resume();
        if ((i + t) % 5 == 0) task->cancel();
      }
    });
  }
  for (auto& c : callers) c.join();
  ASSERT_TRUE(tally->waitFor(kThreads * kPerThread));
  session.reset();
  std::lock_guard lock(tally->m);
  EXPECT_EQ(tally->done, kThreads * kPerThread);
  EXPECT_TRUE(tally->problems.empty()) << tally->problems.front();
}

// The completion may hold the last reference to its session; releasing it
// there must neither deadlock nor touch the released session.
TEST(NetRealMode, SessionReleasedByItsOwnCompletion) {
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  server.answer("/r", 200, "r");
  auto tally = std::make_shared<Tally>();
  for (int i = 0; i < 5; ++i) {
    auto session = std::make_shared<URLSession>();
    auto holder = std::make_shared<std::shared_ptr<URLSession>>(session);
    session->dataTask(URLRequest{.url = server.url("/r"), .timeoutSeconds = 10}, nullptr,
                      [tally, holder](DataTaskResult r) {
                        holder->reset();
                        tally->finish(r.body == "r" ? "" : "bad result");
                      })
        ->resume();
  }
  ASSERT_TRUE(tally->waitFor(5));
  std::lock_guard lock(tally->m);
  EXPECT_TRUE(tally->problems.empty()) << tally->problems.front();
}

// A completion on a global queue runs on the I/O thread before the finished
// transfer's handle is released: the next request, started from there on the
// same session while another thread starts its own, gets its answer, and
// cancelling the finished task there changes nothing.
TEST(NetRealMode, RequestsStartedFromCompletionsBeforeTheirHandlesAreReleased) {
  qbtest::SandboxServer server;
  ASSERT_TRUE(server.start());
  server.answer("/r", 200, "r");
  auto session = std::make_shared<URLSession>();
  auto tally = std::make_shared<Tally>();
  constexpr int kChain = 60, kBeside = 30;
  const URLRequest request{.url = server.url("/r"), .timeoutSeconds = 10};
  // Each link starts the next from its completion.
  auto next = std::make_shared<std::function<void(int)>>();
  *next = [&session, request, tally, next](int left) {
    auto task = std::make_shared<std::shared_ptr<DataTask>>();
    *task = session->dataTask(request, nullptr, [tally, next, task, left](DataTaskResult r) {
      (*task)->cancel();
      if (left > 1) (*next)(left - 1);
      tally->finish(r.response && r.response->statusCode == 200 && r.body == "r" ? "" : "bad result");
      task->reset();
    });
    (*task)->resume();
  };
  std::thread beside([&] {
    for (int i = 0; i < kBeside; ++i) {
      session->dataTask(request, nullptr, [tally](DataTaskResult r) { tally->finish(r.body == "r" ? "" : "bad"); })
          ->resume();
    }
  });
  (*next)(kChain);
  beside.join();
  ASSERT_TRUE(tally->waitFor(kChain + kBeside));
  session.reset();
  *next = nullptr;
  std::lock_guard lock(tally->m);
  EXPECT_EQ(tally->done, kChain + kBeside);
  EXPECT_TRUE(tally->problems.empty()) << tally->problems.front();
}

// Where completions run: a loopback server answering "/r", and a session.
class NetRealModeDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    server.answer("/r", 200, "r");
  }
  URLRequest request() { return URLRequest{.url = server.url("/r"), .timeoutSeconds = 10}; }

  qbtest::SandboxServer server;
  std::shared_ptr<URLSession> session = std::make_shared<URLSession>();
};

// A completion for a light serial queue with no block running or waiting
// runs where the transfer ended, on the session's I/O thread, as a block of
// that queue; one for any other serial queue (whose completions may run
// scripts or wait) is posted to a worker.
TEST_F(NetRealModeDelivery, CompletionsOfIdleLightSerialQueuesRunWhereTheTransferEnded) {
  struct Seen {
    std::string thread;
    bool current = false;
    std::string body;
  };
  auto fetch = [&](const QueueRef& queue) {
    auto seen = std::make_shared<Seen>();
    auto tally = std::make_shared<Tally>();
    session
        ->dataTask(request(), queue,
                   [seen, tally, queue](DataTaskResult r) {
                     *seen = Seen{threadName(), queue->isCurrent(), r.body};
                     tally->finish();
                   })
        ->resume();
    EXPECT_TRUE(tally->waitFor(1));
    std::lock_guard lock(tally->m);
    return *seen;
  };
  const Seen light = fetch(createLightSerialQueue("com.quillborne.test.net-light"));
  EXPECT_EQ(light.thread, "qb-net-io");
  EXPECT_TRUE(light.current);
  EXPECT_EQ(light.body, "r");
  for (const auto& other : {createSerialQueue("com.quillborne.test.net-serial"),
                            createBackgroundSerialQueue("com.quillborne.test.net-background")}) {
    const Seen seen = fetch(other);
    EXPECT_EQ(seen.thread, "qb-worker") << other->label();
    EXPECT_TRUE(seen.current) << other->label();
    EXPECT_EQ(seen.body, "r") << other->label();
  }
}

// A transfer that ends while its light serial queue runs a block: the completion
// waits for that block and runs after it, on a worker. The block holds the
// queue for a while after the transfer ended, so a completion run beside it
// would be seen every time.
TEST_F(NetRealModeDelivery, ACompletionWaitsForTheBlockItsSerialQueueRuns) {
  auto serial = createLightSerialQueue("com.quillborne.test.net-busy");
  std::atomic<bool> blockStarted{false}, blockEnded{false}, completionStarted{false};
  auto tally = std::make_shared<Tally>();
  std::string thread;
  bool blockEndedFirst = false;
  auto task = session->dataTask(request(), serial, [&](DataTaskResult) {
    completionStarted.store(true);
    blockEndedFirst = blockEnded.load();
    thread = threadName();
    tally->finish();
  });
  serial->async([&] {
    blockStarted.store(true);
    const auto end = std::chrono::steady_clock::now() + kWait;
    while (task->state() != URLSessionTaskState::Completed && std::chrono::steady_clock::now() < end) {
      std::this_thread::yield();
    }
    waitForFlag(completionStarted, kWindow);
    blockEnded.store(true);
  });
  ASSERT_TRUE(waitForFlag(blockStarted, kFlagWait));
  task->resume();
  ASSERT_TRUE(tally->waitFor(1));
  std::lock_guard lock(tally->m);
  EXPECT_TRUE(blockEndedFirst);
  EXPECT_EQ(thread, "qb-worker");
}

// While a completion runs on the I/O thread as its serial queue's block, the
// queue is busy: blocks posted to it meanwhile run after it, in order, on a
// worker. The completion stays a while after the first of them was posted,
// so one run beside it would be seen every time.
TEST_F(NetRealModeDelivery, BlocksPostedWhileACompletionRunsOnTheIOThreadWaitForIt) {
  auto serial = createLightSerialQueue("com.quillborne.test.net-inline");
  std::atomic<bool> completionStarted{false}, posted{false}, firstRan{false};
  auto tally = std::make_shared<Tally>();
  std::mutex orderMutex;
  std::vector<std::string> order;
  auto note = [&](std::string what) {
    std::lock_guard lock(orderMutex);
    order.push_back(std::move(what));
  };
  session
      ->dataTask(request(), serial,
                 [&](DataTaskResult) {
                   completionStarted.store(true);
                   waitForFlag(posted, kFlagWait);
                   waitForFlag(firstRan, kWindow);
                   note("completion on " + threadName());
                   tally->finish();
                 })
      ->resume();
  ASSERT_TRUE(waitForFlag(completionStarted, kFlagWait));
  serial->async([&] {
    firstRan.store(true);
    note("first on " + threadName());
    tally->finish();
  });
  serial->async([&] {
    note("second");
    tally->finish();
  });
  posted.store(true);
  ASSERT_TRUE(tally->waitFor(3));
  std::lock_guard lock(orderMutex);
  EXPECT_EQ(order, (std::vector<std::string>{"completion on qb-net-io", "first on qb-worker", "second"}));
}

}  // namespace
