// The device feature handlers ("iabTokenAPI", "deviceDataAPI",
// "audioSessionAPI") made through the factories the library registers: each
// sub-command as the page sends it, with what reaches the controller manager
// (function, parameters, encoding option) and what it changed.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "scriptfeatures_test_support.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBTokenProvider.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/audio_session.h"
#include "platform/device.h"
#include "platform/test_environment.h"

namespace devicefeatures {

using sftest::Reply;
using platform::AudioSession;
using platform::Json;
namespace cat = platform::AudioSessionCategory;
namespace mode = platform::AudioSessionMode;

const std::string kParamError = "The operation couldn't be completed. (OSStatus error -50.)";

class DeviceFeaturesTest : public ::testing::Test {
 protected:
  DeviceFeaturesTest() {
    AudioSession::shared().resetForTesting();
    platform::resetDeviceFactsForTesting();
    PMEReachabilityManager::resetForTesting();
    QBGlobalDataManager::sharedInstance().resetForTesting();
    QBNTokenService::sharedService().resetForTesting();
    const auto factories = sftest::registeredFactories();
    token = factories.tokenHandler(publisher);
    deviceData = factories.deviceDataHandler(publisher);
    audio = factories.audioSessionHandler(publisher);
  }
  ~DeviceFeaturesTest() override {
    token.reset();
    deviceData.reset();
    audio.reset();
    env.runUntilIdle();
    AudioSession::shared().resetForTesting();
    platform::resetDeviceFactsForTesting();
    PMEReachabilityManager::resetForTesting();
    QBNScriptHandlerFactories::resetForTesting();
  }

  std::shared_ptr<QBNJSInterfaceHandlerP> handlerFor(const std::string& command) const {
    if (command == "iabTokenAPI") return token;
    if (command == "deviceDataAPI") return deviceData;
    return audio;
  }
  void invoke(const std::string& command, const Json& params) {
    handlerFor(command)->invokeAPIWithJSParams(sftest::pageRequest(params));
  }

  platform::TestEnvironment env;
  std::shared_ptr<sftest::OneTokenPublisher> publisher = std::make_shared<sftest::OneTokenPublisher>();
  std::shared_ptr<QBNJSInterfaceHandlerP> token, deviceData, audio;
};

void onCellular(std::optional<std::string> radio) {
  platform::DeviceFacts facts;
  facts.radioAccessTechnology = std::move(radio);
  platform::setDeviceFactsForTesting(facts);
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWWAN);
}

Json ask(const std::string& function, const Json& arguments = Json()) {
  Json params{{"functionName", function}, {"success", "ok"}, {"fail", "ko"}};
  if (!arguments.is_null()) params["functionParams"] = arguments;
  return params;
}

Reply ok(const Json& params, int option) { return Reply{"ok", params, option}; }
Reply ko(const std::string& message, int option) { return Reply{"ko", {{"errMsg", message}}, option}; }

std::string parseError(const std::string& text) {
  platform::Error error;
  EXPECT_FALSE(PMAHelperMethods::dictionaryFromJsonString(text, &error));
  return error.message;
}

struct Case {
  const char* name;
  const char* command;
  Json params;
  // Replies of the table are compared as they are; `expected` may read state
  // the command made (the token as it stands, for instance).
  std::function<std::vector<Reply>()> expected;
  std::function<void(sftest::OneTokenPublisher&)> before = {};
  std::function<void()> after = {};
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class DeviceFeatureTable : public DeviceFeaturesTest, public ::testing::WithParamInterface<Case> {};

TEST_P(DeviceFeatureTable, RepliesAndChanges) {
  const Case& c = GetParam();
  if (c.before) c.before(*publisher);
  invoke(c.command, c.params);
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->replies(), c.expected());
  if (c.after) c.after();
}

auto none() {
  return [] { return std::vector<Reply>{}; };
}
auto just(Reply reply) {
  return [reply] { return std::vector<Reply>{reply}; };
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceFeatureTable,
    ::testing::Values(
        // ---------------------------------------------------------------- token
        Case{"UpdateTokenFeedsTheTokenAndTheGlobalData", "iabTokenAPI",
             ask("updateToken", {{"pageKey", "1+2 %"}, {"n", 3}}), none(), {},
             [] {
               EXPECT_EQ(QBNTokenService::sharedService().getRawToken()["pageKey"], "1+2 %");
               EXPECT_EQ(QBGlobalDataManager::sharedInstance().valueForKey(QBGlobalDataKeys::kControllerTokenParams),
                         Json({{"pageKey", "1+2 %"}, {"n", 3}}));
             }},
        Case{"UpdateTokenThatIsNoJson", "iabTokenAPI", ask("updateToken", "{pageKey: 1"),
             [] { return std::vector<Reply>{ko(parseError("{pageKey: 1"), 1)}; }, {},
             [] { EXPECT_FALSE(QBNTokenService::sharedService().getRawToken().contains("pageKey")); }},
        Case{"UpdateTokenWithoutData", "iabTokenAPI", ask("updateToken"),
             just(ko("cannot serialize json string - empty string param", 1))},
        Case{"UpdateTokenWithAList", "iabTokenAPI", ask("updateToken", Json::array({1, 2})),
             just(ko("token data is not a JSON object", 1))},
        Case{"GetTokenOfTheOwnNetwork", "iabTokenAPI", ask("getToken"),
             [] {
               const Json token = QBNTokenService::sharedService().getRawToken();
               EXPECT_EQ(token["pageKey"], "a+b %2F");  // native text, sent as it is
               return std::vector<Reply>{Reply{"getTokenSuccess", token, 1}};
             },
             [](sftest::OneTokenPublisher&) {
               QBNTokenService::sharedService().updateTokenWithData(Json{{"pageKey", "a+b %2F"}});
             }},
        Case{"GetTokenOfTheMediationWithOneToken", "iabTokenAPI", ask("getToken"),
             [] {
               return std::vector<Reply>{Reply{"getTokenSuccess", QBTokenProvider::sharedInstance().getToken(), 1}};
             },
             [](sftest::OneTokenPublisher& p) { p.oneToken = true; }},
        Case{"TokenUnknownSubCommand", "iabTokenAPI", ask("getTokens"), just(ko("unsupported API", 1))},
        Case{"TokenWithoutSubCommand", "iabTokenAPI", Json{{"success", "ok"}}, none()},
        // ---------------------------------------------------------- device data
        Case{"DeviceDataOnWifi", "deviceDataAPI", Json{{"deviceDataFunction", "getDeviceData"}, {"success", "ok"}},
             just(ok({{"cellularNetworkType", "wifi"}}, 1)),
             [](sftest::OneTokenPublisher&) {
               platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
             }},
        Case{"DeviceDataOnCellular", "deviceDataAPI", Json{{"deviceDataFunction", "getDeviceData"}, {"success", "ok"}},
             just(ok({{"cellularNetworkType", "CTRadioAccessTechnologyLTE"}}, 1)),
             [](sftest::OneTokenPublisher&) { onCellular("CTRadioAccessTechnologyLTE"); }},
        Case{"DeviceDataOnCellularWithoutRadio", "deviceDataAPI",
             Json{{"deviceDataFunction", "getDeviceData"}, {"success", "ok"}},
             just(ok({{"cellularNetworkType", "notReachable"}}, 1)),
             [](sftest::OneTokenPublisher&) { onCellular(std::nullopt); }},
        Case{"DeviceDataOffline", "deviceDataAPI", Json{{"deviceDataFunction", "getDeviceData"}, {"success", "ok"}},
             just(ok({{"cellularNetworkType", "notReachable"}}, 1)),
             [](sftest::OneTokenPublisher&) {
               platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
             }},
        Case{"DeviceDataNamedAsFunctionName", "deviceDataAPI", ask("getDeviceData"), none()},
        Case{"DeviceDataUnknown", "deviceDataAPI", Json{{"deviceDataFunction", "getBattery"}, {"fail", "ko"}},
             just(ko("unsupported API", 1))},
        // -------------------------------------------------------- audio session
        Case{"AudioSessionData", "audioSessionAPI", ask("getAudioSessionData"),
             just(ok({{"category", cat::kSoloAmbient}, {"mode", mode::kDefault}, {"categoryOptions", 0}}, 0))},
        Case{"AudioSessionDataAfterChanges", "audioSessionAPI", ask("getAudioSessionData"),
             just(ok({{"category", cat::kPlayAndRecord}, {"mode", mode::kVoiceChat}, {"categoryOptions", 3}}, 0)),
             [](sftest::OneTokenPublisher&) {
               EXPECT_FALSE(AudioSession::shared().setCategory(cat::kPlayAndRecord, 2));
               EXPECT_FALSE(AudioSession::shared().setMode(mode::kVoiceChat));
             }},
        Case{"SetCategoryAlone", "audioSessionAPI", ask("setAudioSessionData", {{"category", cat::kPlayback}}),
             just(ok(Json::object(), 0)), {}, [] { EXPECT_EQ(AudioSession::shared().category(), cat::kPlayback); }},
        Case{"SetCategoryMixingWithOthers", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", cat::kPlayback}, {"categoryOptions", "1"}}),
             just(ok(Json::object(), 0)), {}, [] { EXPECT_EQ(AudioSession::shared().categoryOptions(), 1u); }},
        Case{"SetCategoryAndMode", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", cat::kPlayAndRecord}, {"mode", mode::kVoiceChat}}),
             just(ok(Json::object(), 0)), {}, [] { EXPECT_EQ(AudioSession::shared().mode(), mode::kVoiceChat); }},
        Case{"FailedCategoryThenGoodMode", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", "AVAudioSessionCategoryLoud"}, {"mode", mode::kDefault}}),
             just(ko(kParamError, 0)), {}, [] { EXPECT_EQ(AudioSession::shared().category(), cat::kSoloAmbient); }},
        Case{"RefusedCategoryThenGoodMode", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", cat::kPlayback}, {"mode", mode::kMoviePlayback}}),
             just(ko("Session category refused", 0)),
             [](sftest::OneTokenPublisher&) {
               AudioSession::shared().setFailure(AudioSession::Call::SetCategory,
                                                 platform::Error{"NSOSStatusErrorDomain", 561017449, "Session category refused"});
             }},
        Case{"GoodCategoryThenFailedMode", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", cat::kPlayback}, {"mode", mode::kVoiceChat}}),
             just(ko(kParamError, 0)), {}, [] { EXPECT_EQ(AudioSession::shared().category(), cat::kPlayback); }},
        Case{"OptionsTheCategoryDoesNotTake", "audioSessionAPI",
             ask("setAudioSessionData", {{"category", cat::kSoloAmbient}, {"categoryOptions", 8}}),
             just(ko(kParamError, 0))},
        Case{"MissingCategory", "audioSessionAPI", ask("setAudioSessionData", {{"mode", mode::kDefault}}),
             just(ko("missing category in js params", 0)), {},
             [] { EXPECT_EQ(AudioSession::shared().mode(), mode::kDefault); }},
        Case{"ArgumentsThatAreNoJson", "audioSessionAPI", ask("setAudioSessionData", "{category"),
             just(ko("missing category in js params", 0))},
        Case{"FailureWithoutText", "audioSessionAPI", ask("activateAudioSession"), just(ko("unknown reason", 0)),
             [](sftest::OneTokenPublisher&) {
               AudioSession::shared().setFailure(AudioSession::Call::SetActive, platform::Error{"d", 1, ""});
             }},
        Case{"Activate", "audioSessionAPI", ask("activateAudioSession"), just(ok(Json::object(), 0)), {},
             [] { EXPECT_TRUE(AudioSession::shared().isActive()); }},
        Case{"DeactivateNotifyingOthers", "audioSessionAPI", ask("deactivateAudioSession", {{"setActiveOptions", 1}}),
             just(ok(Json::object(), 0)),
             [](sftest::OneTokenPublisher&) { EXPECT_FALSE(AudioSession::shared().setActive(true)); },
             [] { EXPECT_FALSE(AudioSession::shared().isActive()); }},
        Case{"ActivateWithUnknownOptions", "audioSessionAPI", ask("activateAudioSession", {{"setActiveOptions", "4"}}),
             just(ko(kParamError, 0)), {}, [] { EXPECT_FALSE(AudioSession::shared().isActive()); }},
        Case{"DeactivationRefused", "audioSessionAPI", ask("deactivateAudioSession"),
             just(ko("Session deactivation failed", 0)),
             [](sftest::OneTokenPublisher&) {
               AudioSession::shared().setFailure(AudioSession::Call::SetActive,
                                                 platform::Error{"NSOSStatusErrorDomain", 560030580, "Session deactivation failed"});
             }},
        Case{"OtherAppPlaying", "audioSessionAPI", ask("isOtherAppPlayingAudio"),
             just(ok({{"otherAppPlaying", true}}, 0)),
             [](sftest::OneTokenPublisher&) { AudioSession::shared().setOtherAudioPlaying(true); }},
        Case{"NoOtherAppPlaying", "audioSessionAPI", ask("isOtherAppPlayingAudio"),
             just(ok({{"otherAppPlaying", false}}, 0))},
        Case{"AvailableCategories", "audioSessionAPI", ask("getAvailableCategories"),
             just(ok({{"availableCategories", Json::array({cat::kAmbient, cat::kSoloAmbient, cat::kPlayback, cat::kRecord,
                                                           cat::kPlayAndRecord, cat::kMultiRoute})}},
                     0))},
        Case{"AvailableModes", "audioSessionAPI", ask("getAvailableModes"),
             just(ok({{"availableModes",
                       Json::array({"AVAudioSessionModeDefault", "AVAudioSessionModeVoiceChat",
                                    "AVAudioSessionModeGameChat", "AVAudioSessionModeVideoRecording",
                                    "AVAudioSessionModeMeasurement", "AVAudioSessionModeMoviePlayback",
                                    "AVAudioSessionModeVideoChat", "AVAudioSessionModeSpokenAudio",
                                    "AVAudioSessionModeVoicePrompt"})}},
                     0))},
        Case{"AudioUnknownSubCommand", "audioSessionAPI", ask("mute"), just(ko("unsupported API in js handler", 0))},
        Case{"AudioWithoutSubCommand", "audioSessionAPI", Json{{"success", "ok"}}, none()}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ interruptions

TEST_F(DeviceFeaturesTest, InterruptionsFromAWorkerReachTheSubscriptionUntilItEnds) {
  const auto interruptFromWorker = [](platform::AudioSessionInterruptionType type, uint64_t options) {
    std::thread([type, options] { AudioSession::shared().postInterruption(type, options); }).join();
  };
  invoke("audioSessionAPI", {{"functionName", "subscribeToInterruption"}, {"success", "first"}});
  EXPECT_EQ(publisher->page->count(), 0u);  // no answer to the subscription itself
  interruptFromWorker(platform::AudioSessionInterruptionType::Began, 0);
  EXPECT_EQ(publisher->page->take(),
            (std::vector<Reply>{Reply{"first", {{platform::kAVAudioSessionInterruptionTypeKey, 1}}, 0}}));

  // A new subscription replaces the first.
  invoke("audioSessionAPI", {{"functionName", "subscribeToInterruption"}, {"success", "second"}});
  interruptFromWorker(platform::AudioSessionInterruptionType::Ended, platform::kAudioSessionInterruptionOptionShouldResume);
  EXPECT_EQ(publisher->page->take(),
            (std::vector<Reply>{Reply{"second",
                                      {{platform::kAVAudioSessionInterruptionTypeKey, 0},
                                       {platform::kAVAudioSessionInterruptionOptionKey, 1}},
                                      0}}));
  // A notice without details is no interruption to report.
  platform::NotificationCenter::defaultCenter().post(platform::kAVAudioSessionInterruptionNotification);
  EXPECT_EQ(publisher->page->count(), 0u);

  invoke("audioSessionAPI", {{"functionName", "unsubscribeInterruption"}, {"success", "ok"}});
  interruptFromWorker(platform::AudioSessionInterruptionType::Began, 0);
  env.runUntilIdle();
  EXPECT_EQ(publisher->page->count(), 0u);
}

TEST_F(DeviceFeaturesTest, InterruptionsRacingASubscriptionReachOnlyALiveOne) {
  // A worker posts interruptions while the main thread subscribes and
  // unsubscribes: every reply names a subscription of the page, and none
  // comes once the last unsubscription is over.
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop.load()) AudioSession::shared().postInterruption(platform::AudioSessionInterruptionType::Began);
  });
  for (int i = 0; i < 200; ++i) {
    invoke("audioSessionAPI", {{"functionName", "subscribeToInterruption"}, {"success", "s" + std::to_string(i % 2)}});
    invoke("audioSessionAPI", {{"functionName", "unsubscribeInterruption"}});
  }
  stop = true;
  worker.join();
  const size_t afterLast = publisher->page->count();
  AudioSession::shared().postInterruption(platform::AudioSessionInterruptionType::Began);
  EXPECT_EQ(publisher->page->count(), afterLast);
  for (const auto& reply : publisher->page->replies()) {
    EXPECT_TRUE(reply.function == "s0" || reply.function == "s1") << reply;
  }
}

}  // namespace devicefeatures
