#include "measurement/sdk/OMIDQuilbrnDevice.h"

#include <mutex>

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/ui/ui_device.h"

namespace {

std::string orNotAvailable(std::string text) { return text.empty() ? std::string("n/a") : text; }

std::mutex& dictionaryMutex() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::optional<platform::Json>& cachedDictionary() {
  static std::optional<platform::Json>& d = *new std::optional<platform::Json>;
  return d;
}

}  // namespace

platform::Json OMIDQuilbrnDevice::deviceDictionary() {
  std::lock_guard lock(dictionaryMutex());
  auto& cached = cachedDictionary();
  if (!cached) cached = platform::Json{{"deviceType", deviceType()}, {"os", deviceOs()}, {"osVersion", deviceOsVersion()}};
  return *cached;
}

std::string OMIDQuilbrnDevice::deviceType() { return orNotAvailable(platform::deviceFacts().facts().hardwareModel); }

std::string OMIDQuilbrnDevice::deviceOs() { return orNotAvailable(platform::deviceFacts().facts().osName); }

std::string OMIDQuilbrnDevice::deviceOsVersion() { return orNotAvailable(platform::deviceFacts().facts().osVersion); }

void OMIDQuilbrnDevice::resetForTesting() {
  std::lock_guard lock(dictionaryMutex());
  cachedDictionary().reset();
}

std::string OMIDQuilbrnDeviceCategory::deviceCategory() {
  const platform::DeviceFacts facts = platform::deviceFacts().facts();
  const std::string& name = facts.osName;
  if (name == "tvOS") return "ctv";
  if (name == "macOS") return "desktop";
  if (name == "watchOS") return "other";
  if (name == "iOS" || name == "iPadOS" || name == "iPhoneOS") {
    const bool thirteenOrLater = platform::compareSystemVersions(facts.osVersion, "13.0") >= 0;
    return thirteenOrLater && facts.isMacCatalystApp ? "desktop" : "mobile";
  }
  return "other";
}

int64_t OMIDQuilbrnClock::date() const { return platform::nowWallMs(); }

namespace {
struct TimestampCounter {
  std::mutex mutex;
  int64_t ms = 0;
  int reads = 0;  // earlier reads within `ms`
};
TimestampCounter& timestampCounter() {
  static TimestampCounter& counter = *new TimestampCounter;
  return counter;
}
}  // namespace

double OMIDQuilbrnClock::timestampSeconds() {
  // A microsecond is about four steps of a double at today's seconds since
  // 1970; a thousand reads fill the millisecond, after which reads tie again.
  constexpr int kReadsPerMillisecond = 999;
  const int64_t now = platform::nowWallMs();
  auto& counter = timestampCounter();
  std::lock_guard lock(counter.mutex);
  if (now != counter.ms) {
    counter.ms = now;
    counter.reads = 0;
  } else if (counter.reads < kReadsPerMillisecond) {
    ++counter.reads;
  }
  return static_cast<double>(now) / 1000.0 + counter.reads * 1e-6;
}

void OMIDQuilbrnClock::resetTimestampsForTesting() {
  auto& counter = timestampCounter();
  std::lock_guard lock(counter.mutex);
  counter.ms = 0;
  counter.reads = 0;
}
