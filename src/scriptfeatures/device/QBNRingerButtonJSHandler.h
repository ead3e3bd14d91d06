#pragma once
// "ringerSwitchAPI": the controller page's silent-switch listener.
//
//   "init"           prepares the detector; answers "success" with {}
//   "startListener"  prepares it and, when it is active, starts reporting:
//                    "success" with {}, else "fail" with {"errMsg": "ringer
//                    checker was failed in init"}
//   "stopListener"   prepares it and, when active, stops reporting; answers
//                    as "startListener"
//   anything else    "fail" with {"errMsg": "unsupported API"}
//
// While reporting, each report is sent to the page function
// "ringerSwitchStatusChanged" with {"ringerSwitchSilent": true or false}. A
// request without "functionName" is ignored. Replies and reports are
// decoded, then encoded (decodeFirst), and go only while the publisher
// exists.
//
// Preparing (once per handler): the folder "native_assets" in the own
// network's cache root becomes the light cache's root, where the detector
// keeps its sound.
//
// Main queue.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"

class QBNRingerCheckerController;

inline constexpr char kQBNRingerSwitchStatusChanged[] = "ringerSwitchStatusChanged";
inline constexpr char kQBNRingerCheckerFailedMessage[] = "ringer checker was failed in init";
inline constexpr char kQBNNativeAssetsFolderName[] = "native_assets";

class QBNRingerButtonJSHandler : public QBNJSInterfaceHandlerP,
                                 public std::enable_shared_from_this<QBNRingerButtonJSHandler> {
 public:
  explicit QBNRingerButtonJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}

  void invokeAPIWithJSParams(const platform::Json& params) override;

  void handlePrepareRingerChecker(const platform::Json& params);
  void handleStartRingerStatus(const platform::Json& params);
  void handleStopRingerCheckerStatus(const platform::Json& params);
  // Sends the report of `silent` to the page.
  void upadateOnStatusChanged(bool silent);

  std::shared_ptr<QBNRingerCheckerController> ringerCheckerController() const { return ringerCheckerController_; }

 private:
  void prepareDetectorController();
  void createNativeAssetsDirectory();
  void sendEmptyCallbackToController(const platform::Json& params);
  void sendCallbackToController(const std::optional<std::string>& function, const platform::Json& parameters);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNRingerCheckerController> ringerCheckerController_;
};
