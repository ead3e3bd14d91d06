#pragma once
// Start-up registration of the presentation library with the own-network
// core, which reaches it only through the interfaces it declares.

namespace qb::presentation {

// Registers with the own-network core:
//  * the in-app store session (QBAppStoreInsideSession) as its store session;
//  * the application-orientation source the core reads
//    (QBNAppOrientationSourceP);
//  * QBNPresentationServices as its presentation services;
//  * the factories of the script handlers this library implements:
//    presenterHandler (QBNProductPresenterJSHandler: "displayWebView" and
//    "removeCloseEventHandler"), orientationHandler (QBNOrientationJSHandler:
//    "setOrientation", "setAppOrientation"), adViewHandler
//    (QBNAdViewJSInterfaceHandler: "bannerViewAPI"), adUnitWebViewHandler
//    (QBNAdUnitWebViewJSInterfaceHandler: "adViewAPI"),
//    secondaryWebViewHandler (QBNSecondaryWebViewJSHandler: "openUrl" with
//    "method" "webview", "controlSecondaryWebView", "navigationModeChange")
//    and hybridAdPresenter (QBNHybridAdPresenter: "displayWebView" with
//    "hybridView" true, "hybridChangeRatio").
// On the main queue (at once when called there, else posted) it also connects
// the orientation holder's recompute to the own network's global data
// ("apor" is written on every recompute, and once at once) and the
// calculator's window fallback switch to
// QBNFeaturesManager::useWindowOrientationFallback.
//
// Idempotent, any thread: each call installs the same connections again,
// replacing the earlier ones (so a call after a test reset of the holder
// connects it again). The SDK object calls it at start-up.
void registerWithOwnNetwork();

}  // namespace qb::presentation
