#pragma once
// Event kinds of the ad-unit events wrapper. A kind is turned into an event
// id by the table of the ad unit and level (QBAdUnitEventsTables); the ids are
// listed in docs/events.md.
namespace QBEventKind {

inline constexpr int INIT_STARTED = 0;
inline constexpr int INIT_ENDED = 3;
inline constexpr int LOAD_AD = 4;
inline constexpr int LOAD_AD_SUCCESS = 5;
inline constexpr int LOAD_AD_FAILED = 6;
inline constexpr int LOAD_AD_FAILED_WITH_REASON = 7;
inline constexpr int LOAD_AD_NO_FILL = 8;
inline constexpr int SHOW_AD = 9;
inline constexpr int SHOW_AD_CHANCE = 10;
inline constexpr int SHOW_AD_SUCCESS = 11;
inline constexpr int SHOW_AD_FAILED = 12;
inline constexpr int AD_STARTED = 13;
inline constexpr int AD_ENDED = 14;
inline constexpr int AD_VISIBLE = 15;
inline constexpr int AD_OPENED = 16;
inline constexpr int AD_CLICKED = 17;
inline constexpr int AD_CLOSED = 18;
inline constexpr int AD_REWARDED = 19;
inline constexpr int AD_AVAILABILITY_CHANGED_TRUE = 20;
inline constexpr int AD_AVAILABILITY_CHANGED_FALSE = 21;
inline constexpr int COLLECT_TOKEN = 22;
inline constexpr int COLLECT_TOKEN_COMPLETED = 23;
inline constexpr int COLLECT_TOKEN_FAILED = 24;
inline constexpr int INSTANCE_COLLECT_TOKEN = 25;
inline constexpr int INSTANCE_COLLECT_TOKEN_SUCCESS = 26;
inline constexpr int INSTANCE_COLLECT_TOKEN_FAILED = 27;
inline constexpr int INSTANCE_COLLECT_TOKEN_TIMED_OUT = 28;
inline constexpr int AUCTION_REQUEST = 29;
inline constexpr int AUCTION_FAILED = 30;
inline constexpr int AUCTION_SUCCESS = 31;
inline constexpr int AUCTION_REQUEST_WATERFALL = 32;
inline constexpr int AUCTION_RESPONSE_WATERFALL = 33;
inline constexpr int PLACEMENT_CAPPED = 34;
inline constexpr int SESSION_CAPPED = 35;
// Asked of a source only for its data (the conversion-value report); never
// sent as an event.
inline constexpr int CONVERSION_VALUE_DATA = 36;
inline constexpr int AD_UNIT_CAPPED = 37;
inline constexpr int TS_NOTIFICATION_ERROR = 38;
inline constexpr int TS_NETWORK_ADAPTER_NOT_AVAILABLE = 39;
inline constexpr int TS_AD_ADAPTER_NOT_AVAILABLE = 40;
inline constexpr int TS_PROVIDER_SETTINGS_MISSING = 41;
inline constexpr int TS_BIDDING_DATA_MISSING = 42;
inline constexpr int TS_UNEXPECTED_INIT_SUCCESS = 43;
inline constexpr int TS_UNEXPECTED_INIT_FAILED = 44;
inline constexpr int TS_UNEXPECTED_AUCTION_SUCCESS = 45;
inline constexpr int TS_UNEXPECTED_AUCTION_FAILED = 46;
inline constexpr int TS_UNEXPECTED_LOAD_SUCCESS = 47;
inline constexpr int TS_UNEXPECTED_LOAD_FAILED = 48;
inline constexpr int TS_UNEXPECTED_SHOW_FAILED = 49;
inline constexpr int TS_UNEXPECTED_CLOSED = 50;
inline constexpr int TS_UNEXPECTED_TIMEOUT = 51;
inline constexpr int TS_LOAD_FAILED = 52;
inline constexpr int TS_INTERNAL_ERROR = 53;
inline constexpr int TS_WATERFALL_OVERHEAD = 56;
inline constexpr int TS_AUCTION_SUCCESSFUL_RECOVERY = 57;
inline constexpr int TS_AD_EXPIRED = 58;

// One past the largest kind.
inline constexpr int kKindCount = 59;

}  // namespace QBEventKind
