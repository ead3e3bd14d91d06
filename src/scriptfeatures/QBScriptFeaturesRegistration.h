#pragma once
// Start-up registration of the script features with the own-network core,
// which reaches them only through the interfaces it declares.

namespace qb::scriptfeatures {

// Registers the factories of the script handlers this library implements:
// jsInterfaceHandler (PMAJSInterfaceHandler: "getControllerConfig",
// "adClicked", "adLeaveApplication", "sendHttpRequest",
// "postAdEventNotification"), ringerButtonHandler (QBNRingerButtonJSHandler:
// "ringerSwitchAPI"), tokenHandler ("iabTokenAPI"), deviceDataHandler
// ("deviceDataAPI"), fileSystemHandler (QBNFileSystemJSInterfaceHandler:
// "fileSystemAPI"), audioSessionHandler ("audioSessionAPI"),
// adImpressionHandler ("SKAdImpressionAPI") and overlayHandler
// ("SKOverlayAPI"). Idempotent, any thread; the SDK object calls it at
// start-up.
void registerWithOwnNetwork();

}  // namespace qb::scriptfeatures
