#include "testsuite/QBTestSuiteEventsManager.h"

#include "testsuite/QBTestSuiteMediationSdkProxy.h"

namespace {
constexpr char kIsTestSuiteKey[] = "is_test_suite";
}  // namespace

void QBTestSuiteEventsManager::onTestSuiteLaunch() { logEvent(kLaunchEventId); }

void QBTestSuiteEventsManager::onTestSuiteLaunchedSuccessfully() { logEvent(kLaunchedEventId); }

void QBTestSuiteEventsManager::onTestSuiteLaunchFailed(int errorCode) {
  logErrorEvent(kLaunchFailedEventId, errorCode, std::nullopt);
}

void QBTestSuiteEventsManager::onTestSuiteWebControllerOpened() { logEvent(kWebControllerOpenedEventId); }

void QBTestSuiteEventsManager::onTestSuiteWebControllerFailedToLoad(const std::string& reason) {
  logErrorEvent(kWebControllerFailedToLoadEventId, kWebControllerFailedToLoadErrorCode, reason);
}

void QBTestSuiteEventsManager::logEvent(int eventId) { logEvent(eventId, platform::Json::object()); }

void QBTestSuiteEventsManager::logErrorEvent(int eventId, int errorCode, const std::optional<std::string>& reason) {
  platform::Json data = {{"errorCode", errorCode}};
  if (reason) data["reason"] = *reason;
  const platform::Json metaData = QBTestSuiteMediationSdkProxy::metaData();
  if (metaData.contains(kIsTestSuiteKey)) data[kIsTestSuiteKey] = metaData[kIsTestSuiteKey];
  logEvent(eventId, data);
}

void QBTestSuiteEventsManager::logEvent(int eventId, const platform::Json& eventDict) {
  platform::Json data = {{"provider", MEDIATION}};
  if (eventDict.is_object()) {
    for (const auto& [key, value] : eventDict.items()) data[key] = value;
  }
  QBTestSuiteMediationSdkProxy::logEvent(eventId, data);
}
