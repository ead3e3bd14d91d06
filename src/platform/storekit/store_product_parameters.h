#pragma once
// The parameters of a store product page: an ordered dictionary whose values
// are JSON values or UUID objects (the ad-network nonce travels as a UUID
// object, not as text). Pure value type.
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/json.h"
#include "platform/uuid.h"

namespace platform {

// The keys the store product page reads itself; every other key is passed on
// as it comes.
inline constexpr char kSKStoreProductParameterITunesItemIdentifier[] = "id";
inline constexpr char kSKStoreProductParameterAdNetworkNonce[] = "adNetworkNonce";

using StoreParameterValue = std::variant<Json, Uuid>;

class StoreProductParameters {
 public:
  using Member = std::pair<std::string, StoreParameterValue>;

  StoreProductParameters() = default;

  // The members of a JSON object, in its order; anything but an object gives
  // no members.
  static StoreProductParameters fromJson(const Json& object);
  // A JSON object of the members, in order; a UUID shows as its canonical
  // (upper-case) text.
  Json toJson() const;

  bool empty() const { return members_.empty(); }
  size_t size() const { return members_.size(); }
  const std::vector<Member>& members() const { return members_; }

  // The value under `key`, or null.
  const StoreParameterValue* find(std::string_view key) const;
  // Replaces the value of `key` in place, or appends the member.
  void set(const std::string& key, StoreParameterValue value);
  void erase(std::string_view key);

  bool operator==(const StoreProductParameters&) const = default;

 private:
  std::vector<Member> members_;
};

}  // namespace platform
