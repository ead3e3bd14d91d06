#pragma once
// The error codes that depend on the ad unit. Each operation answers the
// interstitial code, the rewarded-video code, or 510 for any other ad unit.
// Pure functions: thread-safe, never failing.
#include "quillborne/QBAdUnit.h"

class QBAdUnitErrorsWrapper {
 public:
  // The code for any ad unit other than interstitial and rewarded video.
  static constexpr int kOtherAdUnitCode = 510;

  // Load asked while an ad shows: 1037 / 1027 / 510.
  static int loadDuringShow(const QBAdUnit& adUnit);
  // Nothing to put in the auction: 1035 / 1024 / 510.
  static int loadFailedNoCandidates(const QBAdUnit& adUnit);
  // An instance could not start its load: 1041 / 1040 / 510.
  static int initFailed(const QBAdUnit& adUnit);
  // Showing failed inside the library: 1039 / 1038 / 510.
  static int showFailed(const QBAdUnit& adUnit);
  // Show asked while an ad shows: 1036 / 1022 / 510.
  static int showDuringShow(const QBAdUnit& adUnit);
  // Show asked with no placement to show on: 1020 / 1021 / 510.
  static int emptyDefaultPlacement(const QBAdUnit& adUnit);
};
