#pragma once
// The playback events of a session whose media events native code reports
// (media events owner native): start, quartiles, pauses, buffering, volume,
// player state and user interaction, each "publishMediaEvent" with its name.
// One object per session, made before the session starts.
//
// Events are sent only while the session is started and not finished; out of
// range values, states and types outside the tables and events outside a
// running session are dropped silently. From the start until complete or
// skipped (or the object's end) every change of the device's output volume
// sends "volumeChange" with the new device volume beside the player volume
// given last.
//
// Threading: meant for the main thread, like the session. A volume change is
// handled on the thread that reports it; the stored player volume is atomic.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/result.h"

// The player's state, for playerStateChangeTo.
using OMIDQuilbrnPlayerState = unsigned;
inline constexpr OMIDQuilbrnPlayerState OMIDQuilbrnPlayerStateMinimized = 0;
inline constexpr OMIDQuilbrnPlayerState OMIDQuilbrnPlayerStateCollapsed = 1;
inline constexpr OMIDQuilbrnPlayerState OMIDQuilbrnPlayerStateNormal = 2;
inline constexpr OMIDQuilbrnPlayerState OMIDQuilbrnPlayerStateExpanded = 3;
inline constexpr OMIDQuilbrnPlayerState OMIDQuilbrnPlayerStateFullscreen = 4;

// What the user did, for adUserInteractionWithType.
using OMIDQuilbrnInteractionType = unsigned;
inline constexpr OMIDQuilbrnInteractionType OMIDQuilbrnInteractionTypeClick = 0;
inline constexpr OMIDQuilbrnInteractionType OMIDQuilbrnInteractionTypeInvitationAccept = 1;

class OMIDQuilbrnMediaEvents : public std::enable_shared_from_this<OMIDQuilbrnMediaEvents> {
 public:
  // No session: 1507. A second object for the session, or one made after the
  // session started or finished: 1505. A media events owner that is not
  // native: 1504 (and the session's one object is used up). Null with the
  // error.
  static std::shared_ptr<OMIDQuilbrnMediaEvents> initWithAdSession(std::shared_ptr<OMIDQuilbrnAdSession> adSession,
                                                                   platform::Error* error);
  ~OMIDQuilbrnMediaEvents();

  // "start" {"duration", "mediaPlayerVolume", "deviceVolume"} for a duration
  // above 0 and a volume of 0 to 1 (else nothing at all); keeps the volume
  // and starts following the device volume.
  void startWithDuration(double duration, double mediaPlayerVolume);
  void firstQuartile();
  void midpoint();
  void thirdQuartile();
  // Also stops following the device volume.
  void complete();
  void pause();
  void resume();
  // Also stops following the device volume.
  void skipped();
  void bufferStart();
  void bufferFinish();
  // "volumeChange" {"mediaPlayerVolume", "deviceVolume"} for a volume of 0 to
  // 1, which is kept.
  void volumeChangeTo(double playerVolume);
  // "playerStateChange" {"state": "minimized" | "collapsed" | "normal" |
  // "expanded" | "fullscreen"}.
  void playerStateChangeTo(OMIDQuilbrnPlayerState playerState);
  // "adUserInteraction" {"interactionType": "click" | "invitationAccept"}.
  void adUserInteractionWithType(OMIDQuilbrnInteractionType interactionType);

  const std::shared_ptr<OMIDQuilbrnAdSession>& adSession() const { return adSession_; }
  double playerVolume() const { return playerVolume_.load(); }
  bool observerIsRegistered() const;

 private:
  explicit OMIDQuilbrnMediaEvents(std::shared_ptr<OMIDQuilbrnAdSession> adSession) : adSession_(std::move(adSession)) {}
  // Sent only while the session is started and not finished.
  void publishEventWithName(const std::string& name, const std::optional<platform::Json>& parameters);
  void startObservingDeviceVolume();
  void stopObservingDeviceVolume();

  std::shared_ptr<OMIDQuilbrnAdSession> adSession_;
  std::atomic<double> playerVolume_{0};
  std::atomic<platform::ObserverToken> volumeObservation_{0};
};
