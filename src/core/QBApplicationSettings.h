#pragma once
// Application-wide settings from the server configuration
// ("configurations"."application"): log levels, integration flags, crash
// reporter and external-revenue endpoint. Built once by the configuration
// parser and then only read. Keys and defaults: docs/configuration.md.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class QBApplicationSettings {
 public:
  static constexpr int kDefaultConsoleLogLevel = 0;
  static constexpr int kDefaultPublisherLogLevel = 1;

  // Missing, mistyped or out-of-range fields get their defaults.
  static std::shared_ptr<const QBApplicationSettings> fromJson(const platform::Json& application);

  // Minimum levels of the console and publisher log sinks: -1 (off) to 3.
  int consoleLogLevel() const { return consoleLogLevel_; }
  int publisherLogLevel() const { return publisherLogLevel_; }
  // The server asks for the integration checks' debug logs.
  bool isIntegrationDebugEnabled() const { return integrationDebug_; }
  // The crash reporter is registered only when enabled and given a URL.
  bool isCrashReporterEnabled() const { return crashReporterEnabled_ && crashReporterURL_.has_value(); }
  const std::optional<std::string>& crashReporterURL() const { return crashReporterURL_; }
  // Where externally mediated revenue is posted.
  const std::string& adMetricsURL() const { return adMetricsURL_; }

 private:
  QBApplicationSettings();
  int consoleLogLevel_ = kDefaultConsoleLogLevel;
  int publisherLogLevel_ = kDefaultPublisherLogLevel;
  bool integrationDebug_ = false;
  bool crashReporterEnabled_ = false;
  std::optional<std::string> crashReporterURL_;
  std::string adMetricsURL_;
};
