// The restore of an events engine's backup from arbitrary JSON, as a new
// process finds it in the engine's store.
//  - The engine keeps exactly the well-formed entries (objects with integer
//    "eventId" and "timestamp"), within its bound, oldest first.
//  - A new event joins them and the next backup holds the kept events and the
//    new one, each well formed.
//  - The kept events make an upload body of the right size in both formats.
// Input that is not JSON text is stored as a JSON string (what a store holds
// is always JSON).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "core/QBConfigurations.h"
#include "events/QBEventsEngines.h"
#include "events/QBEventsFormat.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/fuzz_support.h"

namespace {

void resetProcessWide() {
  QBRewardedVideoEventsEngine::resetForTesting();
  // Observations of dead owners wait for the next notice to be dropped.
  platform::NotificationCenter::resetDefaultForTesting();
  QBConfigurations::getConfigurations().resetForTesting();
  PMEReachabilityManager::resetForTesting();
}

}  // namespace

QB_FUZZ_JSON_TARGET()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto parsed = platform::parseJson(bytes);
  const platform::Json backup = parsed.ok() ? parsed.value() : platform::Json(std::string(bytes));

  platform::TestEnvironment env;
  resetProcessWide();
  auto store = QBKeyValueStorageProvider::storageWithIdentifier(QBEventsSettings::kRewardedVideoEventsIdentifier);
  store->setValue(QBEventsEngine::kBackupKey, backup);

  const auto wellFormed = QBEventsFormat::eventsFromBackup(backup);
  const size_t bound = QBEventsSettings::kDefaultMaxNumberOfEventsToBackup;
  const size_t expectedKept = wellFormed.size() < bound ? wellFormed.size() : bound;

  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  env.runUntilIdle();
  QB_FUZZ_CHECK(engine->storedEventCountForTesting() == expectedKept);

  const auto body = QBEventsFormat::uploadBody(false, wellFormed, 0, wellFormed.size(), 1'760'000'000'000);
  QB_FUZZ_CHECK(body.at("events").size() == wellFormed.size());
  const auto table = QBEventsFormat::uploadBody(true, wellFormed, 0, wellFormed.size(), 1'760'000'000'000);
  QB_FUZZ_CHECK(table.at("data").size() == wellFormed.size());
  // The text the engine sends is the text of the body value, byte for byte.
  std::deque<QBKeptEvent> kept;
  for (const auto& event : wellFormed) kept.push_back(QBEventsFormat::keptEvent(event));
  QB_FUZZ_CHECK(QBEventsFormat::uploadBodyText(false, kept, 0, kept.size(), 1'760'000'000'000) ==
                platform::dumpJson(body));
  QB_FUZZ_CHECK(QBEventsFormat::uploadBodyText(true, kept, 0, kept.size(), 1'760'000'000'000) ==
                platform::dumpJson(table));

  engine->logEvent(QBEventData(3, platform::Json{{"provider", "fuzz"}}));
  env.advance(QBEventsEngine::kBackupDelayMs + 1);
  const size_t expectedAfter = expectedKept + 1 < bound ? expectedKept + 1 : bound;
  QB_FUZZ_CHECK(engine->storedEventCountForTesting() == expectedAfter);
  auto written = store->getValue(QBEventsEngine::kBackupKey);
  QB_FUZZ_CHECK(written && written->is_array() && written->size() == expectedAfter);
  for (const auto& event : *written) QB_FUZZ_CHECK(QBEventsFormat::isEnrichedEvent(event));
  QB_FUZZ_CHECK(written->back().at("eventId") == 3);

  resetProcessWide();
  env.runUntilIdle();
  return 0;
}
