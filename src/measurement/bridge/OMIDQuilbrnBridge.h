#pragma once
// One session's publisher of commands to the measurement script: every
// publication becomes one command script (OMIDQuilbrnCommand) handed to the
// session's executor.
//
// Threading: with an executor that supports background threads (the script
// context executor) a command is handed over at once on the calling thread
// (the executor queues it in publishing order). Otherwise the command goes
// to the web view on the main thread: at once when published there, else
// posted to the main queue (the bridge held weakly). The bridge holds no lock.
#include <memory>
#include <string>

#include "measurement/bridge/OMIDQuilbrnPublishers.h"
#include "measurement/executor/OMIDQuilbrnJSExecutor.h"

class OMIDQuilbrnBridge : public OMIDQuilbrnCommandPublisher,
                          public OMIDQuilbrnSessionEventsPublisher,
                          public OMIDQuilbrnAdEventsPublisher,
                          public OMIDQuilbrnMediaEventsPublisher,
                          public std::enable_shared_from_this<OMIDQuilbrnBridge> {
 public:
  static std::shared_ptr<OMIDQuilbrnBridge> initWithJSExecutor(std::shared_ptr<OMIDQuilbrnJSExecutor> jsExecutor);

  const std::shared_ptr<OMIDQuilbrnJSExecutor>& jsExecutor() const { return jsExecutor_; }

  void publishCommand(const std::string& command) override;

  // "init" with the configuration's JSON (configurationJSON).
  void publishInitWithConfiguration(const OMIDQuilbrnAdSessionConfiguration& configuration) override;
  // "startSession" with the quoted session id and the JSON of the context,
  // the verification parameters and the injected resources. A context or
  // verification parameters without a JSON text send the error command (type
  // 1) "Bad context for OMID start event" / "Bad verification parameters for
  // OMID start event" instead.
  void publishStartEventWithAdSessionId(const std::string& adSessionId, const platform::Json& JSONContext,
                                        const std::optional<platform::Json>& verificationParameters,
                                        const std::optional<platform::Json>& injectedResources) override;
  void publishErrorWithType(OMIDQuilbrnErrorType type, const std::string& errorMessage) override;
  void publishFinishEvent() override;

  void publishImpressionEvent() override;
  void publishLoadedEvent() override;
  void publishLoadedEventWithVastProperties(const OMIDQuilbrnVASTProperties& vastProperties) override;

  // "publishMediaEvent" with the quoted name and the parameters' JSON when
  // given; parameters without a JSON text send the error command (type 1)
  // "Bad parameters for '<name>' event" instead.
  void publishMediaEventWithName(const std::string& name, const std::optional<platform::Json>& parameters) override;

  // With both types non-zero: {"impressionOwner", "creativeType",
  // "impressionType", "mediaEventsOwner", "isolateVerificationScripts"}; else
  // {"impressionOwner", "videoEventsOwner", "isolateVerificationScripts"}.
  static platform::Json configurationJSON(const OMIDQuilbrnAdSessionConfiguration& configuration);

  // 1 "javascript", 2 "native", any other "none".
  static std::string getStringOwner(OMIDQuilbrnOwner owner);
  // 2 "htmlDisplay", 3 "nativeDisplay", 4 "video", 5 "audio", any other
  // "definedByJavaScript".
  static std::string getStringCreativeType(OMIDQuilbrnCreativeType type);
  // 2 "unspecified", 3 "loaded", 4 "beginToRender", 5 "onePixel", 6
  // "viewable", 7 "audible", 8 "other", any other "definedByJavaScript".
  static std::string getStringImpressionType(OMIDQuilbrnImpressionType type);
  static std::string getStringError(OMIDQuilbrnErrorType type);

 private:
  explicit OMIDQuilbrnBridge(std::shared_ptr<OMIDQuilbrnJSExecutor> jsExecutor) : jsExecutor_(std::move(jsExecutor)) {}
  void internal_publishCommand(const std::string& command);

  std::shared_ptr<OMIDQuilbrnJSExecutor> jsExecutor_;
};
