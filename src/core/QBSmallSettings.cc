// The configuration records with a handful of fields each.
#include "core/QBApplicationSettings.h"
#include "core/QBEventsSettings.h"
#include "core/QBJsonValues.h"
#include "core/QBSKAdNetworkSettings.h"
#include "core/QBTestSuiteSettings.h"
#include "core/QBTokenSettings.h"

std::shared_ptr<const QBTokenSettings> QBTokenSettings::fromJson(const platform::Json& section) {
  std::shared_ptr<QBTokenSettings> s(new QBTokenSettings());
  s->oneToken_ = qbjson::boolOr(section, "oneToken", false);
  s->compressToken_ = qbjson::boolOr(section, "compressToken", false);
  return s;
}

QBApplicationSettings::QBApplicationSettings()
    : adMetricsURL_(std::string(QBEventsSettings::kDefaultEventsBaseURL) + "/aemData") {}

std::shared_ptr<const QBApplicationSettings> QBApplicationSettings::fromJson(const platform::Json& application) {
  std::shared_ptr<QBApplicationSettings> s(new QBApplicationSettings());
  const platform::Json loggers = qbjson::objectOr(application, "loggers");
  s->consoleLogLevel_ = static_cast<int>(qbjson::intOr(loggers, "console", kDefaultConsoleLogLevel, -1, 3));
  s->publisherLogLevel_ = static_cast<int>(qbjson::intOr(loggers, "publisher", kDefaultPublisherLogLevel, -1, 3));
  s->integrationDebug_ = qbjson::boolOr(qbjson::objectOr(application, "integration"), "debug", false);
  const platform::Json crash = qbjson::objectOr(application, "crashReporter");
  s->crashReporterEnabled_ = qbjson::boolOr(crash, "enabled", false);
  s->crashReporterURL_ = qbjson::nonEmptyString(crash, "url");
  if (auto url = qbjson::nonEmptyString(application, "adMetricsURL")) s->adMetricsURL_ = std::move(*url);
  return s;
}

std::shared_ptr<const QBSKAdNetworkSettings> QBSKAdNetworkSettings::fromJson(const platform::Json& section) {
  std::shared_ptr<QBSKAdNetworkSettings> s(new QBSKAdNetworkSettings());
  s->enabled_ = qbjson::boolOr(section, "enabled", false);
  s->maxConversionValue_ =
      static_cast<int>(qbjson::intOr(section, "maxConversionValue", kDefaultMaxConversionValue, 0, 63));
  return s;
}

std::shared_ptr<const QBTestSuiteSettings> QBTestSuiteSettings::fromJson(const platform::Json& testSuite) {
  return initWithControllerUrl(qbjson::nonEmptyString(testSuite, "controllerUrl"));
}
