#include "ownnetwork/api/QuillborneNetworkAPIUtils.h"

#include <atomic>
#include <cstdint>

#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/clock.h"

std::string QuillborneNetworkAPIUtils::generateInstanceId(const platform::Json& instanceData) {
  const std::string name = platform::getString(instanceData, "instanceName").value_or("");
  const bool rewarded = qbnjson::boolValue(instanceData, "rewarded").value_or(false);
  return rewarded ? "ManRewInst_" + name : name;
}

std::string QuillborneNetworkAPIUtils::generateUniqueInstanceId() {
  // Lives for the process; only ever grows.
  static std::atomic<int64_t> last{0};
  const int64_t now = platform::nowWallMs();
  int64_t previous = last.load();
  int64_t id = 0;
  do {
    id = now > previous ? now : previous + 1;
  } while (!last.compare_exchange_weak(previous, id));
  return std::to_string(id);
}
