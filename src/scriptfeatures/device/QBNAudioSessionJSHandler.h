#pragma once
// "audioSessionAPI": the controller page reads and sets the application's
// audio session (platform::AudioSession) and hears of its interruptions.
//
// Commands arrive on the main queue and are answered from it, at once, with
// the values as they are (no percent-encoding). Interruptions are answered
// on the thread the platform posts them from. Category and mode names pass
// through unchanged; "categoryOptions" and "setActiveOptions" are the
// platform's option bit sets. A request without a sub-command
// ("functionName") is ignored. Nothing the page changes is restored when the
// page goes away.
//
// Sub-commands (arguments: "functionParams", escaped JSON of an object):
//   getAudioSessionData     "success" {"category", "mode", "categoryOptions"}
//   setAudioSessionData     {"category" (required), "categoryOptions", "mode"}:
//                           "success" {} when every call made succeeded, else
//                           "fail" {"errMsg": the first failing call's error}
//   activateAudioSession,   {"setActiveOptions"}: "success" {} or "fail"
//   deactivateAudioSession  {"errMsg"}
//   isOtherAppPlayingAudio  "success" {"otherAppPlaying": boolean}
//   getAvailableCategories  "success" {"availableCategories": [names]}
//   getAvailableModes       "success" {"availableModes": [names]}
//   subscribeToInterruption no reply now; every interruption then answers
//                           this request's "success" with the notice's
//                           details; replaces an earlier subscription
//   unsubscribeInterruption no reply; ends the subscription
//   anything else           "fail" {"errMsg": "unsupported API in js handler"}
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"
#include "platform/notifications.h"

class QBNPublisherAgent;

class QBNAudioSessionJSHandler : public QBNJSInterfaceHandlerP,
                                 public std::enable_shared_from_this<QBNAudioSessionJSHandler> {
 public:
  explicit QBNAudioSessionJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  ~QBNAudioSessionJSHandler() override;

  void invokeAPIWithJSParams(const platform::Json& params) override;

  void getAudioSessionDataWithJsParams(const platform::Json& params);
  void setAudioSessionDataWithJsParams(const platform::Json& params);
  void activateAudioSessionWithJsParams(const platform::Json& params);
  void deactivateAudioSessionWithJsParams(const platform::Json& params);
  void handleAudioSessionActivation(bool activate, const platform::Json& params);
  void checkIsOtherAppPlayingAudioWithJsParams(const platform::Json& params);
  void getAudioSessionAvailableCategoriesWithJsParams(const platform::Json& params);
  void getAudioSessionAvailableModesWithJsParams(const platform::Json& params);
  void subscribeInterruption(const platform::Json& params);
  void unsubscribeInterruption();
  // Any thread: answers the subscribed request with the notice's details.
  void qbnHandleInterruption(const platform::Notification& notification);

  // The subscribed request, or none.
  std::optional<platform::Json> jsParamsInterruptions() const;

  // The option bits of a value: its leading integer, as an unsigned set.
  static uint64_t convertCategoryOptionsValueFromJsParamsToAudioSessionApi(const platform::Json& value);
  static std::optional<std::string> methodNameFromParams(const platform::Json& params);
  // The sub-command's arguments; an empty object when they do not read as one.
  static platform::Json methodParamsFromJSParams(const platform::Json& params, const std::string& operation);
  // Send nothing without a function name (or, for the first, parameters).
  void sendEmptyCallbackToController(const std::optional<std::string>& function) const;
  void sendCallbackToController(const std::optional<std::string>& function,
                                const std::optional<platform::Json>& params) const;

 private:
  static void logInfo(const std::string& message);
  // Answers "success" {} or "fail" with the error's text.
  void answer(const platform::Json& params, const std::optional<platform::Error>& error) const;

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  mutable std::mutex mutex_;  // the subscription: commands on main, notices from any thread
  std::optional<platform::Json> jsParamsInterruptions_;
  platform::ObserverToken interruptionObservation_ = 0;
};
