#pragma once
// Turns a store view-controller configuration into the adapter that shows
// store pages with it. Main queue only.
#include <memory>

#include "presentation/QBAppStoreInsideVCP.h"
#include "presentation/QBNSKViewControllerConfiguration.h"

class QBAppStoreAdapterFactory {
 public:
  // Null means the default configuration. Type 1: the platform adapter over a
  // new platform controller; any other type: the custom adapter.
  static std::shared_ptr<QBAppStoreInsideVCP> createAdapterWithViewControllerConfiguration(
      const std::shared_ptr<QBNSKViewControllerConfiguration>& configuration);
  // A custom controller (with the custom root view when configured), its
  // presentation style when the configured one is 0 or more, and modal in
  // presentation when configured on a system from 13.0.
  static std::shared_ptr<QBAppStoreInsideVCP> createAdapterForCustomViewControllerWithConfiguration(
      const QBNSKViewControllerConfiguration& configuration);
};
