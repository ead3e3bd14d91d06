#pragma once
// A generic sender of analytics events: one HTTP request per event, built from
// a configuration (endpoint, method, headers, on/off, formatter) and a source
// of base data merged into every event. It stores, batches and retries
// nothing. (QBNEventsTracker is the own network's use of it.)
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"

// Turns an event dictionary into the request text.
class QBEventsFormatter {
 public:
  virtual ~QBEventsFormatter() = default;
  virtual std::string format(const platform::Json& event) const = 0;
};

// The dictionary merged into every event.
class QBEventsBaseData {
 public:
  virtual ~QBEventsBaseData() = default;
  virtual platform::Json getData() const = 0;
};

struct QBEventsConfiguration {
  std::optional<std::string> endpoint;
  bool areEventsEnabled = false;
  // "GET" puts the request text into the URL's query; any other method sends
  // it as the body. None is sent as "POST".
  std::optional<std::string> httpMethod;
  // Header names to values (an object); when set, the request's complete set
  // of header fields. Members whose value is not text are left out.
  std::optional<platform::Json> requestHeaders;
  std::shared_ptr<const QBEventsFormatter> formatter;
  // Whether upload answers and failures are printed to the console.
  bool allowLogs = false;
};

// Error domains (with their messages) of a tracker that cannot be made.
inline constexpr char kEventsConfigurationIsNil[] = "EventsConfigurationIsNil";
inline constexpr char kEventsFormatterIsNil[] = "EventsFormatterIsNil";

class QBEventsTracker {
 public:
  // A tracker sending with a copy of `configuration`. Fails without a
  // configuration ("EventsConfigurationIsNil", "Nil configuration not
  // supported") or without its formatter ("EventsFormatterIsNil", "Nil
  // formatter is not supported"). The base data may be absent.
  static platform::Result<std::shared_ptr<QBEventsTracker>> init(
      const std::shared_ptr<const QBEventsConfiguration>& configuration,
      std::shared_ptr<const QBEventsBaseData> baseData);

  const QBEventsConfiguration& getEventsConfiguration() const { return configuration_; }
  const std::shared_ptr<const QBEventsBaseData>& getBaseData() const { return baseData_; }

  // Sends the event at once, unless events are disabled or the name is empty
  // (then nothing happens). The event is `data`'s members, then "eventname" =
  // `name`, then the base data's members (which win on equal keys), formatted
  // and sent with QBHttpService::send; the call returns before the answer.
  // Any thread.
  void log(const std::string& name, const platform::Json& data) const;

  // The request for a formatted text: with "GET", the endpoint, "?" and the
  // text with each value of its name=value pairs percent-escaped (a base64
  // value holds "+", "/" and "=", which a query would misread); otherwise the
  // endpoint, with the text as the body.
  platform::URLRequest buildRequestForEvent(const std::string& formattedText) const;

  bool isLoggingEnabled() const { return configuration_.allowLogs; }

  // What runs when an upload ends: with allowLogs, prints "QBEventsTracker
  // Response Status Code <status>" or "QBEventsTracker Request Error
  // <description>"; nothing else.
  platform::DataTaskCompletion generateCompletionCallback() const;

 private:
  QBEventsTracker(QBEventsConfiguration configuration, std::shared_ptr<const QBEventsBaseData> baseData)
      : configuration_(std::move(configuration)), baseData_(std::move(baseData)) {}

  const QBEventsConfiguration configuration_;
  const std::shared_ptr<const QBEventsBaseData> baseData_;
};
