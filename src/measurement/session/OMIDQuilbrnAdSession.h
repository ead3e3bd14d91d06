#pragma once
// One measured ad: a context and a configuration bound to a script executor
// and a bridge that send commands to the measurement script, an event filter
// that lets each session event happen once and in order, a state publisher,
// the main ad view and the friendly obstructions.
//
// Life: created (registered with the SDK's registry, "init" published) ->
// started (start; "startSession" published; in the registry's active list)
// -> finished (finish; "finishSession" published; out of both lists). A
// second start, a start after finish and a second finish do nothing; after
// finish every operation is ignored or refused.
//
// Threading: meant for the main thread. Changes of the main ad view run on
// the main thread (a call from another thread waits for it: the main thread
// never waits for a thread that calls these, docs/measurement.md); the
// registry hears of the start, the finish and a new ad view on the main
// thread (at once when called there, else posted); adding an obstruction off
// the main thread is refused (1516). start, finish and the events may come
// from any thread: the event filter makes each check-and-accept atomic, and
// the bridge keeps the commands in publishing order.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/bridge/OMIDQuilbrnBridge.h"
#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"
#include "measurement/session/OMIDQuilbrnAdSessionContext.h"
#include "measurement/session/OMIDQuilbrnEventFilter.h"
#include "measurement/session/OMIDQuilbrnFriendlyObstruction.h"
#include "measurement/state/OMIDQuilbrnAdSessionStatePublisher.h"
#include "measurement/state/OMIDQuilbrnWindowContainer.h"
#include "platform/result.h"

namespace platform {
class View;
}

class OMIDQuilbrnAdSession;

// What a session tells its registry (on the main thread).
class OMIDQuilbrnAdSessionDelegate {
 public:
  virtual ~OMIDQuilbrnAdSessionDelegate() = default;
  virtual void adSessionDidStart(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) = 0;
  virtual void adSessionDidFinish(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) = 0;
  // adSession:didRegisterAdView: the session measures `adView` from now on.
  virtual void adSession(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession,
                         const std::shared_ptr<platform::View>& adView) = 0;
};

class OMIDQuilbrnAdSession : public std::enable_shared_from_this<OMIDQuilbrnAdSession> {
 public:
  // The longest detailed reason of a friendly obstruction, in UTF-16 units.
  static constexpr size_t kMaxDetailedReasonLength = 50;

  // A new session with a new identifier: its bridge sends "init" with the
  // configuration at once, and it joins the SDK's registry (on the main
  // thread; before this returns when called there). No context: 1506, null.
  // A missing configuration counts as one whose values are all 0.
  static std::shared_ptr<OMIDQuilbrnAdSession> initWithConfiguration(
      std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration,
      std::shared_ptr<OMIDQuilbrnAdSessionContext> context, platform::Error* error);

  // Once: the last activity (when there is one) and the device volume, then
  // "startSession" with the identifier, the context, the verification
  // parameters and the injected resources; the registry hears of it.
  void start();
  // Once: "finishSession"; a script context's timers are cancelled; the
  // registry hears of it.
  void finish();

  // The view whose exposure is measured (held weakly). A different view (or
  // none) moves the state publisher's gate to now; a new view is registered,
  // taking it from any other session that measured it. Ignored after finish.
  void setMainAdView(const std::shared_ptr<platform::View>& adView);
  std::shared_ptr<platform::View> mainAdView() const { return mainAdView_.lock(); }

  // Checks, in this order: finished (false, no error), no view (1511), a
  // detailed reason longer than 50 UTF-16 units or holding anything but
  // ASCII letters, digits and spaces, or empty (1512; no reason passes), not
  // on the main thread (1516), the view already registered (false, no
  // error). Then true.
  bool addFriendlyObstruction(const std::shared_ptr<platform::View>& obstructionView,
                              OMIDQuilbrnFriendlyObstructionType purpose,
                              const std::optional<std::string>& detailedReason, platform::Error* error);
  // On the main thread; ignored after finish.
  void removeFriendlyObstruction(const std::shared_ptr<platform::View>& obstructionView);
  void removeAllFriendlyObstructions();
  // The obstructions whose views are alive, in the order they were added
  // (main thread). Obstructions whose view died are dropped from the list
  // the next time it is read or changed.
  std::vector<std::shared_ptr<OMIDQuilbrnFriendlyObstruction>> friendlyObstructions();

  // The error command with the type and message, while the session is not
  // finished; an empty message sends nothing.
  void logErrorWithType(OMIDQuilbrnErrorType type, const std::string& message);

  // The application, or (see OMIDQuilbrnWindowContainer::usesScenes) the
  // scene of the main ad view's window, else the one connected scene when
  // exactly one is connected, else none. Main thread.
  OMIDQuilbrnWindowContainer windowContainer() const;

  // The device's output volume (0 to 1), and its publication to the script.
  static double deviceVolume();
  void setDeviceVolume();

  const std::string& identifier() const { return identifier_; }
  const std::shared_ptr<OMIDQuilbrnAdSessionContext>& context() const { return context_; }
  const std::shared_ptr<OMIDQuilbrnAdSessionConfiguration>& configuration() const { return configuration_; }
  OMIDQuilbrnEventFilter& eventFilter() const { return *eventFilter_; }
  const std::shared_ptr<OMIDQuilbrnBridge>& bridge() const { return bridge_; }
  OMIDQuilbrnAdEventsPublisher& adEventsPublisher() const { return *bridge_; }
  OMIDQuilbrnMediaEventsPublisher& mediaEventsPublisher() const { return *bridge_; }
  const std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher>& statePublisher() const { return statePublisher_; }

  // Whether the last view state published for it carried its view (the
  // state publishers read and write it).
  bool lastPublishedViewStateWasPopulated() const { return lastPublishedViewStateWasPopulated_.load(); }
  void setLastPublishedViewStateWasPopulated(bool value) { lastPublishedViewStateWasPopulated_.store(value); }

  // The registry, held weakly.
  std::shared_ptr<OMIDQuilbrnAdSessionDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OMIDQuilbrnAdSessionDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  OMIDQuilbrnAdSession() = default;
  void internal_setMainAdView(const std::shared_ptr<platform::View>& adView);
  void pruneFriendlyObstructions();

  std::string identifier_;
  std::shared_ptr<OMIDQuilbrnAdSessionContext> context_;
  std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration_;
  std::unique_ptr<OMIDQuilbrnEventFilter> eventFilter_;
  std::shared_ptr<OMIDQuilbrnBridge> bridge_;
  std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher> statePublisher_;
  std::weak_ptr<platform::View> mainAdView_;                                      // main thread
  std::vector<std::shared_ptr<OMIDQuilbrnFriendlyObstruction>> friendlyObstructions_;  // main thread
  std::atomic<bool> lastPublishedViewStateWasPopulated_{true};
  std::weak_ptr<OMIDQuilbrnAdSessionDelegate> delegate_;
};
