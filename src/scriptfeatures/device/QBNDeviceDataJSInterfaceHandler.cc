#include "scriptfeatures/device/QBNDeviceDataJSInterfaceHandler.h"

#include "foundation/PMEReachability.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "scriptfeatures/QBNJSConventions.h"

using platform::Json;

std::optional<std::string> QBNDeviceDataJSInterfaceHandler::methodNameFromParams(const Json& params) {
  return QBNJSConventions::text(params, "deviceDataFunction");
}

void QBNDeviceDataJSInterfaceHandler::invokeAPIWithJSParams(const Json& params) {
  const auto method = methodNameFromParams(params);
  if (!method) return;
  PlovermarkLogManager::sharedManager().log("QBNDeviceDataJSInterfaceHandler | " + *method, 1, 5);
  if (*method == "getDeviceData") {
    getDeviceData(params);
  } else {
    sendCallbackToController(QBNJSConventions::text(params, "fail"), Json{{"errMsg", "unsupported API"}});
  }
}

void QBNDeviceDataJSInterfaceHandler::getDeviceData(const Json& params) {
  const auto reachability = PMEReachabilityManager::sharedManager()->getReachabilityObject();
  sendCallbackToController(QBNJSConventions::text(params, "success"),
                           Json{{"cellularNetworkType", reachability->getCellularNetworkType()}});
}

void QBNDeviceDataJSInterfaceHandler::sendCallbackToController(const std::optional<std::string>& function,
                                                               const std::optional<Json>& params) const {
  QBNJSConventions::replyEncoded(publisherAgent_, function, params.value_or(Json::object()));
}
