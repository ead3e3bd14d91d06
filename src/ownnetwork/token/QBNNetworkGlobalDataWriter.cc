#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"

#include "foundation/QBUserDefaultsUtilities.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"

void QBNNetworkGlobalDataWriter::setAppOrientation(uint64_t mask) {
  writer_.setData(QBNAppOrientationSourceP::controllerString(mask).value_or(""), QBGlobalDataKeys::kAppOrientation);
}

void QBNNetworkGlobalDataWriter::setDataFromControllerConfig(const std::optional<std::string>& controllerConfig) {
  if (!controllerConfig || controllerConfig->empty()) return;
  auto parsed = platform::parseJson(*controllerConfig);
  if (!parsed || !parsed.value().is_object()) return;
  auto cdn = parsed.value().find("chinaCDN");
  if (cdn == parsed.value().end()) return;
  writer_.setData(platform::Json{{QBGlobalDataKeys::kChinaCdn, *cdn}});
}

void QBNNetworkGlobalDataWriter::setDebugParams() {
  auto debug = QBUserDefaultsUtilities::getObjectFromUserDefaultsWithKey(kQBNDebugParamsKey);
  if (!debug || !debug->is_object() || debug->empty()) return;
  writer_.setData(*debug, QBGlobalDataKeys::kDebug);
}

void QBNNetworkGlobalDataWriter::extendTokenDataWithJsData(const std::optional<platform::Json>& data) {
  if (!data) return;
  writer_.extendData(*data, QBGlobalDataKeys::kControllerTokenParams);
}
