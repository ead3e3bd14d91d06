// Real threads (no test environment): cancellation racing failed trials and
// retries on the handler's worker queue still completes every auction once.
// Meant for the thread-sanitizer build as much as for the plain one.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "mediation/QBAuctionHandler.h"

namespace {

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
