#pragma once
// The controller objects behind QBNControllerManager and the delegates through
// which they report back, with the errors of controller initiation.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"

// Codes of "PMAErrorDomain" raised while the controller initiates.
inline constexpr int kQBNControllerDownloadFailedCode = 1002;   // download or storing failed
inline constexpr int kQBNControllerLoadFailedCode = 1003;       // no "loaded" within 10 s
inline constexpr int kQBNControllerInitTimeoutCode = 1004;      // no "ready" within 200 s
inline constexpr int kQBNControllerNoConnectionCode = 1006;     // no connection at download time
inline constexpr int kQBNNativeControllerErrorCode = 1007;      // every answer of the fallback controller

inline constexpr char kQBNControllerDownloadFailedMessage[] = "Controller failed initiating";
inline constexpr char kQBNControllerLoadFailedMessage[] = "Controller failed to load";
inline constexpr char kQBNControllerInitTimeoutMessage[] = "Controller failed initiating, timeout";
inline constexpr char kQBNControllerNoConnectionMessage[] = "Controller failed initiating, no internet connection";

// Hears the end of an init step. Main queue.
class QBNControllerDelegate {
 public:
  virtual ~QBNControllerDelegate() = default;
  // success: the page reported a stage (parameters: the "initController"
  // command's); otherwise the web controller failed with `error`.
  virtual void handleInitControllerCallBack(bool success, const platform::Json& parameters,
                                            const std::optional<platform::Error>& error) = 0;
};

// What the web controller also asks of its delegate. Main queue.
class QBNWebControllerDelegate {
 public:
  virtual ~QBNWebControllerDelegate() = default;
  // Whether the web view may load the request (the page's URL channel).
  virtual bool handleControllerCallback(const platform::URLRequest& request, int navigationType) = 0;
  virtual void handleWebViewTerminated() = 0;
};

// What the fallback controller asks of its delegate: its answers in the page's
// place. Called on the thread that sent the command.
class QBNNativeControllerDelegate {
 public:
  virtual ~QBNNativeControllerDelegate() = default;
  // command: the fail callback's name; parameters: a flat dictionary of texts.
  virtual void handlePlovermarkCallbackWithCommand(const std::string& command, const platform::Json& parameters) = 0;
};

// A controller: the web controller that runs the page, or the fallback.
class QBNController {
 public:
  virtual ~QBNController() = default;
  // Sends one command to the page (or answers it in the page's place). Any
  // thread.
  virtual void runCommand(const QBNControllerAPIData& command) = 0;
  // Stops the controller's own timers. Any thread.
  virtual void clearTimers() = 0;
  virtual std::shared_ptr<QBNControllerDelegate> controllerDelegate() const = 0;
  // Held weakly.
  virtual void setControllerDelegate(std::weak_ptr<QBNControllerDelegate> delegate) = 0;
};
