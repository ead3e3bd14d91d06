#pragma once
// The test suite's analytics events. Every event's data starts with
// "provider": "Mediation"; error events add "errorCode", "reason" (when
// given) and "is_test_suite" (when the merged metadata has that key). The
// events go to the rewarded-video events engine through
// QBTestSuiteMediationSdkProxy::logEvent.
//
// Class operations only; any thread; each returns at once.
#include <optional>
#include <string>

#include "platform/json.h"

class QBTestSuiteEventsManager {
 public:
  static constexpr int kLaunchEventId = 70;
  static constexpr int kLaunchedEventId = 71;
  static constexpr int kLaunchFailedEventId = 72;
  static constexpr int kWebControllerOpenedEventId = 73;
  static constexpr int kWebControllerFailedToLoadEventId = 74;
  // The error code of event 74.
  static constexpr int kWebControllerFailedToLoadErrorCode = 1724;
  static constexpr const char* MEDIATION = "Mediation";

  QBTestSuiteEventsManager() = delete;

  // 70: launch requested.
  static void onTestSuiteLaunch();
  // 71: launched.
  static void onTestSuiteLaunchedSuccessfully();
  // 72: launch refused with `errorCode`.
  static void onTestSuiteLaunchFailed(int errorCode);
  // 73: the test page replaced the loading screen.
  static void onTestSuiteWebControllerOpened();
  // 74: the test page failed to load (code 1724).
  static void onTestSuiteWebControllerFailedToLoad(const std::string& reason);

  // An event with no data of its own.
  static void logEvent(int eventId);
  // An event with the error data above.
  static void logErrorEvent(int eventId, int errorCode, const std::optional<std::string>& reason);
  // "provider" first, then `eventDict`'s entries over it.
  static void logEvent(int eventId, const platform::Json& eventDict);
};
