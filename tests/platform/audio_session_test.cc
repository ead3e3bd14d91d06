// The in-memory audio session: what it accepts and refuses, the host's
// controls, the notices it posts and the device facts that read from it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/audio_session.h"
#include "platform/device.h"
#include "platform/json.h"
#include "platform/notifications.h"

namespace audiosessiontest {

using platform::AudioSession;
using platform::Json;
namespace cat = platform::AudioSessionCategory;
namespace mode = platform::AudioSessionMode;
namespace opt = platform::AudioSessionCategoryOptions;

class AudioSessionTest : public ::testing::Test {
 protected:
  AudioSessionTest() {
    session.resetForTesting();
    platform::NotificationCenter::resetDefaultForTesting();
    platform::resetDeviceFactsForTesting();
  }
  ~AudioSessionTest() override {
    session.resetForTesting();
    platform::NotificationCenter::resetDefaultForTesting();
  }

  // Records every notice of `name`, with its details, in order (seen(i) for
  // the i-th name observed).
  void observe(const std::string& name) {
    auto seen = std::make_shared<std::vector<Json>>();
    platform::NotificationCenter::defaultCenter().addObserver(
        owner, name, nullptr, [seen](const platform::Notification& n) { seen->push_back(n.userInfo()); });
    seen_.push_back(seen);
  }
  const std::vector<Json>& seen(size_t i) const { return *seen_.at(i); }

  AudioSession& session = AudioSession::shared();
  std::shared_ptr<int> owner = std::make_shared<int>(0);
  std::vector<std::shared_ptr<std::vector<Json>>> seen_;
};

TEST_F(AudioSessionTest, CategoriesAndOptionsFollowThePlatformsRules) {
  const struct {
    std::string category;
    uint64_t options;
    bool accepted;
    uint64_t kept;  // the options afterwards
  } rows[] = {
      {cat::kPlayback, 0, true, 0},
      {cat::kPlayback, opt::kMixWithOthers, true, opt::kMixWithOthers},
      {cat::kPlayback, opt::kDuckOthers, true, opt::kDuckOthers | opt::kMixWithOthers},
      {cat::kMultiRoute, opt::kInterruptSpokenAudioAndMixWithOthers, true, opt::kInterruptSpokenAudioAndMixWithOthers},
      {cat::kPlayAndRecord, opt::kDefaultToSpeaker | opt::kAllowBluetooth | opt::kAllowAirPlay, true,
       opt::kDefaultToSpeaker | opt::kAllowBluetooth | opt::kAllowAirPlay},
      {cat::kRecord, opt::kAllowBluetooth | opt::kOverrideMutedMicrophoneInterruption, true,
       opt::kAllowBluetooth | opt::kOverrideMutedMicrophoneInterruption},
      {cat::kAmbient, 0, true, 0},
      {cat::kSoloAmbient, opt::kMixWithOthers, false, 0},
      {cat::kAmbient, opt::kDuckOthers, false, 0},
      {cat::kRecord, opt::kMixWithOthers, false, 0},
      {cat::kPlayback, opt::kAllowBluetooth, false, 0},
      {cat::kPlayback, opt::kDefaultToSpeaker, false, 0},
      {cat::kRecord, opt::kAllowBluetoothA2DP, false, 0},
      {cat::kPlayAndRecord, 0x100, false, 0},
      {"AVAudioSessionCategoryLoud", 0, false, 0},
      {"", 0, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.category + " " + std::to_string(row.options));
    session.resetForTesting();
    const auto error = session.setCategory(row.category, row.options);
    EXPECT_EQ(!error, row.accepted);
    if (error) {
      EXPECT_EQ(*error, (platform::Error{"NSOSStatusErrorDomain", -50,
                                         "The operation couldn't be completed. (OSStatus error -50.)"}));
      EXPECT_EQ(session.category(), cat::kSoloAmbient);  // unchanged
    } else {
      EXPECT_EQ(session.category(), row.category);
    }
    EXPECT_EQ(session.categoryOptions(), row.kept);
  }
}

TEST_F(AudioSessionTest, ModesGoWithTheirCategories) {
  const struct {
    std::string category, mode;
    bool accepted;
  } rows[] = {
      {cat::kPlayAndRecord, mode::kVoiceChat, true}, {cat::kPlayback, mode::kVoiceChat, false},
      {cat::kPlayAndRecord, mode::kVideoChat, true}, {cat::kAmbient, mode::kGameChat, false},
      {cat::kRecord, mode::kVideoRecording, true},   {cat::kPlayback, mode::kVideoRecording, false},
      {cat::kPlayback, mode::kMoviePlayback, true},  {cat::kSoloAmbient, mode::kSpokenAudio, true},
      {cat::kPlayback, "AVAudioSessionModeLoud", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.category + " " + row.mode);
    session.resetForTesting();
    ASSERT_FALSE(session.setCategory(row.category));
    EXPECT_EQ(!session.setMode(row.mode), row.accepted);
    EXPECT_EQ(session.mode(), row.accepted ? row.mode : std::string(mode::kDefault));
  }
  // A category the mode does not go with puts the mode back to Default.
  ASSERT_FALSE(session.setCategory(cat::kPlayAndRecord));
  ASSERT_FALSE(session.setMode(mode::kVoiceChat));
  ASSERT_FALSE(session.setCategory(cat::kPlayback));
  EXPECT_EQ(session.mode(), mode::kDefault);
}

TEST_F(AudioSessionTest, ActivationTakesKnownOptionsAndTheHostsRefusals) {
  EXPECT_FALSE(session.isActive());
  EXPECT_FALSE(session.setActive(true));
  EXPECT_TRUE(session.isActive());
  EXPECT_TRUE(session.setActive(false, 2));
  EXPECT_TRUE(session.isActive());
  EXPECT_FALSE(session.setActive(false, platform::AudioSessionSetActiveOptions::kNotifyOthersOnDeactivation));
  EXPECT_FALSE(session.isActive());

  const platform::Error busy{"NSOSStatusErrorDomain", 560030580, "Session deactivation failed"};
  for (auto call : {AudioSession::Call::SetActive, AudioSession::Call::SetCategory, AudioSession::Call::SetMode}) {
    session.setFailure(call, busy);
  }
  EXPECT_EQ(session.setActive(true), busy);
  EXPECT_EQ(session.setCategory(cat::kPlayback), busy);
  EXPECT_EQ(session.setMode(mode::kMeasurement), busy);
  // The rules come first: a call they refuse is refused with their error.
  EXPECT_EQ(session.setCategory("nothing")->code, -50);
  EXPECT_FALSE(session.isActive());
  EXPECT_EQ(session.category(), cat::kSoloAmbient);
  EXPECT_EQ(session.mode(), mode::kDefault);
  session.setFailure(AudioSession::Call::SetActive, std::nullopt);
  EXPECT_FALSE(session.setActive(true));
}

TEST_F(AudioSessionTest, TheHostsReportsReachObserversAndTheDeviceFacts) {
  observe(platform::kAVAudioSessionOutputVolumeDidChangeNotification);
  observe(platform::kAVAudioSessionRouteChangeNotification);
  observe(platform::kAVAudioSessionInterruptionNotification);

  EXPECT_EQ(platform::deviceFacts().facts().outputVolume, 0.5);
  session.setOutputVolume(0.8);
  session.setOutputVolume(0.8);  // no change, no notice
  session.setOutputVolume(7);
  session.setOutputVolume(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(session.outputVolume(), 0);
  session.setOutputVolume(0.25);
  EXPECT_EQ(platform::deviceFacts().facts().outputVolume, 0.25);
  const std::string key = platform::kAVAudioSessionOutputVolumeKey;
  EXPECT_EQ(seen(0), (std::vector<Json>{{{key, 0.8}}, {{key, 1.0}}, {{key, 0.0}}, {{key, 0.25}}}));

  const std::vector<platform::AudioSessionPort> headphones{{"Headphones", "Headphones", "Wired Headphones"}};
  EXPECT_EQ(session.currentRouteOutputs().at(0).portType, "Speaker");
  session.setRouteOutputs(headphones);
  EXPECT_EQ(session.currentRouteOutputs(), headphones);
  ASSERT_FALSE(session.setCategory(cat::kPlayback));
  ASSERT_FALSE(session.setCategory(cat::kPlayback, opt::kMixWithOthers));  // the same category: no route change
  const std::string reason = platform::kAVAudioSessionRouteChangeReasonKey;
  EXPECT_EQ(seen(1), (std::vector<Json>{{{reason, 1}}, {{reason, 3}}}));

  session.postInterruption(platform::AudioSessionInterruptionType::Began, 1);
  session.postInterruption(platform::AudioSessionInterruptionType::Ended,
                           platform::kAudioSessionInterruptionOptionShouldResume);
  const std::string type = platform::kAVAudioSessionInterruptionTypeKey;
  EXPECT_EQ(seen(2), (std::vector<Json>{{{type, 1}}, {{type, 0}, {platform::kAVAudioSessionInterruptionOptionKey, 1}}}));

  session.setOtherAudioPlaying(true);
  EXPECT_TRUE(session.isOtherAudioPlaying());
  EXPECT_TRUE(session.secondaryAudioShouldBeSilencedHint());

  session.resetForTesting();
  EXPECT_EQ(session.outputVolume(), 0.5);
  EXPECT_FALSE(session.isOtherAudioPlaying());
  EXPECT_EQ(session.currentRouteOutputs().size(), 1u);
}

}  // namespace audiosessiontest
