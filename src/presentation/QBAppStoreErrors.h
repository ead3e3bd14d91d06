#pragma once
// The errors of the in-app store pages: parameter validation, presentation
// refused, a store controller gone before its load ran. Their domain is
// reported nowhere (reports carry the description only).
#include "platform/result.h"

namespace QBAppStoreErrors {

inline constexpr char kDomain[] = "QBAppStoreInsideErrorDomain";

inline constexpr char kNilAppId[] = "Trying to load store with nil app Id";
inline constexpr char kStringAppId[] = "Trying to load store with unsupported app Id object - string";
inline constexpr char kAlreadyPresented[] =
    "the presented view controller of viewControllerToPresentFrom is already storeKitViewController";
// The platform refused the presentation (no controller to present from, one
// not on screen, or one already presenting another controller).
inline constexpr char kPresentationRefused[] =
    "storeKitViewController could not be presented from viewControllerToPresentFrom";
inline constexpr char kStoreViewControllerGone[] = "storeKitViewController was released before loading";

// An error of this domain, code 0.
inline platform::Error error(const char* message) { return platform::Error{kDomain, 0, message}; }

}  // namespace QBAppStoreErrors
