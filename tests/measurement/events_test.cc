// Ad events and media events of native sessions: the refusal codes, the
// impression that starts its session, the loaded event kept until the start,
// the media events' ranges and tables, and the device volume they follow.
#include <cmath>

#include "measurement/sdk/OMIDQuilbrnError.h"
#include "measurement/session/OMIDQuilbrnAdEvents.h"
#include "measurement/session/OMIDQuilbrnMediaEvents.h"
#include "session_support.h"

namespace measurementtest {
namespace {

namespace C = OMIDQuilbrnErrorCode;

// The arguments of the session's "publishMediaEvent" commands.
Json mediaEvents(const Json& record) { return argumentsOf(record, "publishMediaEvent"); }

TEST_F(SessionTest, ImpressionStartsTheSessionOnceAndRefusesRepeats) {
  auto session = nativeSession();
  platform::Error error;
  auto events = OMIDQuilbrnAdEvents::initWithAdSession(session, &error);
  ASSERT_TRUE(events);
  EXPECT_EQ(error.code, 0);
  EXPECT_FALSE(OMIDQuilbrnAdEvents::initWithAdSession(session, &error));  // one object per session
  EXPECT_EQ(error.code, C::EventFilterRefused);
  EXPECT_EQ(error.message, "Event filter does not accept.");
  EXPECT_FALSE(OMIDQuilbrnAdEvents::initWithAdSession(nullptr, &error));
  EXPECT_EQ(error.code, C::NoAdSession);

  EXPECT_TRUE(events->impressionOccurredWithError(&error));
  EXPECT_TRUE(registry()->isActive());  // the impression started the session
  error = {};
  EXPECT_FALSE(events->impressionOccurredWithError(&error));
  EXPECT_EQ(error.code, C::EventFilterRefused);
  EXPECT_EQ(commands(*session),
            (std::vector<std::string>{"init", "setDeviceVolume", "startSession", "setState", "publishImpressionEvent"}));
  session->start();  // already started: nothing more
  session->finish();
  EXPECT_FALSE(events->loadedWithError(&error));
  EXPECT_EQ(commands(*session).back(), "finishSession");
  EXPECT_EQ(eventTypes(*session),
            (std::vector<std::string>{"sessionStart", "volume", "state", "impression", "sessionFinish"}));
}

TEST_F(SessionTest, AdEventsNeedANativeImpressionOwner) {
  auto session = nativeSession(configuration(OMIDQuilbrnJavaScriptOwner, OMIDQuilbrnJavaScriptOwner));
  auto events = OMIDQuilbrnAdEvents::initWithAdSession(session, nullptr);
  ASSERT_TRUE(events);
  platform::Error error;
  EXPECT_FALSE(events->impressionOccurredWithError(&error));
  EXPECT_EQ(error.code, C::ImpressionOwnerNotNative);
  EXPECT_EQ(error.message, "Impression owner should be NATIVE.");
  error = {};
  EXPECT_FALSE(events->loadedWithError(&error));
  EXPECT_EQ(error.code, C::ImpressionOwnerNotNative);
  EXPECT_FALSE(events->loadedWithError(nullptr));
  EXPECT_EQ(commands(*session), std::vector<std::string>{"init"});
}

// A loaded event before the start reaches the script before "startSession";
// the script keeps it and hands it to the verification scripts after the
// start. The loaded event does not start the session, and comes once.
TEST_F(SessionTest, LoadedBeforeTheStartIsKeptByTheScript) {
  auto session = nativeSession();
  auto events = OMIDQuilbrnAdEvents::initWithAdSession(session, nullptr);
  ASSERT_TRUE(events);
  const auto vast = OMIDQuilbrnVASTProperties::initWithSkipOffset(5, true, OMIDQuilbrnPositionStandalone);
  EXPECT_TRUE(events->loadedWithVastProperties(vast, nullptr));
  EXPECT_FALSE(registry()->isActive());
  platform::Error error;
  EXPECT_FALSE(events->loadedWithError(&error));
  EXPECT_EQ(error.code, C::EventFilterRefused);
  session->start();
  const Json record = this->record(*session);
  EXPECT_EQ(record[1]["command"], "publishLoadedEvent");
  EXPECT_EQ(record[1]["args"], Json::array({vast.toJSON()}));
  EXPECT_EQ(commands(*session),
            (std::vector<std::string>{"init", "publishLoadedEvent", "setDeviceVolume", "startSession", "setState"}));
  EXPECT_EQ(eventTypes(*session), (std::vector<std::string>{"sessionStart", "loaded", "volume", "state"}));
  EXPECT_EQ(scriptValue(*session, "omidService.events()[1].data"),
            (Json{{"vastProperties", {{"skippable", true}, {"skipOffset", 5}, {"autoPlay", true}, {"position", "standalone"}}}}));
}

TEST_F(SessionTest, MediaEventsObjectIsMadeOnceBeforeTheStart) {
  platform::Error error;
  auto started = nativeSession();
  started->start();
  EXPECT_FALSE(OMIDQuilbrnMediaEvents::initWithAdSession(started, &error));
  EXPECT_EQ(error.code, C::EventFilterRefused);

  auto scriptOwned = nativeSession(configuration(OMIDQuilbrnNativeOwner, OMIDQuilbrnJavaScriptOwner));
  error = {};
  EXPECT_FALSE(OMIDQuilbrnMediaEvents::initWithAdSession(scriptOwned, &error));
  EXPECT_EQ(error.code, C::MediaEventsOwnerNotNative);
  EXPECT_EQ(error.message, "Media events owner should be NATIVE.");
  error = {};
  EXPECT_FALSE(OMIDQuilbrnMediaEvents::initWithAdSession(scriptOwned, &error));  // its one object was used
  EXPECT_EQ(error.code, C::EventFilterRefused);

  error = {};
  EXPECT_FALSE(OMIDQuilbrnMediaEvents::initWithAdSession(nullptr, &error));
  EXPECT_EQ(error.code, C::NoAdSession);
  auto session = nativeSession();
  EXPECT_TRUE(OMIDQuilbrnMediaEvents::initWithAdSession(session, nullptr));
  EXPECT_FALSE(OMIDQuilbrnMediaEvents::initWithAdSession(session, nullptr));
}

// Every media event with its parameters, only while the session runs; values
// outside their range or table send nothing.
TEST_F(SessionTest, MediaEventsWhileTheSessionRuns) {
  auto session = nativeSession();
  auto media = OMIDQuilbrnMediaEvents::initWithAdSession(session, nullptr);
  ASSERT_TRUE(media);
  media->firstQuartile();  // before the start: dropped
  session->start();
  media->startWithDuration(0, 0.5);
  media->startWithDuration(-1, 0.5);
  media->startWithDuration(30, 1.5);
  media->startWithDuration(30, -0.1);
  media->startWithDuration(30, std::nan(""));
  EXPECT_FALSE(media->observerIsRegistered());  // none of them began observing
  media->startWithDuration(30, 0.8);
  media->firstQuartile();
  media->midpoint();
  media->thirdQuartile();
  media->pause();
  media->resume();
  media->bufferStart();
  media->bufferFinish();
  media->volumeChangeTo(1.01);
  media->volumeChangeTo(0.25);
  media->playerStateChangeTo(OMIDQuilbrnPlayerStateFullscreen);
  media->playerStateChangeTo(5);
  media->adUserInteractionWithType(OMIDQuilbrnInteractionTypeInvitationAccept);
  media->adUserInteractionWithType(2);
  media->skipped();
  media->complete();
  session->finish();
  media->midpoint();  // after the finish: dropped
  EXPECT_EQ(mediaEvents(record(*session)), Json::parse(R"([
    ["start", {"duration": 30.0, "mediaPlayerVolume": 0.8, "deviceVolume": 0.5}],
    ["firstQuartile"], ["midpoint"], ["thirdQuartile"], ["pause"], ["resume"], ["bufferStart"], ["bufferFinish"],
    ["volumeChange", {"mediaPlayerVolume": 0.25, "deviceVolume": 0.5}],
    ["playerStateChange", {"state": "fullscreen"}],
    ["adUserInteraction", {"interactionType": "invitationAccept"}],
    ["skipped"], ["complete"]])"));
  // The tables.
  const std::vector<std::string> states = {"minimized", "collapsed", "normal", "expanded", "fullscreen"};
  auto other = nativeSession();
  auto tables = OMIDQuilbrnMediaEvents::initWithAdSession(other, nullptr);
  other->start();
  for (unsigned s = 0; s < 5; ++s) tables->playerStateChangeTo(s);
  tables->adUserInteractionWithType(OMIDQuilbrnInteractionTypeClick);
  Json expected = Json::array();
  for (const auto& s : states) expected.push_back(Json::array({"playerStateChange", {{"state", s}}}));
  expected.push_back(Json::array({"adUserInteraction", {{"interactionType", "click"}}}));
  EXPECT_EQ(mediaEvents(record(*other)), expected);
}

// From the start until complete (or skipped), each change of the device
// volume sends "volumeChange" with the new device volume beside the player
// volume given last; the state watcher sends "setDeviceVolume" to every
// active session.
TEST_F(SessionTest, MediaEventsFollowTheDeviceVolumeUntilComplete) {
  auto session = nativeSession();
  auto media = OMIDQuilbrnMediaEvents::initWithAdSession(session, nullptr);
  session->start();
  media->startWithDuration(12.5, 0.6);
  media->startWithDuration(12.5, 0.6);  // observed once
  EXPECT_TRUE(media->observerIsRegistered());
  media->volumeChangeTo(0.4);
  platform::AudioSession::shared().setOutputVolume(0.3);
  media->complete();
  EXPECT_FALSE(media->observerIsRegistered());
  platform::AudioSession::shared().setOutputVolume(0.9);
  const Json all = record(*session);
  EXPECT_EQ(mediaEvents(all), Json::parse(R"([
    ["start", {"duration": 12.5, "mediaPlayerVolume": 0.6, "deviceVolume": 0.5}],
    ["start", {"duration": 12.5, "mediaPlayerVolume": 0.6, "deviceVolume": 0.5}],
    ["volumeChange", {"mediaPlayerVolume": 0.4, "deviceVolume": 0.5}],
    ["volumeChange", {"mediaPlayerVolume": 0.4, "deviceVolume": 0.3}],
    ["complete"]])"));
  EXPECT_EQ(argumentsOf(all, "setDeviceVolume", true), Json::parse("[0.5, 0.3, 0.9]"));

  // The object's end ends its observation.
  auto second = nativeSession();
  auto doomed = OMIDQuilbrnMediaEvents::initWithAdSession(second, nullptr);
  second->start();
  doomed->startWithDuration(1, 1);
  doomed.reset();
  platform::AudioSession::shared().setOutputVolume(0.2);
  EXPECT_EQ(mediaEvents(record(*second)).size(), 1u);
}

}  // namespace
}  // namespace measurementtest
