#pragma once
// The own network's feature switches: the controller configuration received
// at initialisation (the "supply configuration") and a debug configuration,
// and the one place that turns their keys into switches with fixed defaults.
//
// Thread-safe: an update replaces a whole dictionary at once, and each switch
// reads one consistent dictionary (the old or the new one, never a mix). Every
// switch answers from the dictionaries current at the call.
//
//   switch                                        key (supply / its "networkConfig")   when absent
//   isSDKSupportingCurrentOSVersion               supply "minOSVersionSupport"         "10.0"
//   getDebugMode                                  debug "debugMode"                    0
//   shouldGetCellularNetworkType                  supply "cellularNetworkType"         NO (YES when
//                                                                                       present at all)
//   shouldGetAuthorizationStatusByReflection      supply "attReflection"               YES
//   shouldBlockMultiplePresentationStoreKitCallInRow  network "BlockMultipleSKCalles"  YES
//   allowExternalLinksActivationInWPAD            network "allowLinksInWpad"           YES
//   useWindowOrientationFallback                  network "useWindowOrientationFallback" NO
//   shouldHandleWebViewTerminated                 network "handleWebViewTerminated"    NO
//   getDataManagerConfig                          network "dataManager" (an object)    none
//
// Boolean keys are read with qbnjson::boolValue; a value that stands for no
// boolean (null, an array, an object) counts as absent.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/services/QBEventsTracker.h"
#include "platform/json.h"

struct QBNConfigurations;

class QBNFeaturesManager {
 public:
  // The process-wide manager (never destroyed); both dictionaries start empty.
  static QBNFeaturesManager& sharedManager();

  platform::Json supplyConfigurations() const;
  platform::Json debugConfigurations() const;
  // Store a copy; none (or a value that is no object) leaves the old one.
  void updateSupplyConfigurations(const std::optional<platform::Json>& configurations);
  void updateDebugConfigurations(const std::optional<platform::Json>& configurations);

  // Whether the device's OS version is not lower than "minOSVersionSupport"
  // (text, or a number read as its text), compared part by part as numbers.
  bool isSDKSupportingCurrentOSVersion() const;
  int64_t getDebugMode() const;
  bool shouldGetCellularNetworkType() const;
  bool shouldGetAuthorizationStatusByReflection() const;
  bool shouldBlockMultiplePresentationStoreKitCallInRow() const;
  bool allowExternalLinksActivationInWPAD() const;
  bool useWindowOrientationFallback() const;
  bool shouldHandleWebViewTerminated() const;
  std::optional<platform::Json> getDataManagerConfig() const;
  // The supply configuration's "networkConfig" object; an empty object when
  // there is none.
  platform::Json getNetworkConfigurationsFromControllerConfig() const;

  // The native features the controller page may rely on, in order.
  static const std::vector<std::string>& supportedNativeFeatures();

  // The events configuration at "networkConfig" then "events" of the given
  // configuration's controllerConfig (not of the supply configuration):
  // "endpoint", "enabled" (a boolean; NO when absent), "headers",
  // "httpMethod". None when the configuration, its controllerConfig,
  // "networkConfig" or "events" is missing (or no object). The formatter is
  // left for the caller to set.
  static std::shared_ptr<QBEventsConfiguration> buildEventsConfigurationFromNetworkConfiguration(
      const QBNConfigurations* configurations);

  // Both dictionaries empty.
  void resetForTesting();

 private:
  QBNFeaturesManager();
  std::shared_ptr<const platform::Json> supply() const;
  bool networkBool(const char* key, bool fallback) const;

  mutable std::mutex mutex_;
  std::shared_ptr<const platform::Json> supply_;
  std::shared_ptr<const platform::Json> debug_;
};
