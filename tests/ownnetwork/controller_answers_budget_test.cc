// The controller page's answers are the page's work: a page whose callback
// asks again as soon as it is answered loops through the native side, and
// every answer the publisher evaluates in it is charged to its web view's
// processor budget until the page is stopped. The processor clock is frozen,
// so each answer costs exactly what a task costs the host (5 us).
#include <gtest/gtest.h>

#include "ownnetwork/publisher_test_support.h"

namespace qbtest {
namespace {

class ControllerAnswersBudgetTest : public BudgetedPublisherTest {
 protected:
  // The answers evaluated in the page that hold `part`.
  size_t answers(const std::string& part) {
    size_t n = 0;
    for (const auto& line : lines()) n += line.find(part) != std::string::npos;
    return n;
  }
};

TEST_F(ControllerAnswersBudgetTest, APageThatAsksAgainOnEveryAnswerIsStoppedByItsBudget) {
  // 2 ms: 400 tasks, the page's start-up included.
  constexpr double kBudgetMs = 2;
  const auto tasks = static_cast<size_t>(kBudgetMs / platform::ProcessorBudget::kTaskOverheadMs);
  startWithBudget(kBudgetMs);
  ASSERT_FALSE(stoppedByBudget());
  pageView()->evaluateJavaScript(
      "var rounds = 0; (function again() {"
      "  if (++rounds <= " + std::to_string(2 * tasks) + ") PMA_CORE.ask('getOrientation', {}, again); })(); 0",
      nullptr);
  const std::string answer = R"(Success?parameters={"orientation":"portrait"})";
  // A loop nothing stops ends by itself after twice the rounds the budget allows.
  env.runUntil([&] { return stoppedByBudget() || answers(answer) >= 2 * tasks; });
  EXPECT_TRUE(stoppedByBudget()) << answers(answer) << " answers";
  // The page asked once more in the task that spent the budget: that answer
  // is evaluated too, in a stopped page.
  EXPECT_LE(answers(answer), tasks + 1);
  EXPECT_GE(answers(answer), tasks * 3 / 4);
}

}  // namespace
}  // namespace qbtest
