#include "events/QBAdUnitEventsTables.h"

#include <array>
#include <utility>

#include "events/QBEventKinds.h"

namespace {

using namespace QBEventKind;
using Table = std::array<int, kKindCount>;  // 0: no id

constexpr Table makeTable(std::initializer_list<std::pair<int, int>> entries) {
  Table table{};
  for (const auto& [kind, id] : entries) table[static_cast<size_t>(kind)] = id;
  return table;
}

// Rewarded video, mediation level.
constexpr Table kRewardedVideoMediation = makeTable({
    {INIT_STARTED, 81312}, {INIT_ENDED, 81313},
    {LOAD_AD, 1000}, {LOAD_AD_SUCCESS, 1003}, {LOAD_AD_FAILED, 1221}, {LOAD_AD_FAILED_WITH_REASON, 1220},
    {LOAD_AD_NO_FILL, 1222},
    {SHOW_AD, 1100}, {SHOW_AD_CHANCE, 1101}, {SHOW_AD_SUCCESS, 1102}, {SHOW_AD_FAILED, 1103},
    {AD_STARTED, 1104}, {AD_ENDED, 1105}, {AD_VISIBLE, 1106}, {AD_OPENED, 1107}, {AD_CLICKED, 1108},
    {AD_CLOSED, 1109}, {AD_REWARDED, 1110},
    {AD_AVAILABILITY_CHANGED_TRUE, 1111}, {AD_AVAILABILITY_CHANGED_FALSE, 1112},
    {PLACEMENT_CAPPED, 1113}, {SESSION_CAPPED, 1114},
    {COLLECT_TOKEN, 1320}, {COLLECT_TOKEN_COMPLETED, 1321}, {COLLECT_TOKEN_FAILED, 1322},
    {INSTANCE_COLLECT_TOKEN, 1020}, {INSTANCE_COLLECT_TOKEN_SUCCESS, 1021}, {INSTANCE_COLLECT_TOKEN_FAILED, 1022},
    {INSTANCE_COLLECT_TOKEN_TIMED_OUT, 1023},
    {AUCTION_REQUEST, 1300}, {AUCTION_FAILED, 1301}, {AUCTION_SUCCESS, 1302}, {AUCTION_REQUEST_WATERFALL, 1310},
    {AUCTION_RESPONSE_WATERFALL, 1311}, {AD_UNIT_CAPPED, 1303},
    {TS_NOTIFICATION_ERROR, 81317}, {TS_NETWORK_ADAPTER_NOT_AVAILABLE, 81010}, {TS_AD_ADAPTER_NOT_AVAILABLE, 81011},
    {TS_PROVIDER_SETTINGS_MISSING, 81040}, {TS_BIDDING_DATA_MISSING, 81041},
    {TS_UNEXPECTED_INIT_SUCCESS, 81050}, {TS_UNEXPECTED_INIT_FAILED, 81051},
    {TS_UNEXPECTED_AUCTION_SUCCESS, 81060}, {TS_UNEXPECTED_AUCTION_FAILED, 81061},
    {TS_UNEXPECTED_LOAD_SUCCESS, 81070}, {TS_UNEXPECTED_LOAD_FAILED, 81071},
    {TS_UNEXPECTED_SHOW_FAILED, 81080}, {TS_UNEXPECTED_CLOSED, 81081}, {TS_UNEXPECTED_TIMEOUT, 81082},
    {TS_LOAD_FAILED, 81001}, {TS_INTERNAL_ERROR, 81072}, {TS_WATERFALL_OVERHEAD, 81318},
    {TS_AD_EXPIRED, 81090},
});

// Interstitial, mediation level.
constexpr Table kInterstitialMediation = makeTable({
    {INIT_STARTED, 82312}, {INIT_ENDED, 82313},
    {LOAD_AD, 2001}, {LOAD_AD_SUCCESS, 2004}, {LOAD_AD_FAILED, 2111}, {LOAD_AD_FAILED_WITH_REASON, 2110},
    {LOAD_AD_NO_FILL, 2112},
    {SHOW_AD, 2200}, {SHOW_AD_CHANCE, 2201}, {SHOW_AD_SUCCESS, 2202}, {SHOW_AD_FAILED, 2203},
    {AD_STARTED, 2204}, {AD_ENDED, 2205}, {AD_VISIBLE, 2206}, {AD_OPENED, 2207}, {AD_CLICKED, 2208},
    {AD_CLOSED, 2209},
    {PLACEMENT_CAPPED, 2213}, {SESSION_CAPPED, 2214},
    {COLLECT_TOKEN, 2320}, {COLLECT_TOKEN_COMPLETED, 2321}, {COLLECT_TOKEN_FAILED, 2322},
    {INSTANCE_COLLECT_TOKEN, 2020}, {INSTANCE_COLLECT_TOKEN_SUCCESS, 2021}, {INSTANCE_COLLECT_TOKEN_FAILED, 2022},
    {INSTANCE_COLLECT_TOKEN_TIMED_OUT, 2023},
    {AUCTION_REQUEST, 2000}, {AUCTION_FAILED, 2300}, {AUCTION_SUCCESS, 2301}, {AUCTION_REQUEST_WATERFALL, 2310},
    {AUCTION_RESPONSE_WATERFALL, 2311}, {AD_UNIT_CAPPED, 2303},
    {TS_NOTIFICATION_ERROR, 82317}, {TS_NETWORK_ADAPTER_NOT_AVAILABLE, 82010}, {TS_AD_ADAPTER_NOT_AVAILABLE, 82011},
    {TS_PROVIDER_SETTINGS_MISSING, 82040}, {TS_BIDDING_DATA_MISSING, 82041},
    {TS_UNEXPECTED_INIT_SUCCESS, 82050}, {TS_UNEXPECTED_INIT_FAILED, 82051},
    {TS_UNEXPECTED_AUCTION_SUCCESS, 82060}, {TS_UNEXPECTED_AUCTION_FAILED, 82061},
    {TS_UNEXPECTED_LOAD_SUCCESS, 82070}, {TS_UNEXPECTED_LOAD_FAILED, 82071},
    {TS_UNEXPECTED_SHOW_FAILED, 82080}, {TS_UNEXPECTED_CLOSED, 82081}, {TS_UNEXPECTED_TIMEOUT, 82082},
    {TS_INTERNAL_ERROR, 82072}, {TS_AUCTION_SUCCESSFUL_RECOVERY, 88002},
    {TS_AD_EXPIRED, 82090},
});

// Provider level: the instance's own load and interaction ids, and its
// troubleshooting ids 500 above the mediation ones. Init flow, availability,
// auction and token kinds belong to the ad unit as a whole and have none.
constexpr Table providerTable(const Table& mediation, int loadRequested, int loadSuccess, int loadFailedBase,
                              int interactionBase, int lastInteractionKind) {
  Table table{};
  table[LOAD_AD] = loadRequested;
  table[LOAD_AD_SUCCESS] = loadSuccess;
  table[LOAD_AD_FAILED] = loadFailedBase;
  table[LOAD_AD_FAILED_WITH_REASON] = loadFailedBase + 1;
  table[LOAD_AD_NO_FILL] = loadFailedBase + 2;
  for (int kind = SHOW_AD; kind <= lastInteractionKind; ++kind) table[kind] = interactionBase + (kind - SHOW_AD);
  table[PLACEMENT_CAPPED] = interactionBase + 13;
  table[SESSION_CAPPED] = interactionBase + 14;
  for (int kind = TS_NOTIFICATION_ERROR; kind < kKindCount; ++kind) {
    if (mediation[kind] != 0) table[kind] = mediation[kind] + 500;
  }
  return table;
}

constexpr Table kRewardedVideoProvider = providerTable(kRewardedVideoMediation, 1001, 1002, 1200, 1150, AD_REWARDED);
constexpr Table kInterstitialProvider = providerTable(kInterstitialMediation, 2002, 2003, 2100, 2250, AD_CLOSED);

}  // namespace

namespace QBAdUnitEventsTables {

std::optional<int> eventId(const QBAdUnit& adUnit, int level, int kind) {
  if (kind < 0 || kind >= kKindCount) return std::nullopt;
  const Table* table = nullptr;
  const bool provider = level == kLevelProvider;
  if (level != kLevelMediation && !provider) return std::nullopt;
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
    table = provider ? &kRewardedVideoProvider : &kRewardedVideoMediation;
  } else if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) {
    table = provider ? &kInterstitialProvider : &kInterstitialMediation;
  } else {
    return std::nullopt;
  }
  const int id = (*table)[static_cast<size_t>(kind)];
  if (id == 0) return std::nullopt;
  return id;
}

}  // namespace QBAdUnitEventsTables
