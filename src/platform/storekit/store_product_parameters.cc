#include "platform/storekit/store_product_parameters.h"

#include <algorithm>

namespace platform {

StoreProductParameters StoreProductParameters::fromJson(const Json& object) {
  StoreProductParameters parameters;
  if (!object.is_object()) return parameters;
  for (const auto& [key, value] : object.items()) parameters.members_.emplace_back(key, value);
  return parameters;
}

Json StoreProductParameters::toJson() const {
  Json object = Json::object();
  for (const auto& [key, value] : members_) {
    if (const auto* uuid = std::get_if<Uuid>(&value)) {
      object[key] = uuid->UUIDString();
    } else {
      object[key] = std::get<Json>(value);
    }
  }
  return object;
}

const StoreParameterValue* StoreProductParameters::find(std::string_view key) const {
  for (const auto& member : members_) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

void StoreProductParameters::set(const std::string& key, StoreParameterValue value) {
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return;
    }
  }
  members_.emplace_back(key, std::move(value));
}

void StoreProductParameters::erase(std::string_view key) {
  members_.erase(std::remove_if(members_.begin(), members_.end(), [&](const Member& m) { return m.first == key; }),
                 members_.end());
}

}  // namespace platform
