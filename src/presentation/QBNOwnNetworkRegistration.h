#pragma once
// Connects the presentation library to the own-network core, which reads the
// application's orientation through an interface of its own
// (QBNAppOrientationSource) and never includes this library.
namespace qb::presentation {

// Registers the application-orientation source of the own-network core, and
// on the main queue (at once when called there, else posted) connects the
// orientation holder's recompute to the own network's global data ("apor" is
// written on every recompute, and once at once) and the calculator's window
// fallback switch to QBNFeaturesManager::useWindowOrientationFallback.
//
// Idempotent: each call installs the same connections again, replacing the
// earlier ones, so calling it twice is the same as calling it once (and a
// call after a test reset of the holder connects it again). The SDK object
// calls it at start-up.
void registerWithOwnNetwork();

}  // namespace qb::presentation
