// The silent-switch listener through "ringerSwitchAPI" on the test clock:
// the detector plays its sound on the platform's system sounds, whose
// silent switch the test sets, and reports to the page.
#include <gtest/gtest.h>

#include "ownnetwork/cache/PMADownloadManager.h"
#include "platform/storage.h"
#include "platform/ui/application.h"
#include "scriptfeatures/device/QBNRingerButtonJSHandler.h"
#include "scriptfeatures/device/QBNSamplingSound.h"
#include "scriptfeatures_test_support.h"

namespace sftest {
namespace {

class RingerTest : public ScriptFeatureTest {
 protected:
  RingerTest() {
    platform::Application::shared().resetForTesting();
    handler = QBNScriptHandlerFactories::current().ringerButtonHandler(publisher);
  }
  ~RingerTest() override { platform::Application::shared().resetForTesting(); }

  static platform::SystemSounds& sounds() { return platform::SystemSounds::shared(); }

  Json request(const std::string& functionName) {
    return Json{{"functionName", functionName}, {"success", "ok"}, {"fail", "ko"}};
  }
  // Sends a sub-command; its answer comes at once.
  Reply send(const std::string& functionName) {
    handler->invokeAPIWithJSParams(request(functionName));
    auto replies = publisher->page->take();
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Reply{} : replies.front();
  }
  // The reports the page heard while the clock moved `ms`, as "silent" or
  // "sound" with the time since the test started.
  std::vector<std::string> reportsOver(int64_t ms) {
    std::vector<std::string> heard;
    for (int64_t step = 0; step < ms; ++step) {
      env.advance(1);
      for (const auto& reply : publisher->page->take()) {
        EXPECT_EQ(reply.function, kQBNRingerSwitchStatusChanged);
        EXPECT_EQ(reply.option, 2);
        heard.push_back((reply.params["ringerSwitchSilent"].get<bool>() ? "silent " : "sound ") +
                        std::to_string(platform::nowMonotonicMs() - start));
      }
    }
    return heard;
  }

  std::shared_ptr<QBNJSInterfaceHandlerP> handler;
  const int64_t start = platform::nowMonotonicMs();
};

using Heard = std::vector<std::string>;

TEST_F(RingerTest, ReportsAtHalfASecondThenOnlyChanges) {
  sounds().setSilentSwitchOn(true);
  EXPECT_EQ(send("startListener"), (Reply{"ok", Json::object(), 2}));
  // First check at 0.5 s: the muted sound ends at once. Then one check a
  // second after each play: unchanged, nothing is said.
  EXPECT_EQ(reportsOver(3000), Heard{"silent 500"});
  // The switch turned: the next play (at 3.5 s) lasts the sound's length.
  sounds().setSilentSwitchOn(false);
  EXPECT_EQ(reportsOver(1000), Heard{"sound 3700"});
  EXPECT_EQ(sounds().playCount(), 4u);

  // A second start while detecting changes nothing; a stop, then a start,
  // reports the unchanged state again.
  EXPECT_EQ(send("startListener").function, "ok");
  EXPECT_EQ(reportsOver(1500), Heard{});
  EXPECT_EQ(send("stopListener"), (Reply{"ok", Json::object(), 2}));
  EXPECT_EQ(reportsOver(3000), Heard{});
  const size_t plays = sounds().playCount();
  EXPECT_EQ(send("startListener").function, "ok");
  EXPECT_EQ(reportsOver(700), Heard{"sound 9200"});
  EXPECT_EQ(sounds().playCount(), plays + 1);
}

TEST_F(RingerTest, OneStartMeasures241TimesThenStops) {
  sounds().setSilentSwitchOn(true);
  EXPECT_EQ(send("startListener").function, "ok");
  env.advance(400'000);
  EXPECT_EQ(sounds().playCount(), 241u);
  EXPECT_FALSE(QBNSoundSamplerRingerChecker::shared()->isDetecting());
  EXPECT_EQ(publisher->page->take().size(), 1u);  // only the first measurement
  // A new start measures 241 times again.
  EXPECT_EQ(send("startListener").function, "ok");
  env.advance(400'000);
  EXPECT_EQ(sounds().playCount(), 482u);
}

// A stop ends the measurement in flight: nothing is heard after it, and the
// next start counts its 241 measurements from the start.
TEST_F(RingerTest, AStopDiscardsThePlayInFlight) {
  EXPECT_EQ(send("startListener").function, "ok");
  env.advance(600);  // the first play started at 0.5 s and lasts 0.2 s
  ASSERT_TRUE(QBNSoundSamplerRingerChecker::shared()->isPlaying());
  EXPECT_EQ(send("stopListener").function, "ok");
  EXPECT_EQ(reportsOver(2000), Heard{});
  EXPECT_EQ(send("startListener").function, "ok");
  EXPECT_EQ(reportsOver(1000), Heard{"sound 3300"});
  env.advance(400'000);
  EXPECT_EQ(sounds().playCount(), 1u + 241u);
}

// Started again at once, the stopped play ends unheard before the new
// start's first play: the detector only has to forget it was playing.
TEST_F(RingerTest, AStopAndAStartAtOnceHearOnlyTheNewPlay) {
  EXPECT_EQ(send("startListener").function, "ok");
  const auto detector = QBNSoundSamplerRingerChecker::shared();
  EXPECT_LT(sounds().durationSeconds(detector->soundId()).value_or(1), QBNSoundSamplerRingerChecker::kFirstCheckDelaySeconds);
  env.advance(510);
  ASSERT_TRUE(detector->isPlaying());
  EXPECT_EQ(send("stopListener").function, "ok");
  EXPECT_EQ(send("startListener").function, "ok");
  // The stopped play ends at 0.7 s, the new one starts at 1.01 s and lasts
  // the sound's length.
  EXPECT_EQ(reportsOver(1000), Heard{"sound 1210"});
  EXPECT_EQ(sounds().playCount(), 2u);
  EXPECT_EQ(detector->loopCounter(), 1);
}

TEST_F(RingerTest, TheBackgroundPausesAndTheForegroundResumesASecondLater) {
  sounds().setSilentSwitchOn(true);
  EXPECT_EQ(send("startListener").function, "ok");
  EXPECT_EQ(reportsOver(600), Heard{"silent 500"});
  auto& application = platform::Application::shared();
  ASSERT_TRUE(application.enterBackground());
  env.runUntilIdle();
  const size_t plays = sounds().playCount();
  EXPECT_EQ(reportsOver(10'000), Heard{});
  EXPECT_EQ(sounds().playCount(), plays);
  ASSERT_TRUE(application.enterForeground());
  env.advance(999);
  EXPECT_EQ(sounds().playCount(), plays);
  env.advance(1);
  EXPECT_EQ(sounds().playCount(), plays + 1);
  EXPECT_EQ(publisher->page->take(), std::vector<Reply>{});  // unchanged: no forced report

  // Stopped while in the background, it stays stopped in the foreground.
  ASSERT_TRUE(application.enterBackground());
  env.runUntilIdle();
  ASSERT_TRUE(QBNSoundSamplerRingerChecker::shared()->shouldContinueInForground());
  EXPECT_EQ(send("stopListener").function, "ok");
  ASSERT_TRUE(application.enterForeground());
  env.advance(5000);
  EXPECT_EQ(sounds().playCount(), plays + 1);
}

TEST_F(RingerTest, RepliesOfEachSubCommand) {
  EXPECT_EQ(send("init"), (Reply{"ok", Json::object(), 2}));
  EXPECT_EQ(send("vibrate"), (Reply{"ko", {{"errMsg", "unsupported API"}}, 2}));
  handler->invokeAPIWithJSParams(Json{{"success", "ok"}});  // no sub-command: ignored
  EXPECT_EQ(publisher->page->count(), 0u);
  // The sound lies in the native assets folder, as generated.
  const std::string stored = PMADownloadManager::getInstanceRootDirectory() + "/native_assets/qbnmuted.caf";
  EXPECT_EQ(platform::readFile(stored).valueOr(""), QBNSamplingSound::cafData());
  EXPECT_NEAR(sounds().durationSeconds(QBNSoundSamplerRingerChecker::shared()->soundId()).value_or(0), 0.2, 0.001);
}

// When the sound cannot be made the detector stays inactive: "init"
// answers, "startListener" and "stopListener" fail.
TEST_F(RingerTest, ADetectorWithoutItsSoundFailsTheListener) {
  const std::string cacheRoot = PMADownloadManager::getInstanceRootDirectory();
  ASSERT_TRUE(platform::writeFileAtomically(cacheRoot + "/native_assets", "a file where the folder should be"));
  EXPECT_EQ(send("init"), (Reply{"ok", Json::object(), 2}));
  const Reply failed{"ko", {{"errMsg", "ringer checker was failed in init"}}, 2};
  EXPECT_EQ(send("startListener"), failed);
  EXPECT_EQ(send("stopListener"), failed);
  EXPECT_EQ(sounds().soundCount(), 0u);
}

// A stored sound file that is cut short or another sound is replaced by the
// generated one; a stored file that is the sound is kept as it is.
TEST_F(RingerTest, AStoredSoundThatDiffersIsReplaced) {
  const std::string folder = PMADownloadManager::getInstanceRootDirectory() + "/native_assets";
  const std::string& sound = QBNSamplingSound::cafData();
  const struct {
    const char* name;
    std::string stored;
  } rows[] = {
      {"cut short", sound.substr(0, 100)},
      {"another sound", sound.substr(0, sound.size() - 2) + "\x7f\x7f"},
      {"the sound", sound},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    resetScriptFeatures();
    qb::scriptfeatures::registerWithOwnNetwork();
    handler = QBNScriptHandlerFactories::current().ringerButtonHandler(publisher);
    ASSERT_TRUE(platform::createDirectories(folder));
    ASSERT_TRUE(platform::writeFileAtomically(folder + "/qbnmuted.caf", row.stored));
    sounds().setSilentSwitchOn(true);
    EXPECT_EQ(send("startListener").function, "ok");
    EXPECT_EQ(reportsOver(500).size(), 1u);
    EXPECT_EQ(platform::readFile(folder + "/qbnmuted.caf").valueOr(""), sound);
    EXPECT_EQ(send("stopListener").function, "ok");
  }
}

}  // namespace
}  // namespace sftest
