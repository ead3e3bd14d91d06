#pragma once
// What a session's bridge publishes to the measurement script: command
// scripts, session events, ad events and media events.
#include <optional>
#include <string>

#include "measurement/session/OMIDQuilbrnTypes.h"
#include "platform/json.h"

class OMIDQuilbrnAdSessionConfiguration;
class OMIDQuilbrnVASTProperties;

class OMIDQuilbrnCommandPublisher {
 public:
  virtual ~OMIDQuilbrnCommandPublisher() = default;
  virtual void publishCommand(const std::string& command) = 0;
};

class OMIDQuilbrnSessionEventsPublisher {
 public:
  virtual ~OMIDQuilbrnSessionEventsPublisher() = default;
  virtual void publishInitWithConfiguration(const OMIDQuilbrnAdSessionConfiguration& configuration) = 0;
  // Missing verification parameters end the argument list after the context.
  virtual void publishStartEventWithAdSessionId(const std::string& adSessionId, const platform::Json& JSONContext,
                                                const std::optional<platform::Json>& verificationParameters,
                                                const std::optional<platform::Json>& injectedResources) = 0;
  virtual void publishErrorWithType(OMIDQuilbrnErrorType type, const std::string& errorMessage) = 0;
  virtual void publishFinishEvent() = 0;
};

class OMIDQuilbrnAdEventsPublisher {
 public:
  virtual ~OMIDQuilbrnAdEventsPublisher() = default;
  virtual void publishImpressionEvent() = 0;
  virtual void publishLoadedEvent() = 0;
  virtual void publishLoadedEventWithVastProperties(const OMIDQuilbrnVASTProperties& vastProperties) = 0;
};

class OMIDQuilbrnMediaEventsPublisher {
 public:
  virtual ~OMIDQuilbrnMediaEventsPublisher() = default;
  virtual void publishMediaEventWithName(const std::string& name, const std::optional<platform::Json>& parameters) = 0;
};
