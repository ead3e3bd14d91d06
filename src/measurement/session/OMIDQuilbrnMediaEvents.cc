#include "measurement/session/OMIDQuilbrnMediaEvents.h"

#include "measurement/sdk/OMIDQuilbrnError.h"
#include "platform/audio_session.h"

namespace {
namespace Event = OMIDQuilbrnSessionEvent;

bool isVolume(double volume) { return volume >= 0 && volume <= 1; }
}  // namespace

std::shared_ptr<OMIDQuilbrnMediaEvents> OMIDQuilbrnMediaEvents::initWithAdSession(
    std::shared_ptr<OMIDQuilbrnAdSession> adSession, platform::Error* error) {
  namespace C = OMIDQuilbrnErrorCode;
  if (!adSession) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::NoAdSession);
    return nullptr;
  }
  if (!adSession->eventFilter().acceptEventWithCode(Event::MediaEventsCreated, Event::Start)) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::EventFilterRefused);
    return nullptr;
  }
  if (adSession->configuration()->mediaEventsOwner() != OMIDQuilbrnNativeOwner) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::MediaEventsOwnerNotNative);
    return nullptr;
  }
  return std::shared_ptr<OMIDQuilbrnMediaEvents>(new OMIDQuilbrnMediaEvents(std::move(adSession)));
}

OMIDQuilbrnMediaEvents::~OMIDQuilbrnMediaEvents() { stopObservingDeviceVolume(); }

void OMIDQuilbrnMediaEvents::publishEventWithName(const std::string& name,
                                                  const std::optional<platform::Json>& parameters) {
  if (!adSession_->eventFilter().acceptAnyEventWithRequiredEventCodes(Event::Start)) return;
  adSession_->mediaEventsPublisher().publishMediaEventWithName(name, parameters);
}

void OMIDQuilbrnMediaEvents::startWithDuration(double duration, double mediaPlayerVolume) {
  if (!(duration > 0) || !isVolume(mediaPlayerVolume)) return;
  playerVolume_.store(mediaPlayerVolume);
  startObservingDeviceVolume();
  publishEventWithName("start", platform::Json{{"duration", duration},
                                               {"mediaPlayerVolume", mediaPlayerVolume},
                                               {"deviceVolume", OMIDQuilbrnAdSession::deviceVolume()}});
}

void OMIDQuilbrnMediaEvents::firstQuartile() { publishEventWithName("firstQuartile", std::nullopt); }
void OMIDQuilbrnMediaEvents::midpoint() { publishEventWithName("midpoint", std::nullopt); }
void OMIDQuilbrnMediaEvents::thirdQuartile() { publishEventWithName("thirdQuartile", std::nullopt); }

void OMIDQuilbrnMediaEvents::complete() {
  stopObservingDeviceVolume();
  publishEventWithName("complete", std::nullopt);
}

void OMIDQuilbrnMediaEvents::pause() { publishEventWithName("pause", std::nullopt); }
void OMIDQuilbrnMediaEvents::resume() { publishEventWithName("resume", std::nullopt); }

void OMIDQuilbrnMediaEvents::skipped() {
  stopObservingDeviceVolume();
  publishEventWithName("skipped", std::nullopt);
}

void OMIDQuilbrnMediaEvents::bufferStart() { publishEventWithName("bufferStart", std::nullopt); }
void OMIDQuilbrnMediaEvents::bufferFinish() { publishEventWithName("bufferFinish", std::nullopt); }

void OMIDQuilbrnMediaEvents::volumeChangeTo(double playerVolume) {
  if (!isVolume(playerVolume)) return;
  playerVolume_.store(playerVolume);
  publishEventWithName("volumeChange", platform::Json{{"mediaPlayerVolume", playerVolume},
                                                      {"deviceVolume", OMIDQuilbrnAdSession::deviceVolume()}});
}

void OMIDQuilbrnMediaEvents::playerStateChangeTo(OMIDQuilbrnPlayerState playerState) {
  static constexpr const char* kStates[] = {"minimized", "collapsed", "normal", "expanded", "fullscreen"};
  if (playerState >= std::size(kStates)) return;
  publishEventWithName("playerStateChange", platform::Json{{"state", kStates[playerState]}});
}

void OMIDQuilbrnMediaEvents::adUserInteractionWithType(OMIDQuilbrnInteractionType interactionType) {
  static constexpr const char* kTypes[] = {"click", "invitationAccept"};
  if (interactionType >= std::size(kTypes)) return;
  publishEventWithName("adUserInteraction", platform::Json{{"interactionType", kTypes[interactionType]}});
}

bool OMIDQuilbrnMediaEvents::observerIsRegistered() const { return volumeObservation_.load() != 0; }

void OMIDQuilbrnMediaEvents::startObservingDeviceVolume() {
  if (volumeObservation_.load() != 0) return;
  std::weak_ptr<OMIDQuilbrnMediaEvents> weak = weak_from_this();
  const auto token = platform::NotificationCenter::defaultCenter().addObserver(
      weak, platform::kAVAudioSessionOutputVolumeDidChangeNotification, nullptr,
      [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->volumeChangeTo(self->playerVolume());
      });
  platform::ObserverToken none = 0;
  if (!volumeObservation_.compare_exchange_strong(none, token)) {
    platform::NotificationCenter::defaultCenter().removeObserver(token);
  }
}

void OMIDQuilbrnMediaEvents::stopObservingDeviceVolume() {
  const auto token = volumeObservation_.exchange(0);
  if (token != 0) platform::NotificationCenter::defaultCenter().removeObserver(token);
}
