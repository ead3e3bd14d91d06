#pragma once
// What the own-network core reads of the application's orientation rules,
// which live in the presentation library: the application's supported
// interface-orientation mask and the controller string of a mask's locked
// state. The presentation library registers its source at start-up
// (qb::presentation::registerWithOwnNetwork); tests register their own.
//
// With no source registered the core answers as for an absent orientation
// holder: the mask is 0 and every mask's controller string is "unknown".
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QBNAppOrientationSourceP {
 public:
  virtual ~QBNAppOrientationSourceP() = default;

  // The application's supported orientations as a mask (2 portrait, 4 upside
  // down, 8 landscape right, 16 landscape left). Any thread.
  virtual uint64_t appOrientation() const = 0;
  // "portrait", "landscape", "none" or "unknown" for the mask's locked state;
  // none when the state has no name. Any thread.
  virtual std::optional<std::string> controllerStringForOrientation(uint64_t mask) const = 0;

  // Installs the source the core reads (null: none). Thread-safe.
  static void registerSharedInstance(std::shared_ptr<QBNAppOrientationSourceP> source);
  static std::shared_ptr<QBNAppOrientationSourceP> sharedInstance();

  // The registered source's answers, or those of an absent holder.
  static uint64_t currentAppOrientation();
  static std::optional<std::string> controllerString(uint64_t mask);
};
