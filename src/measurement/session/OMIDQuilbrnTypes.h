#pragma once
// The value types of the measurement SDK. They are unsigned numbers: a value
// outside the names below is kept as given and read by the rule of the reader
// (the bridge sends unknown owners as "none", for instance).
#include <cstdint>

using OMIDQuilbrnAdSessionType = unsigned;
inline constexpr OMIDQuilbrnAdSessionType OMIDQuilbrnAdSessionTypeHtml = 0;
inline constexpr OMIDQuilbrnAdSessionType OMIDQuilbrnAdSessionTypeNative = 1;
inline constexpr OMIDQuilbrnAdSessionType OMIDQuilbrnAdSessionTypeJavaScript = 2;

// Who reports impressions or media events. For the impression owner, 0 counts
// as none.
using OMIDQuilbrnOwner = unsigned;
inline constexpr OMIDQuilbrnOwner OMIDQuilbrnJavaScriptOwner = 1;
inline constexpr OMIDQuilbrnOwner OMIDQuilbrnNativeOwner = 2;
inline constexpr OMIDQuilbrnOwner OMIDQuilbrnNoneOwner = 3;

using OMIDQuilbrnCreativeType = unsigned;
inline constexpr OMIDQuilbrnCreativeType OMIDQuilbrnCreativeTypeDefinedByJavaScript = 1;
inline constexpr OMIDQuilbrnCreativeType OMIDQuilbrnCreativeTypeHtmlDisplay = 2;
inline constexpr OMIDQuilbrnCreativeType OMIDQuilbrnCreativeTypeNativeDisplay = 3;
inline constexpr OMIDQuilbrnCreativeType OMIDQuilbrnCreativeTypeVideo = 4;
inline constexpr OMIDQuilbrnCreativeType OMIDQuilbrnCreativeTypeAudio = 5;

using OMIDQuilbrnImpressionType = unsigned;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeDefinedByJavaScript = 1;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeUnspecified = 2;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeLoaded = 3;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeBeginToRender = 4;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeOnePixel = 5;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeViewable = 6;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeAudible = 7;
inline constexpr OMIDQuilbrnImpressionType OMIDQuilbrnImpressionTypeOther = 8;

// The type of an error the integration reports to the scripts.
using OMIDQuilbrnErrorType = unsigned;
inline constexpr OMIDQuilbrnErrorType OMIDQuilbrnErrorTypeGeneric = 1;
inline constexpr OMIDQuilbrnErrorType OMIDQuilbrnErrorTypeVideo = 2;

// Where a video ad stands in its content.
using OMIDQuilbrnPosition = unsigned;
inline constexpr OMIDQuilbrnPosition OMIDQuilbrnPositionPreroll = 0;
inline constexpr OMIDQuilbrnPosition OMIDQuilbrnPositionMidroll = 1;
inline constexpr OMIDQuilbrnPosition OMIDQuilbrnPositionPostroll = 2;
inline constexpr OMIDQuilbrnPosition OMIDQuilbrnPositionStandalone = 3;

// The session events of the event filter; finish is the final one.
namespace OMIDQuilbrnSessionEvent {
inline constexpr unsigned Start = 1;
inline constexpr unsigned Impression = 2;
inline constexpr unsigned Loaded = 4;
inline constexpr unsigned AdEventsCreated = 8;
inline constexpr unsigned MediaEventsCreated = 16;
inline constexpr unsigned Finish = 32;
}  // namespace OMIDQuilbrnSessionEvent
