#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/repeated_line.h"
#include "platform/test_environment.h"

using namespace platform;

namespace {

// Feeds `count` lines and answers the ones written.
std::vector<std::string> feed(LineRateLimit& limit, int count, const std::string& text = "line") {
  std::vector<std::string> written;
  for (int i = 0; i < count; ++i)
    if (auto line = limit.admit(text + std::to_string(i))) written.push_back(*line);
  return written;
}

TEST(LineRateLimitTest, ABurstIsWrittenThenTenLinesASecondWithTheHeldBackCount) {
  TestEnvironment env;
  LineRateLimit limit;
  // The burst goes out at once; the rest of a flood is held back.
  EXPECT_EQ(feed(limit, 1000).size(), 10u);
  EXPECT_EQ(limit.heldBackTotal(), 990u);

  // A tenth of a second later one line is due, and it carries the count.
  env.advance(99);
  EXPECT_FALSE(limit.admit("early"));
  env.advance(1);
  EXPECT_EQ(limit.admit("next"), std::optional<std::string>("next (991 more lines held back before this one)"));
  EXPECT_FALSE(limit.admit("again"));

  // A flood over ten seconds writes about ten lines a second, whatever it sends.
  size_t written = 0;
  for (int second = 0; second < 10; ++second) {
    for (int tick = 0; tick < 250; ++tick) {
      env.advance(4);
      written += feed(limit, 40).size();
    }
  }
  EXPECT_GE(written, 99u);
  EXPECT_LE(written, 101u);
}

TEST(LineRateLimitTest, AQuietSourceRefillsToItsBurstOnly) {
  TestEnvironment env;
  LineRateLimit limit;
  EXPECT_EQ(feed(limit, 5).size(), 5u);
  env.advance(60'000);
  // A minute of silence gives back the burst, not six hundred lines.
  const auto written = feed(limit, 30);
  ASSERT_EQ(written.size(), 10u);
  EXPECT_EQ(written.front(), "line0");  // nothing was held back before
  EXPECT_EQ(limit.heldBackTotal(), 20u);
}

}  // namespace
