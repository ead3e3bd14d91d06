#include "foundation/QBAdUnitErrorsWrapper.h"

namespace {

int pick(const QBAdUnit& adUnit, int interstitial, int rewardedVideo) {
  if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) return interstitial;
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) return rewardedVideo;
  return QBAdUnitErrorsWrapper::kOtherAdUnitCode;
}

}  // namespace

int QBAdUnitErrorsWrapper::loadDuringShow(const QBAdUnit& adUnit) { return pick(adUnit, 1037, 1027); }
int QBAdUnitErrorsWrapper::loadFailedNoCandidates(const QBAdUnit& adUnit) { return pick(adUnit, 1035, 1024); }
int QBAdUnitErrorsWrapper::initFailed(const QBAdUnit& adUnit) { return pick(adUnit, 1041, 1040); }
int QBAdUnitErrorsWrapper::showFailed(const QBAdUnit& adUnit) { return pick(adUnit, 1039, 1038); }
int QBAdUnitErrorsWrapper::showDuringShow(const QBAdUnit& adUnit) { return pick(adUnit, 1036, 1022); }
int QBAdUnitErrorsWrapper::emptyDefaultPlacement(const QBAdUnit& adUnit) { return pick(adUnit, 1020, 1021); }
