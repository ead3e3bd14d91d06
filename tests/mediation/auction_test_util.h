#pragma once
// Shared fixture of the auction tests: one loopback sandbox for the suite, a
// fresh auction route per test, and a recorder of completions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/QBAuctionSettings.h"
#include "mediation/QBAuctionHandler.h"
#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/test_environment.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_server.h"

namespace qbtest {

class AuctionFixture : public ::testing::Test {
 protected:
  struct Completion {
    std::shared_ptr<QBAuctionResponseParams> response;
    std::string queueLabel;
  };

  static void SetUpTestSuite() {
    server_ = new SandboxServer();
    started_ = server_->start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  AuctionFixture()
      : path("/auction/" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())),
        auction(*server_, path) {
    server_->clearFaults();
  }

  void SetUp() override { ASSERT_TRUE(started_) << "the sandbox did not start"; }
  SandboxServer& server() { return *server_; }

  // Auction settings towards this test's route; `overrides` replaces keys.
  std::shared_ptr<const QBAuctionSettings> settings(const platform::Json& overrides = platform::Json::object()) {
    platform::Json section = {{"auctioneerURL", auction.url()}, {"maxTrials", 1},         {"timeout", 5000},
                              {"encryptionVersion", 0},         {"compressAuctionRequest", false}};
    for (const auto& [key, value] : overrides.items()) section[key] = value;
    return QBAuctionSettings::fromJson(section);
  }

  std::shared_ptr<QBAuctionHandler> handler(const platform::Json& overrides = platform::Json::object(),
                                            bool encryptedResponse = false) {
    return QBAuctionHandler::initWithAuctionSettings(settings(overrides), encryptedResponse, false, "session-1");
  }

  QBAuctionHandler::CompletionBlock recorder() {
    return [log = completions](std::shared_ptr<QBAuctionResponseParams> response) {
      log->push_back(Completion{std::move(response), platform::currentQueueLabel()});
    };
  }

  // Pumps until the first completion, then drains; the one completion.
  const QBAuctionResponseParams& awaitCompletion() {
    EXPECT_TRUE(env.runUntil([&] { return !completions->empty(); }));
    env.runUntilIdle();
    EXPECT_EQ(completions->size(), 1u);
    static const QBAuctionResponseParams none;
    return completions->empty() ? none : *completions->front().response;
  }

  // Runs the queued work that sends the request, then waits (real time) for
  // n requests to reach this test's route.
  void awaitArrivals(size_t n) {
    env.runUntilIdle();
    ASSERT_TRUE(auction.waitForRequests(n));
  }

  // Pumps until `h` has handled the failed trial and armed its retry timer.
  void awaitRetryTimer(const std::shared_ptr<QBAuctionHandler>& h) {
    ASSERT_TRUE(env.runUntil([&] { return h->waitingToRetryCountForTesting() == 1; }));
  }

  static inline SandboxServer* server_ = nullptr;
  static inline bool started_ = false;

  platform::TestEnvironment env;
  std::string path;
  SandboxAuction auction;
  std::shared_ptr<std::vector<Completion>> completions = std::make_shared<std::vector<Completion>>();
};

}  // namespace qbtest
