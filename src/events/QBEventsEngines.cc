#include "events/QBEventsEngines.h"

#include <mutex>

namespace {

// One lazily created engine of type Engine, replaceable for tests.
template <class Engine>
struct EngineSlot {
  std::mutex mutex;
  std::shared_ptr<Engine> instance;

  std::shared_ptr<Engine> get(std::shared_ptr<Engine> (*make)()) {
    std::lock_guard lock(mutex);
    if (!instance) instance = make();
    return instance;
  }
  void reset() {
    std::shared_ptr<Engine> old;
    std::lock_guard lock(mutex);
    old.swap(instance);
  }
};

template <class Engine>
EngineSlot<Engine>& slot() {
  static EngineSlot<Engine>* s = new EngineSlot<Engine>();  // lives for the whole process
  return *s;
}

}  // namespace


std::shared_ptr<QBRewardedVideoEventsEngine> QBRewardedVideoEventsEngine::sharedInstance() {
  return slot<QBRewardedVideoEventsEngine>().get([] { return create<QBRewardedVideoEventsEngine>(); });
}
void QBRewardedVideoEventsEngine::resetForTesting() { slot<QBRewardedVideoEventsEngine>().reset(); }

std::shared_ptr<QBInterstitialEventsEngine> QBInterstitialEventsEngine::sharedInstance() {
  return slot<QBInterstitialEventsEngine>().get([] { return create<QBInterstitialEventsEngine>(); });
}
void QBInterstitialEventsEngine::resetForTesting() { slot<QBInterstitialEventsEngine>().reset(); }

std::shared_ptr<QBPixelEventsEngine> QBPixelEventsEngine::sharedInstance() {
  return slot<QBPixelEventsEngine>().get([] { return create<QBPixelEventsEngine>(); });
}
void QBPixelEventsEngine::resetForTesting() { slot<QBPixelEventsEngine>().reset(); }

std::shared_ptr<QBEventsEngine> QBEventsEngineForAdUnit(const QBAdUnit& adUnit) {
  if (adUnit == QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) return QBRewardedVideoEventsEngine::sharedInstance();
  if (adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) return QBInterstitialEventsEngine::sharedInstance();
  return nullptr;
}
