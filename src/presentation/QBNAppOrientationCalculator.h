#pragma once
// The application's supported orientations from its orientation facts, the
// page's override and the presenting view controller.
#include <cstdint>
#include <functional>

#include "presentation/QBOrientation.h"

class QBOrientationData;

class QBNAppOrientationCalculator {
 public:
  // 1. An external orientation other than 0 is the answer.
  // 2. Else P = the presenting mask, or the record's top-most controller mask
  //    when that is 0; W = the record's window mask.
  // 3. W AND P when they share a bit; else W when the window fallback switch
  //    is on; else P when it is not 0; else the record's status-bar
  //    orientation turned into its mask (portrait 2, upside down 4,
  //    landscape right 8, landscape left 16, anything else 0).
  static uint64_t calculateApplicationSupportedOrientationMaskFromOrientationData(
      const QBOrientationData& data, QBOrientation externalOrientation, uint64_t presentingViewControllerOrientation);
  static uint64_t calculateApplicationSupportedOrientationMaskFromOrientationData(const QBOrientationData& data) {
    return calculateApplicationSupportedOrientationMaskFromOrientationData(data, 0, 0);
  }
  static uint64_t calculateApplicationSupportedOrientationMaskFromOrientationData(const QBOrientationData& data,
                                                                                  QBOrientation externalOrientation) {
    return calculateApplicationSupportedOrientationMaskFromOrientationData(data, externalOrientation, 0);
  }
  static uint64_t calculateApplicationSupportedOrientationMaskFromOrientationDataPresentingViewControllerOrientation(
      const QBOrientationData& data, uint64_t presentingViewControllerOrientation) {
    return calculateApplicationSupportedOrientationMaskFromOrientationData(data, 0,
                                                                           presentingViewControllerOrientation);
  }

  // Where the window fallback switch ("useWindowOrientationFallback" of the
  // network configuration) is read; off while none is set. Main queue only.
  static void setUseWindowOrientationFallbackSource(std::function<bool()> source);
};
