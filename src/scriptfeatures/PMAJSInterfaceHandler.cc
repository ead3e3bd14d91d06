#include "scriptfeatures/PMAJSInterfaceHandler.h"

#include <exception>

#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "presentation/QBProductContext.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::Json;

namespace {

constexpr char kClassName[] = "PMAJSInterfaceHandler";
constexpr int kTagNative = 5;
constexpr int kTagController = 8;

constexpr char kTesterABGroup[] = "testerABGroup";
constexpr char kTestFriendlyName[] = "testFriendlyName";

void log(const std::string& message, uint64_t level, int tag) {
  PlovermarkLogManager::sharedManager().log(message, level, tag);
}

std::optional<std::string> text(const Json& request, const char* key) { return QBNJSConventions::text(request, key); }

bool isNonEmptyText(const Json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() && !it->get_ref<const std::string&>().empty();
}

// The page escapes every query value, so extra data arrives as escaped JSON
// text; text that already reads as an object is taken as it is.
Json extraDataFromText(const std::optional<std::string>& extData) {
  if (!extData) return Json::object();
  for (const auto& candidate : {*extData, PMAHelperMethods::decodeFromPercentEscapeString(*extData)}) {
    auto parsed = PMAHelperMethods::dictionaryFromJsonString(candidate, nullptr);
    if (parsed && parsed->is_object()) return std::move(*parsed);
  }
  return Json::object();
}

}  // namespace

PMAJSInterfaceHandler::PMAJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
    : publisherAgent_(std::move(publisherAgent)), dispatcher_(QBHTTPRequestsDispatcher::create()) {}

// ------------------------------------------------------ getControllerConfig

void PMAJSInterfaceHandler::getControllerConfig(const Json& params, const std::string& configuration) {
  if (!params.is_object()) return;
  try {
    if (configuration.empty()) {
      QBNJSConventions::reply(publisherAgent_, text(params, "fail"),
                              Json{{"errMsg", "handleGetControllerConfig - no config was set"}, {"forceCommand", true}},
                              false);
      return;
    }
    auto config = PMAHelperMethods::dictionaryFromJsonString(configuration, nullptr);
    if (!config || !config->is_object()) {
      // The one failure of the generic handler under "errorMsg": the page reads it so.
      QBNJSConventions::reply(
          publisherAgent_, text(params, "fail"),
          Json{{"errorMsg", "handleGetControllerConfig - failed to parse string controller config"},
               {"forceCommand", true}},
          false);
      return;
    }
    const auto agent = publisherAgent();
    const std::string userGroup = agent ? agent->userGroup() : "";
    Json reply = isUserGroupValid(userGroup) ? addUserGroupToConfig(*config, userGroup) : std::move(*config);
    reply["forceCommand"] = true;
    const auto& features = QBNFeaturesManager::supportedNativeFeatures();
    if (!features.empty()) reply["nativeFeatures"] = features;
    QBNJSConventions::reply(publisherAgent_, text(params, "success"), reply, false);
  } catch (const std::exception& exception) {
    log(std::string("handleGetControllerConfig - throw an excpetion. ") + exception.what(), 3, kTagController);
  } catch (...) {
    log("handleGetControllerConfig - throw an excpetion. unknown", 3, kTagController);
  }
}

bool PMAJSInterfaceHandler::isUserGroupValid(const std::string& userGroup) {
  return !userGroup.empty() && userGroup.find("-1") == std::string::npos;
}

Json PMAJSInterfaceHandler::addUserGroupToConfig(const Json& config, const std::string& userGroup) {
  platform::Error error;
  const auto group = PMAHelperMethods::dictionaryFromJsonString(userGroup, &error);
  if (!group) {
    log("Native - addUserGroupToConfig JSON Parsing Error :" + error.message, 1, kTagController);
    return config;
  }
  const std::string keys = std::string(kTesterABGroup) + " and " + kTestFriendlyName;
  if (!group->is_object() || !group->contains(kTesterABGroup) || !group->contains(kTestFriendlyName)) {
    log("Native - addUserGroupToConfig " + keys + " do not exist in dictionary", 1, kTagController);
    return config;
  }
  if (!isNonEmptyText(*group, kTesterABGroup) || !isNonEmptyText(*group, kTestFriendlyName)) {
    log("Native - addUserGroupToConfig " + keys + " are empty values inside testerParameters dictionary", 1,
        kTagController);
    return config;
  }
  Json merged = config;
  merged[kTesterABGroup] = (*group)[kTesterABGroup];
  merged[kTestFriendlyName] = (*group)[kTestFriendlyName];
  return merged;
}

// ------------------------------------------------------------ demand sources

std::shared_ptr<PMADemandSource> PMAJSInterfaceHandler::getDemandSourceWithName(
    const std::optional<std::string>& productName, const Json& params, const std::string& functionName) {
  platform::Error error;
  const uint32_t productType = QBProductContext::convertProductNameToProductType(productName, &error);
  if (productType == QBProductContext::kUnknownProductType) {
    QBNJSConventions::reply(publisherAgent_, text(params, "fail"), Json{{"errMsg", error.message}}, false);
    log(std::string(kClassName) + " | " + functionName + " | Could not find product type | description: " +
            PMAHelperMethods::buildErrorMessageFromError(error, "unknown"),
        3, kTagNative);
    return nullptr;
  }
  return PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(
      productType, ControllerAPIUtils::extractDemandSourceIdFromDictionary(params));
}

void PMAJSInterfaceHandler::adClicked(const Json& params) { notifyDemandSource(params, Notice::Clicked, "adClicked"); }

void PMAJSInterfaceHandler::adLeaveApplication(const Json& params) {
  notifyDemandSource(params, Notice::LeaveApplication, "adLeaveApplication");
}

void PMAJSInterfaceHandler::notifyDemandSource(const Json& params, Notice notice, const char* functionName) {
  const auto productName = text(params, "productType");
  if (!productName) return;
  const auto demandSource = getDemandSourceWithName(productName, params, functionName);
  if (!demandSource) return;
  // The listener hears the product's own name, whatever case the page wrote.
  const auto productType = QBProductContext::convertProductNameToProductType(productName, nullptr);
  const Json configuration{{"productType", PMAHelperMethods::productTypeByPMAType(productType).value_or(*productName)}};
  if (notice == Notice::Clicked) {
    DemandSourceDelegateResponder::handleAdClickedCallbackForDemandSource(demandSource, configuration);
  } else {
    DemandSourceDelegateResponder::handleAdLeaveApplicationCallbackForDemandSource(demandSource, configuration);
  }
}

// ----------------------------------------------------- ad-event notifications

void PMAJSInterfaceHandler::handleAdEventNotification(const Json& params) {
  const auto fail = text(params, "fail");
  try {
    const auto productName = text(params, "productType");
    const auto eventName = text(params, "eventName");
    if (!productName || !eventName) {
      QBNJSConventions::reply(publisherAgent_, fail, Json{{"errMsg", "missing params to handle product notification"}},
                              false);
      return;
    }
    auto demandSourceId = ControllerAPIUtils::extractDemandSourceIdFromDictionary(params);
    if (!demandSourceId) demandSourceId = text(params, "dsName");
    const Json extData = extraDataFromText(text(params, "extData"));

    platform::Error error;
    const uint32_t productType = QBProductContext::convertProductNameToProductType(productName, &error);
    if (productType == QBProductContext::kUnknownProductType) {
      QBNJSConventions::reply(publisherAgent_, fail, Json{{"errMsg", error.message}}, false);
      return;
    }
    const auto demandSource =
        PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(productType, demandSourceId);

    if (productType == 0 || productType == 1 || productType == 4) {
      const Json configuration{{"productType", *PMAHelperMethods::productTypeByPMAType(productType)}};
      DemandSourceDelegateResponder::handleAdEventNotificationCallbackForDemandSource(demandSource, *eventName, extData,
                                                                                      configuration);
    } else if (productType == 2) {
      const auto agent = publisherAgent();
      PMAOfferWallCalls::pmaOfferwallDidReceiveNotificationOnEvent(agent ? agent->offerWallDelegate() : nullptr,
                                                                   *eventName, extData);
    }
    log("Native - Received event:" + *eventName + ", In product:" + *productName, 1, kTagController);

    Json reply{{"productType", *productName}, {"eventName", *eventName}};
    if (demandSource) {
      reply["demandSourceName"] = demandSource->name();
      reply["demandSourceId"] = demandSource->identifier();
    }
    QBNJSConventions::reply(publisherAgent_, text(params, "success"), reply, true);
  } catch (...) {
    QBNJSConventions::reply(publisherAgent_, fail,
                            Json{{"errMsg", "exception recevied while trying to handler product notification"}}, false);
  }
}
