#include "presentation/QBOrientationUtillis.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <mutex>

#include "platform/ui/application.h"
#include "platform/ui/orientation.h"

namespace {

// The leading integer of a text, as the platform's integerValue reads it:
// leading blanks, an optional sign, then digits; 0 when there are none;
// saturated at the 64-bit limits.
int64_t integerValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

int64_t statusBarOrientation() {
  return static_cast<int64_t>(platform::Application::shared().statusBarOrientation());
}

struct PlistMask {
  std::mutex mutex;
  std::optional<QBOrientation> mask;
};

PlistMask& plistMask() {
  static auto& cached = *new PlistMask();
  return cached;
}

}  // namespace

QBOrientation QBOrientationUtillis::convertControllerStringOrientationToQBOrientation(const std::string& orientation) {
  if (const int64_t number = integerValue(orientation); number != 0) return orientationNumberToQBOrientation(number);
  return orientationNameToQBOrientation(orientation);
}

QBOrientation QBOrientationUtillis::orientationNumberToQBOrientation(int64_t number) {
  return static_cast<QBOrientation>(number);
}

QBOrientation QBOrientationUtillis::orientationNameToQBOrientation(const std::string& name) {
  static const std::pair<const char*, QBOrientation> kNames[] = {
      {"portrait", QBOrientationPortraitAll},
      {"landscape", QBOrientationLandscapeAll},
      {"portraitFront", QBOrientationPortraitFront},
      {"portraitUpsideDown", QBOrientationPortraitUpsideDown},
      {"landscapeLeft", QBOrientationLandscapeLeft},
      {"landscapeRight", QBOrientationLandscapeRight},
      {"allButUpsideDown", QBOrientationPortraitFront | QBOrientationLandscapeAll},
      {"free", QBOrientationAll},
  };
  for (const auto& [text, mask] : kNames) {
    if (name == text) return mask;
  }
  return QBOrientationUnknown;
}

QBOrientation QBOrientationUtillis::UIInterfaceOrientation2QBOrientation(int64_t interfaceOrientation) {
  switch (interfaceOrientation) {
    case 1: return QBOrientationPortraitFront;
    case 2: return QBOrientationPortraitUpsideDown;
    case 3: return QBOrientationLandscapeRight;
    case 4: return QBOrientationLandscapeLeft;
    default: return QBOrientationUnknown;
  }
}

uint64_t QBOrientationUtillis::QBOrientation2UIInterfaceOrientation(QBOrientation orientation) {
  return orientation & QBOrientationAll;
}

QBOrientationLockedState QBOrientationUtillis::orientationLockedStateFromOrientation(uint64_t mask) {
  const bool portrait = (mask & QBOrientationPortraitAll) != 0;
  const bool landscape = (mask & QBOrientationLandscapeAll) != 0;
  if (portrait && landscape) return QBOrientationLockedStateNone;
  if (portrait) return QBOrientationLockedStatePortrait;
  if (landscape) return QBOrientationLockedStateLandscape;
  return QBOrientationLockedStateUnknown;
}

std::optional<std::string> QBOrientationUtillis::lockedStateAsControllerString(QBOrientationLockedState state) {
  switch (state) {
    case QBOrientationLockedStateUnknown: return "unknown";
    case QBOrientationLockedStatePortrait: return "portrait";
    case QBOrientationLockedStateLandscape: return "landscape";
    case QBOrientationLockedStateNone: return "none";
    default: return std::nullopt;
  }
}

QBOrientation QBOrientationUtillis::plistSupportedOrientationMask() {
  QBOrientation mask;
  {
    auto& cached = plistMask();
    std::lock_guard lock(cached.mutex);
    if (!cached.mask) cached.mask = platform::supportedInterfaceOrientationsFromAppInfo();
    mask = *cached.mask;
  }
  if (mask != 0) return mask;
  switch (statusBarOrientation()) {
    case 0:
    case 1: return QBOrientationPortraitFront;
    case 2: return QBOrientationPortraitUpsideDown;
    case 3: return QBOrientationLandscapeRight;
    case 4: return QBOrientationLandscapeLeft;
    default: return QBOrientationUnknown;
  }
}

void QBOrientationUtillis::resetPlistSupportedOrientationMaskForTesting() {
  auto& cached = plistMask();
  std::lock_guard lock(cached.mutex);
  cached.mask.reset();
}

platform::Rect QBOrientationUtillis::orientationDependantFullScreenRect() {
  const int64_t s = statusBarOrientation();
  return orientationDependantFullScreenRect(s == 1 || s == 2);
}

platform::Rect QBOrientationUtillis::orientationDependantFullScreenRect(bool portrait) {
  const platform::Rect bounds = platform::Screen::main().bounds();
  const double shorter = std::min(bounds.width(), bounds.height());
  const double longer = std::max(bounds.width(), bounds.height());
  const platform::Point origin{bounds.origin.y, bounds.origin.x};
  return portrait ? platform::Rect{origin, {shorter, longer}} : platform::Rect{origin, {longer, shorter}};
}
