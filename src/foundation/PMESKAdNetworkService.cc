#include "foundation/PMESKAdNetworkService.h"

#include <vector>

#include "platform/storage.h"

std::set<std::string> PMESKAdNetworkService::collectNetworkIdsFromPlist() {
  std::set<std::string> ids;
  auto items = platform::appInfoValue("SKAdNetworkItems");
  if (!items || !items->is_array()) return ids;
  for (const auto& item : *items) {
    if (!item.is_object()) continue;
    auto id = item.find("SKAdNetworkIdentifier");
    if (id == item.end() || !id->is_string()) continue;
    ids.insert(id->get<std::string>());
  }
  return ids;
}

platform::Json QBUtils::getSkanDictionary() {
  const auto ids = PMESKAdNetworkService::collectNetworkIdsFromPlist();
  if (ids.empty()) return platform::Json::object();
  return platform::Json{{"skadnetids", platform::Json(std::vector<std::string>(ids.begin(), ids.end()))}};
}
