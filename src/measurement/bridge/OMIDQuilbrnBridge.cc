#include "measurement/bridge/OMIDQuilbrnBridge.h"

#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/sdk/OMIDQuilbrnMethodInvoker.h"
#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"
#include "measurement/session/OMIDQuilbrnVASTProperties.h"

using platform::Json;

std::shared_ptr<OMIDQuilbrnBridge> OMIDQuilbrnBridge::initWithJSExecutor(
    std::shared_ptr<OMIDQuilbrnJSExecutor> jsExecutor) {
  return std::shared_ptr<OMIDQuilbrnBridge>(new OMIDQuilbrnBridge(std::move(jsExecutor)));
}

void OMIDQuilbrnBridge::publishCommand(const std::string& command) {
  if (jsExecutor_ && jsExecutor_->supportBackgroundThread()) {
    internal_publishCommand(command);
    return;
  }
  OMIDQuilbrnMethodInvoker::performSelectorAsync(
      [](OMIDQuilbrnBridge& bridge, const std::string& c) { bridge.internal_publishCommand(c); }, shared_from_this(),
      command);
}

void OMIDQuilbrnBridge::internal_publishCommand(const std::string& command) {
  if (jsExecutor_) jsExecutor_->injectJavaScriptFromString(command);
}

void OMIDQuilbrnBridge::publishInitWithConfiguration(const OMIDQuilbrnAdSessionConfiguration& configuration) {
  publishCommand(OMIDQuilbrnCommand::commandWithName(
      "init", {OMIDQuilbrnDictionaryUtil::stringFromJSON(configurationJSON(configuration))}));
}

void OMIDQuilbrnBridge::publishStartEventWithAdSessionId(const std::string& adSessionId, const Json& JSONContext,
                                                         const std::optional<Json>& verificationParameters,
                                                         const std::optional<Json>& injectedResources) {
  const auto context = OMIDQuilbrnDictionaryUtil::stringFromJSON(JSONContext);
  if (!context) {
    publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, "Bad context for OMID start event");
    return;
  }
  std::optional<std::string> parameters;
  if (verificationParameters) {
    parameters = OMIDQuilbrnDictionaryUtil::stringFromJSON(*verificationParameters);
    if (!parameters) {
      publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, "Bad verification parameters for OMID start event");
      return;
    }
  }
  std::optional<std::string> injected;
  if (injectedResources) injected = OMIDQuilbrnDictionaryUtil::stringFromJSON(*injectedResources);
  publishCommand(OMIDQuilbrnCommand::commandWithName(
      "startSession", {OMIDQuilbrnCommand::stringWithQuotesFromString(adSessionId), context, parameters, injected}));
}

void OMIDQuilbrnBridge::publishErrorWithType(OMIDQuilbrnErrorType type, const std::string& errorMessage) {
  publishCommand(OMIDQuilbrnCommand::errorCommandWithType(type, errorMessage));
}

void OMIDQuilbrnBridge::publishFinishEvent() { publishCommand(OMIDQuilbrnCommand::commandWithName("finishSession")); }

void OMIDQuilbrnBridge::publishImpressionEvent() {
  publishCommand(OMIDQuilbrnCommand::commandWithName("publishImpressionEvent"));
}

void OMIDQuilbrnBridge::publishLoadedEvent() {
  publishCommand(OMIDQuilbrnCommand::commandWithName("publishLoadedEvent"));
}

void OMIDQuilbrnBridge::publishLoadedEventWithVastProperties(const OMIDQuilbrnVASTProperties& vastProperties) {
  publishCommand(OMIDQuilbrnCommand::commandWithName(
      "publishLoadedEvent", {OMIDQuilbrnDictionaryUtil::stringFromJSON(vastProperties.toJSON())}));
}

void OMIDQuilbrnBridge::publishMediaEventWithName(const std::string& name, const std::optional<Json>& parameters) {
  std::optional<std::string> json;
  if (parameters) {
    json = OMIDQuilbrnDictionaryUtil::stringFromJSON(*parameters);
    if (!json) {
      publishErrorWithType(OMIDQuilbrnErrorTypeGeneric, "Bad parameters for '" + name + "' event");
      return;
    }
  }
  publishCommand(OMIDQuilbrnCommand::commandWithName(
      "publishMediaEvent", {OMIDQuilbrnCommand::stringWithQuotesFromString(name), json}));
}

Json OMIDQuilbrnBridge::configurationJSON(const OMIDQuilbrnAdSessionConfiguration& configuration) {
  Json json = Json::object();
  json["impressionOwner"] = getStringOwner(configuration.impressionOwner());
  if (configuration.creativeType() != 0 && configuration.impressionType() != 0) {
    json["creativeType"] = getStringCreativeType(configuration.creativeType());
    json["impressionType"] = getStringImpressionType(configuration.impressionType());
    json["mediaEventsOwner"] = getStringOwner(configuration.mediaEventsOwner());
  } else {
    json["videoEventsOwner"] = getStringOwner(configuration.mediaEventsOwner());
  }
  json["isolateVerificationScripts"] = configuration.isolateVerificationScripts();
  return json;
}

std::string OMIDQuilbrnBridge::getStringOwner(OMIDQuilbrnOwner owner) {
  switch (owner) {
    case OMIDQuilbrnJavaScriptOwner: return "javascript";
    case OMIDQuilbrnNativeOwner: return "native";
    default: return "none";
  }
}

std::string OMIDQuilbrnBridge::getStringCreativeType(OMIDQuilbrnCreativeType type) {
  switch (type) {
    case OMIDQuilbrnCreativeTypeHtmlDisplay: return "htmlDisplay";
    case OMIDQuilbrnCreativeTypeNativeDisplay: return "nativeDisplay";
    case OMIDQuilbrnCreativeTypeVideo: return "video";
    case OMIDQuilbrnCreativeTypeAudio: return "audio";
    default: return "definedByJavaScript";
  }
}

std::string OMIDQuilbrnBridge::getStringImpressionType(OMIDQuilbrnImpressionType type) {
  switch (type) {
    case OMIDQuilbrnImpressionTypeUnspecified: return "unspecified";
    case OMIDQuilbrnImpressionTypeLoaded: return "loaded";
    case OMIDQuilbrnImpressionTypeBeginToRender: return "beginToRender";
    case OMIDQuilbrnImpressionTypeOnePixel: return "onePixel";
    case OMIDQuilbrnImpressionTypeViewable: return "viewable";
    case OMIDQuilbrnImpressionTypeAudible: return "audible";
    case OMIDQuilbrnImpressionTypeOther: return "other";
    default: return "definedByJavaScript";
  }
}

std::string OMIDQuilbrnBridge::getStringError(OMIDQuilbrnErrorType type) { return OMIDQuilbrnCommand::getStringError(type); }
