#pragma once
// One session's publisher of native facts to its measurement script: the view
// hierarchy, the application's state, the device volume and the last user
// activity, each a command sent through the session's bridge
// (OMIDQuilbrnCommandPublisher), on the bridge's thread rules.
//
// Numbers are written the same way under every locale ("0.50", never
// "0,50", which the script would read as two arguments).
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "measurement/bridge/OMIDQuilbrnPublishers.h"

class OMIDQuilbrnAdSessionStatePublisher {
 public:
  // The gate starts at the current time.
  static std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher> initWithCommandPublisher(
      std::shared_ptr<OMIDQuilbrnCommandPublisher> commandPublisher);

  // "setNativeViewHierarchy" with the JSON text, only for a state taken later
  // than the gate (timestamp in seconds since 1970; an equal one is dropped).
  // No text sends the error command (type 1) "Bad view hierarchy data for
  // OMID geometry event" instead.
  void publishNativeViewStateWithHierarchy(const std::optional<std::string>& hierarchyJSON, double timestamp);
  // "setState" with the quoted word ("foregrounded" or "backgrounded").
  void publishAppState(const std::string& appState);
  // "setDeviceVolume" with the volume written with two decimals ("0.50").
  void publishDeviceVolume(double volume);
  // "setLastActivity" with {"timestamp": milliseconds since 1970}.
  void publishLastActivity(int64_t dateMs);
  // Moves the gate to the current time: states taken before it never reach
  // the script.
  void cleanupAdState();

  double timestamp() const { return timestamp_.load(); }
  const std::shared_ptr<OMIDQuilbrnCommandPublisher>& commandPublisher() const { return commandPublisher_; }

  // A number with two decimals, the same under every locale (NaN and the
  // infinities, which no volume is, as 0.00).
  static std::string formattedVolume(double volume);

 private:
  explicit OMIDQuilbrnAdSessionStatePublisher(std::shared_ptr<OMIDQuilbrnCommandPublisher> commandPublisher);

  std::shared_ptr<OMIDQuilbrnCommandPublisher> commandPublisher_;
  std::atomic<double> timestamp_;
};
