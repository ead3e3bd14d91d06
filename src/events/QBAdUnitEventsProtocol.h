#pragma once
// The source of the data every event of an ad-unit events wrapper shares
// (adopted by the ad-unit managers and their waterfall instances).
#include <nlohmann/json_fwd.hpp>

namespace platform {
using Json = nlohmann::ordered_json;
}

class QBAdUnitEventsProtocol {
 public:
  virtual ~QBAdUnitEventsProtocol() = default;
  // The common data of an event of kind `eventKind` (a JSON object; anything
  // else counts as empty). Called on the thread that sends the event, never
  // under a lock of the wrapper.
  virtual platform::Json getEventsAdditionalDataDictionary(int eventKind) = 0;
};
