#pragma once
// The life of the own network's controller page: which controller runs (the
// web controller that downloads the page and runs it in the hidden web view,
// or the fallback that answers every command with a failure), the 200 s
// global init timer, the controller state, the queue of commands that wait
// for the page, the end of initiation reported once to a completion, and the
// demand sources initialised after each init step.
//
// One manager per publisher: the publisher creates it, sets itself as the
// publisher and calls createController once.
//
// Threads. runCommand may be called from any thread. Init steps (the page's
// stages, the web controller's failures, the global timer, the web content's
// termination) run on the main queue; so does the completion. The queue,
// the state and the controller are guarded by one lock, never held while a
// controller, the publisher or the completion is called:
//  * a command either goes to the controller at once or is queued, and a
//    queued command is always handed over by a later flush - none is lost
//    when the page turns ready while other threads send;
//  * commands reach the controller in the order they were queued: while a
//    flush is under way, or commands are still queued, new commands join the
//    queue (also those a handler sends while the flush hands commands over)
//    and the same flush hands them over in turn.
// docs/controller-page.md describes the states with the page's side.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/controller/QBNControllerProtocols.h"
#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "platform/dispatch.h"

class QBNControllerPublisherP;
class QBNDataManagerProtocol;

enum class QBNControllerState : uint64_t {
  None = 0,              // the web controller was made; the page downloads
  Downloaded = 1,        // never entered
  Loaded = 2,            // the page reported "loaded"
  FailedInitiating = 3,  // initiation failed (passed on the way to the fallback)
  Ready = 4,             // the page reported "ready", or the fallback runs: commands go at once
  Failed = 5,            // the page reported "failed", or the global timer fired (passed)
};
// "none", "downloaded", "loaded", "failed initiating", "ready", "failed".
const char* QBNControllerStateName(QBNControllerState state);

inline constexpr int64_t kQBNControllerGlobalInitTimeoutMs = 200'000;

class QBNControllerManager : public QBNControllerManagerP,
                             public QBNControllerDelegate,
                             public QBNWebControllerDelegate,
                             public QBNNativeControllerDelegate,
                             public std::enable_shared_from_this<QBNControllerManager> {
 public:
  // Hears once how initiation ended: no error when the page is ready, else
  // why it failed. Main queue.
  using InitCompletion = std::function<void(const std::optional<platform::Error>&)>;

  static std::shared_ptr<QBNControllerManager> create();

  // Keeps the values (state none, nothing queued). controllerConfig: the
  // controller configuration's JSON text.
  void initControllerWithcontrollerURL(const std::optional<std::string>& controllerURL, int64_t debugMode,
                                       std::shared_ptr<QBNDataManagerProtocol> dataManager,
                                       const std::optional<std::string>& controllerConfig, InitCompletion completion);
  // Held weakly.
  void setPublisher(std::weak_ptr<QBNControllerPublisherP> publisher);

  // Hands the configuration to the features manager. On a supported OS
  // version, makes the web controller, starts the global init timer (main
  // queue) and the download. Otherwise installs the fallback at once (state
  // ready), answers what was queued with failures and reports "OS version
  // <version> not supported" (general domain, code 0) to the completion from
  // the main queue. Any thread; once.
  void createController();

  // Hears how initiation ended, as the init completion does, on the main
  // queue: posted at once when it has ended already, else when it ends.
  void whenInitiationSettled(InitCompletion completion);

  // QBNControllerManagerP. A command whose parameters hold "forceCommand"
  // true goes to the controller at once in every state (queued only while no
  // controller exists yet).
  void runCommand(const std::string& functionName, const platform::Json& parameters,
                  const std::optional<std::string>& successMethodName,
                  const std::optional<std::string>& failMethodName, bool decodeFirst) override;
  void runCommand(const QBNControllerAPIData& data) override;

  // QBNControllerDelegate: the end of an init step. Ignored once the fallback
  // runs (a page that still talks is no longer the controller).
  void handleInitControllerCallBack(bool success, const platform::Json& parameters,
                                    const std::optional<platform::Error>& error) override;
  // QBNWebControllerDelegate.
  bool handleControllerCallback(const platform::URLRequest& request, int navigationType) override;
  void handleWebViewTerminated() override;
  // To the publisher's dispatcher.
  void handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                           const std::optional<std::string>& fullUrl);
  void handlePlovermarkCallbackWithCommand(const std::string& command, const platform::Json& parameters) override;

  bool isControllerInitializing() const { return isControllerInitializing_.load(); }
  std::shared_ptr<QBNController> controller() const;
  QBNControllerState controllerState() const;
  void setControllerState(QBNControllerState state);
  // Whether the fallback controller runs (the page is no longer the
  // controller, and answers nothing more).
  bool isNativeControllerCurrent() const;
  // Whether the global init timer runs.
  bool hasControllerGlobalInitTimer() const;
  size_t pendingCommandCount() const;
  std::shared_ptr<QBNDataManagerProtocol> dataManager() const { return dataManager_; }
  int64_t debugMode() const { return debugMode_; }
  const std::optional<std::string>& controllerConfig() const { return controllerConfig_; }
  const std::optional<std::string>& controllerURL() const { return controllerURL_; }

  // Runs after each queued command a flush hands to the controller, outside
  // the lock, on the flushing thread: a test sends from there to meet a flush
  // in the middle. Set before the flush; nullptr removes it.
  void setHandOverHookForTesting(std::function<void()> hook) { handOverHookForTesting_ = std::move(hook); }

 private:
  QBNControllerManager() = default;

  void createWebController();
  // Installs the fallback (state ready) with the reason its answers carry,
  // stopping the global timer and the replaced controller's timers. The
  // caller flushes.
  void createNativeControllerWithError(const std::string& reason);
  // The stage of a success step; the state afterwards.
  QBNControllerState setControllerStateAfterInitialization(const platform::Json& parameters);
  void initiateDemandSourcesAfterControllerInitiated(const std::optional<platform::Error>& error);
  void invokePendingCommands();
  void controllerFailedInitiatingWithError(const platform::Error& error);
  void controllerGlobalInitTimerFired();
  void fireInitControllerCompletionBlock(const std::optional<platform::Error>& error);
  void stopGlobalInitTimer();
  std::shared_ptr<QBNControllerPublisherP> publisher() const { return publisher_.lock(); }

  std::atomic<bool> isControllerInitializing_{false};
  std::optional<std::string> controllerURL_;
  std::optional<std::string> controllerConfig_;
  int64_t debugMode_ = 0;
  std::shared_ptr<QBNDataManagerProtocol> dataManager_;
  std::weak_ptr<QBNControllerPublisherP> publisher_;

  mutable std::mutex mutex_;
  // Guarded by mutex_.
  std::shared_ptr<QBNController> controller_;
  QBNControllerState controllerState_ = QBNControllerState::None;
  std::deque<QBNControllerAPIData> controllerCommandsQueue_;
  bool flushing_ = false;
  std::shared_ptr<platform::Timer> controllerGlobalInitTimer_;
  InitCompletion initCompletionBlock_;
  // How initiation ended, once it has, and who waits to hear it.
  bool initiationSettled_ = false;
  std::optional<platform::Error> initiationOutcome_;
  std::vector<InitCompletion> settledWaiters_;
  std::function<void()> handOverHookForTesting_;
};
