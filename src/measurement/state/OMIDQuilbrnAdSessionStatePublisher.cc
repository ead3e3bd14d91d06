#include "measurement/state/OMIDQuilbrnAdSessionStatePublisher.h"

#include <charconv>
#include <cmath>

#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/sdk/OMIDQuilbrnDevice.h"

namespace {
double nowSeconds() { return OMIDQuilbrnClock::timestampSeconds(); }
}  // namespace

std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher> OMIDQuilbrnAdSessionStatePublisher::initWithCommandPublisher(
    std::shared_ptr<OMIDQuilbrnCommandPublisher> commandPublisher) {
  return std::shared_ptr<OMIDQuilbrnAdSessionStatePublisher>(
      new OMIDQuilbrnAdSessionStatePublisher(std::move(commandPublisher)));
}

OMIDQuilbrnAdSessionStatePublisher::OMIDQuilbrnAdSessionStatePublisher(
    std::shared_ptr<OMIDQuilbrnCommandPublisher> commandPublisher)
    : commandPublisher_(std::move(commandPublisher)), timestamp_(nowSeconds()) {}

void OMIDQuilbrnAdSessionStatePublisher::publishNativeViewStateWithHierarchy(
    const std::optional<std::string>& hierarchyJSON, double timestamp) {
  if (!(timestamp > timestamp_.load()) || !commandPublisher_) return;
  if (!hierarchyJSON) {
    commandPublisher_->publishCommand(OMIDQuilbrnCommand::errorCommandWithType(
        OMIDQuilbrnErrorTypeGeneric, "Bad view hierarchy data for OMID geometry event"));
    return;
  }
  commandPublisher_->publishCommand(OMIDQuilbrnCommand::commandWithName("setNativeViewHierarchy", {hierarchyJSON}));
}

void OMIDQuilbrnAdSessionStatePublisher::publishAppState(const std::string& appState) {
  if (!commandPublisher_) return;
  commandPublisher_->publishCommand(
      OMIDQuilbrnCommand::commandWithName("setState", {OMIDQuilbrnCommand::stringWithQuotesFromString(appState)}));
}

void OMIDQuilbrnAdSessionStatePublisher::publishDeviceVolume(double volume) {
  if (!commandPublisher_) return;
  commandPublisher_->publishCommand(OMIDQuilbrnCommand::commandWithName("setDeviceVolume", {formattedVolume(volume)}));
}

void OMIDQuilbrnAdSessionStatePublisher::publishLastActivity(int64_t dateMs) {
  if (!commandPublisher_) return;
  commandPublisher_->publishCommand(OMIDQuilbrnCommand::commandWithName(
      "setLastActivity", {OMIDQuilbrnDictionaryUtil::stringFromJSON(platform::Json{{"timestamp", dateMs}})}));
}

void OMIDQuilbrnAdSessionStatePublisher::cleanupAdState() { timestamp_.store(nowSeconds()); }

std::string OMIDQuilbrnAdSessionStatePublisher::formattedVolume(double volume) {
  if (!std::isfinite(volume)) volume = 0;
  char buffer[400];  // room for the largest double with two decimals
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, volume, std::chars_format::fixed, 2);
  if (result.ec != std::errc()) return "0.00";
  return std::string(buffer, result.ptr);
}
