#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "foundation_test_support.h"
#include "platform/dispatch.h"
#include "quillborne/QBLogDelegate.h"

namespace {

struct RecordingLogDelegate : QBLogDelegate {
  void sendLog(const std::string& log, int level, int tag) override { calls.emplace_back(log, level, tag); }
  std::vector<std::tuple<std::string, int, int>> calls;
};

class LoggerTest : public foundationtest::FoundationTest {
 protected:
  QBLoggerManager& logger = QBLoggerManager::sharedInstance();
};

TEST_F(LoggerTest, ConsoleLineTextOnAndOffTheMainThread) {
  logger.dynamicLog("method", "message", 0, QBLogTagAPI);
  platform::globalQueue()->async([&] { logger.dynamicLog("loadAd", "started", 1, QBLogTagAdapterAPI); });
  platform::mainQueue()->async([&] { logger.dynamicLog("onMain", "from main", 3, QBLogTagEvent); });
  env.runUntilIdle();
  logger.log("no method", 0, QBLogTagInternal);
  logger.dynamicLog(nullptr, "null method", 0, 99);

  EXPECT_EQ(console.lines(), (std::vector<std::string>{
                       "[quillborne SDK] API: UITHREAD: true method - message",
                       "[quillborne SDK] ADAPTER_API: UITHREAD: false loadAd - started",
                       "[quillborne SDK] EVENT: UITHREAD: true onMain - from main",
                       "[quillborne SDK] INTERNAL: UITHREAD: true no method",
                       "[quillborne SDK] UNKNOWN: UITHREAD: true null method",
                   }));
}

TEST_F(LoggerTest, EachSinkWritesLevelsAtOrAboveItsOwnAndMinusOneIsOff) {
  auto delegate = std::make_shared<RecordingLogDelegate>();
  logger.setLogDelegate(delegate);

  logger.dynamicLog("m", "level0", 0, QBLogTagAPI);
  logger.dynamicLog("m", "level1", 1, QBLogTagDelegate);
  EXPECT_EQ(console.lines().size(), 2u);
  ASSERT_EQ(delegate->calls.size(), 1u);
  EXPECT_EQ(delegate->calls[0], std::make_tuple(std::string("m - level1"), 1, 1));

  logger.setConsoleLevel(2);
  logger.setPublisherLevel(-1);
  logger.dynamicLog("m", "level1", 1, QBLogTagAPI);
  logger.dynamicLog("m", "level2", 2, QBLogTagAPI);
  logger.dynamicLog("m", "level4", 4, QBLogTagAPI);
  EXPECT_EQ(console.lines().size(), 4u);
  EXPECT_EQ(console.lines().back(), "[quillborne SDK] API: UITHREAD: true m - level4");
  EXPECT_EQ(delegate->calls.size(), 1u);

  logger.setConsoleLevel(-1);
  logger.setPublisherLevel(3);
  logger.dynamicLog("m", "level2", 2, QBLogTagNetwork);
  logger.dynamicLog("m", "level3", 3, QBLogTagNetwork);
  EXPECT_EQ(console.lines().size(), 4u);
  ASSERT_EQ(delegate->calls.size(), 2u);
  EXPECT_EQ(delegate->calls[1], std::make_tuple(std::string("m - level3"), 3, 4));

  // The delegate is held weakly; the console keeps writing once it is gone.
  std::weak_ptr<RecordingLogDelegate> weak = delegate;
  delegate.reset();
  EXPECT_TRUE(weak.expired());
  logger.setConsoleLevel(0);
  logger.log("after", 3, QBLogTagAPI);
  EXPECT_EQ(console.lines().size(), 5u);
}

// QB_LOG puts its message together only for a line that goes somewhere: a
// level the console takes, or one the application's delegate takes while
// there is a delegate.
TEST_F(LoggerTest, QbLogBuildsItsMessageOnlyForALineThatIsWritten) {
  int built = 0;
  const auto message = [&] {
    ++built;
    return std::string("text");
  };
  logger.setConsoleLevel(3);
  logger.setPublisherLevel(1);
  QB_LOG(message(), 2, QBLogTagAPI);  // below the console's level, no delegate
  EXPECT_EQ(built, 0);
  EXPECT_FALSE(logger.writes(2));

  auto delegate = std::make_shared<RecordingLogDelegate>();
  logger.setLogDelegate(delegate);
  QB_LOG(message(), 2, QBLogTagAPI);  // the delegate takes level 1 and above
  EXPECT_EQ(built, 1);
  ASSERT_EQ(delegate->calls.size(), 1u);
  EXPECT_NE(std::get<0>(delegate->calls[0]).find("text"), std::string::npos);

  logger.setPublisherLevel(-1);
  QB_LOG(message(), 2, QBLogTagAPI);
  EXPECT_EQ(built, 1);
  QB_LOG(message(), 3, QBLogTagAPI);  // the console's level
  EXPECT_EQ(built, 2);
  EXPECT_EQ(console.lines().size(), 1u);
}

TEST_F(LoggerTest, AutomationLogLinesCarryThePrefixAndTheTime) {
  auto delegate = std::make_shared<RecordingLogDelegate>();
  logger.setLogDelegate(delegate);
  env.advance(123);
  logger.automationLog("rv loaded", 1, QBLogTagEvent);
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_TRUE(std::regex_match(
      console.lines()[0], std::regex(R"(\[quillborne SDK\] EVENT: UITHREAD: true automation_log:\d\d:\d\d:\d\d\.123 rv loaded)")))
      << console.lines()[0];
  ASSERT_EQ(delegate->calls.size(), 1u);
  EXPECT_TRUE(std::regex_match(std::get<0>(delegate->calls[0]),
                               std::regex(R"(automation_log:\d\d:\d\d:\d\d\.123 rv loaded)")));

  logger.setConsoleLevel(2);
  logger.automationLog("filtered", 1, QBLogTagEvent);  // sink levels apply
  EXPECT_EQ(console.lines().size(), 1u);
}

// A value of any size (an application's key, a server's answer, a page's
// text) leaves a line of bounded size that keeps the message's head and tail,
// cut between characters, and says how long it was; both sinks and the other
// logs' console lines get the same text.
TEST_F(LoggerTest, ALongMessageIsCutWhereTheLineIsFormedAndSaysItsLength) {
  auto delegate = std::make_shared<RecordingLogDelegate>();
  logger.setLogDelegate(delegate);
  std::string euros;  // three-byte characters: neither cut point falls between two
  while (euros.size() < (1 << 20)) euros += "\xe2\x82\xac";
  logger.dynamicLog("m", "key \"" + euros + "\" refused", 3, QBLogTagAPI);
  const std::string body = "m - key \"" + euros + "\" refused";
  ASSERT_EQ(delegate->calls.size(), 1u);
  const std::string& line = std::get<0>(delegate->calls[0]);
  const size_t marker = line.find(" ... [" + std::to_string(body.size()) + " bytes in all, ");
  ASSERT_NE(marker, std::string::npos);
  const std::string tail = line.substr(line.find(" cut] ... ") + 10);
  EXPECT_EQ((marker - 9) % 3, 0u);  // whole euros after `m - key "`
  EXPECT_EQ((tail.size() - 9) % 3, 0u);  // and before `" refused`
  EXPECT_EQ(line.substr(0, marker), body.substr(0, marker));
  EXPECT_EQ(tail, body.substr(body.size() - tail.size()));
  EXPECT_NE(line.find(" bytes in all, " + std::to_string(body.size() - marker - tail.size()) + " cut] ... "),
            std::string::npos);
  EXPECT_LT(line.size(), 1400u);
  EXPECT_EQ(console.lines(), std::vector<std::string>{"[quillborne SDK] API: UITHREAD: true " + line});

  // Up to the bound a message stays whole; the own network's lines are cut alike.
  const std::string whole(QBLoggerManager::kLongMessageBytes, 'x');
  logger.log(whole, 3, QBLogTagAPI);
  EXPECT_EQ(std::get<0>(delegate->calls.back()), whole);
  logger.writeConsoleLine(3, "[QuillborneNetwork | SDK | " + euros + "]");
  EXPECT_NE(console.lines().back().find(" ... [" + std::to_string(euros.size() + 28) + " bytes in all, "),
            std::string::npos);
  EXPECT_LT(console.lines().back().size(), 1400u);
}

}  // namespace
