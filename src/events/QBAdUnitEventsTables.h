#pragma once
// Event ids of the ad-unit event kinds, per ad unit and level (0 mediation,
// 1 provider). Rewarded video and interstitial have tables; other ad units
// have none, so their kinds map to nothing. docs/events.md lists every table.
#include <optional>

#include "events/QBEventKinds.h"
#include "quillborne/QBAdUnit.h"

namespace QBAdUnitEventsTables {

inline constexpr int kLevelMediation = 0;
inline constexpr int kLevelProvider = 1;

// The id of `kind` for `adUnit` at `level`; none when the table has no id for
// it (or there is no table).
std::optional<int> eventId(const QBAdUnit& adUnit, int level, int kind);

}  // namespace QBAdUnitEventsTables
