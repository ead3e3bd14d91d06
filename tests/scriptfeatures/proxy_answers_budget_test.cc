// The HTTP proxy answers the controller page later, from the main queue, once
// the request has gone to the server and back: both its answers are still
// the page's work. A page that sends its request again on every answer is
// charged each answer (5 us with the processor clock frozen) and stopped by
// its web view's budget.
#include <gtest/gtest.h>

#include "ownnetwork/publisher_test_support.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"

namespace {

using ProxyAnswersBudgetTest = qbtest::BudgetedPublisherTest;

TEST_F(ProxyAnswersBudgetTest, APageThatSendsAgainOnEveryAnswerIsStoppedByItsBudget) {
  // 2 ms: 400 tasks, the page's start-up included; each round is two answers
  // ("requestStarted", then the response).
  constexpr double kBudgetMs = 2;
  const auto tasks = static_cast<size_t>(kBudgetMs / platform::ProcessorBudget::kTaskOverheadMs);
  server.answer("/ping", 200, "pong", {{"Content-Type", "text/plain"}});
  qb::scriptfeatures::registerWithOwnNetwork();
  startWithBudget(kBudgetMs);
  ASSERT_FALSE(stoppedByBudget());
  const auto rounds = [&] { return server.requestsTo("/ping").size(); };
  // A loop nothing stops ends by itself after twice the rounds the budget allows.
  pageView()->evaluateJavaScript("var rounds = 0; (function again() { if (++rounds <= " + std::to_string(tasks) +
                                     ") PMA_CORE.proxy({url: '" + server.url("/ping") + "'}, again); })(); 0",
                                 nullptr);
  env.runUntil([&] { return stoppedByBudget() || rounds() >= tasks; }, 60'000);
  EXPECT_TRUE(stoppedByBudget()) << rounds() << " rounds";
  EXPECT_LE(rounds(), tasks / 2 + 1);
  EXPECT_GE(rounds(), tasks * 3 / 8);
}

}  // namespace
