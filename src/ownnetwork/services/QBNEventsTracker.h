#pragma once
// The own network's events: the base data merged into each event, the
// formatter of the request text, and the process-wide reporter.
//
// Events are dropped until the own network installs a sender (init(), when it
// initialises for the first time with an "events" configuration); after that
// each event goes at once, one request per event, to the configured endpoint.
// docs/own-network.md shows the exact requests.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/services/QBEventsTracker.h"
#include "ownnetwork/services/QBNEvent.h"
#include "platform/json.h"

struct QBNConfigurations;

// A snapshot of device, application and configuration facts, taken when it is
// made and never refreshed.
class QBNEventsBaseData : public QBEventsBaseData {
 public:
  // Reads the device facts now; the configuration (may be null) gives the
  // application key, the user id, "advId" of the controller configuration
  // (the device id) and "sessionid" of the extra parameters.
  explicit QBNEventsBaseData(const QBNConfigurations* configurations);

  // "sdkversion", "bundleid", "connectiontype", "applicationkey", "deviceid"
  // (left out without one), "applicationuserid" (left out without one),
  // "deviceos", "deviceosversion", "deviceapilevel" (a number), "deviceoem",
  // "devicemodel", "env", "sessionid", "origin"; missing texts are "".
  platform::Json getData() const override;

  const std::optional<std::string>& bundleId() const { return bundleId_; }
  const std::optional<std::string>& connectionType() const { return connectionType_; }
  const std::optional<std::string>& applicationKey() const { return applicationKey_; }
  const std::optional<std::string>& deviceId() const { return deviceId_; }
  const std::optional<std::string>& deviceOsVersion() const { return deviceOsVersion_; }
  const std::optional<std::string>& deviceModel() const { return deviceModel_; }
  const std::optional<std::string>& sessionId() const { return sessionId_; }
  const std::optional<std::string>& applicationUserId() const { return applicationUserId_; }
  int32_t deviceApiLevel() const { return deviceApiLevel_; }

 private:
  std::optional<std::string> bundleId_;
  std::optional<std::string> connectionType_;
  std::optional<std::string> applicationKey_;
  std::optional<std::string> deviceId_;
  std::optional<std::string> deviceOsVersion_;
  std::optional<std::string> deviceModel_;
  std::optional<std::string> sessionId_;
  std::optional<std::string> applicationUserId_;
  int32_t deviceApiLevel_ = 0;
};

// "data=" + the standard base64 of the compact JSON {"table":
// kTable, "data": the event}, in which "callfailreason" and "generalmessage"
// are percent-escaped; "" when the event cannot be serialised.
class QBNEventsFormatter : public QBEventsFormatter {
 public:
  static constexpr const char* kTable = "plovermark.adunitanalytics.ad_unit_events";
  std::string format(const platform::Json& event) const override;
};

class QBNEventsTracker {
 public:
  // The process-wide reporter (never destroyed), with no sender at first.
  static QBNEventsTracker& sharedTracker();

  // Sends `event` with `data` (plus "eventid") through the installed sender;
  // dropped when none is installed. Any thread; returns at once.
  static void logEvent(const QBNEvent& event);
  static void logEvent(const QBNEvent& event, const platform::Json& data);

  // Installs a new sender made of the two, replacing any earlier one. When no
  // sender can be made (see QBEventsTracker::init) the error is returned and
  // the installed sender stays.
  platform::Status init(const std::shared_ptr<const QBEventsConfiguration>& configuration,
                        std::shared_ptr<const QBNEventsBaseData> baseData);

  // The sender in use, or null.
  std::shared_ptr<const QBEventsTracker> tracker() const;

  // No sender.
  void resetForTesting();

 private:
  QBNEventsTracker() = default;

  mutable std::mutex mutex_;
  std::shared_ptr<const QBEventsTracker> tracker_;
};
