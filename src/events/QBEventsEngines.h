#pragma once
// The three process-wide events engines. Each is created on first use (and
// then restores its backup); resetForTesting() drops the instance so the next
// sharedInstance() builds a new one from the store, as after a restart
// (changes not yet written to the backup are lost, as in a killed process).
#include <memory>
#include <optional>

#include "events/QBEventsEngine.h"
#include "quillborne/QBAdUnit.h"

// Rewarded-video events, identifier "events".
class QBRewardedVideoEventsEngine : public QBEventsEngine {
 public:
  static std::shared_ptr<QBRewardedVideoEventsEngine> sharedInstance();
  static void resetForTesting();

 private:
  friend class QBEventsEngine;
  QBRewardedVideoEventsEngine() : QBEventsEngine(QBEventsSettings::kRewardedVideoEventsIdentifier) {}
};

// Interstitial events, identifier "InterstitialEvents".
class QBInterstitialEventsEngine : public QBEventsEngine {
 public:
  static std::shared_ptr<QBInterstitialEventsEngine> sharedInstance();
  static void resetForTesting();

 private:
  friend class QBEventsEngine;
  QBInterstitialEventsEngine() : QBEventsEngine(QBEventsSettings::kInterstitialEventsIdentifier) {}
};

// Pixel events, identifier "pixelEvents".
class QBPixelEventsEngine : public QBEventsEngine {
 public:
  static std::shared_ptr<QBPixelEventsEngine> sharedInstance();
  static void resetForTesting();

 private:
  friend class QBEventsEngine;
  QBPixelEventsEngine() : QBEventsEngine(QBEventsSettings::kPixelEventsIdentifier) {}
};

// The engine that records the events of `adUnit`: rewarded video -> "events",
// interstitial -> "InterstitialEvents"; none for the other ad units.
std::shared_ptr<QBEventsEngine> QBEventsEngineForAdUnit(const QBAdUnit& adUnit);
