#pragma once
// The isolated process every ad-unit test runs in: its own data root, every
// process-wide object the ad units touch put back before and after, and the
// log captured.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "core/QBConfigurations.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBAdUnitEventsTables.h"
#include "events/QBDelegateThrottler.h"
#include "events/QBEventKinds.h"
#include "events/QBEventsEngine.h"
#include "events/QBEventsEngines.h"
#include "events/QBInterstitialDelegateWrapper.h"
#include "events/QBRewardedVideoDelegateWrapper.h"
#include "foundation/PMEReachability.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "foundation/QBLoggerManager.h"
#include "foundation/QBUtils.h"
#include "mediation/QBSessionDepthManager.h"
#include "platform/runtime.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/tulvo/tulvo_control.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace qbtest {


// How a fake adapter answers a call: keep the delegate for the test, answer
// inline, throw, or answer a failure inline and then throw.
enum class Answer { Hold, Succeed, Fail, Throw, FailAndThrow };

template <class Delegate, class Ok, class Fail>
void answerWith(Answer how, const std::weak_ptr<Delegate>& delegate, Ok ok, Fail fail) {
  if (auto target = delegate.lock()) {
    if (how == Answer::Succeed) ok(*target);
    if (how == Answer::Fail || how == Answer::FailAndThrow) fail(*target);
  }
  if (how == Answer::Throw || how == Answer::FailAndThrow) throw std::runtime_error("adapter exploded");
}

inline void resetAdUnitsProcessWide() {
  TulvoSDK::Control::shared().resetForTesting();
  QBRewardedVideoEventsEngine::resetForTesting();
  QBInterstitialEventsEngine::resetForTesting();
  QBConfigurations::getConfigurations().resetForTesting();
  PMEReachabilityManager::resetForTesting();
  QBAdapterRepository::sharedRepository().resetForTesting();
  platform::ClassRegistry::shared().resetForTesting();
  QBDelegateThrottler::resetForTesting();
  QBRewardedVideoDelegateWrapper::resetForTesting();
  QBInterstitialDelegateWrapper::resetForTesting();
  QBSessionDepthManager::sharedManager().resetForTesting();
  QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  QBUtils::resetSessionIdForTesting();
}

class AdUnitsProcessTest : public ::testing::Test {
 protected:
  AdUnitsProcessTest() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    resetAdUnitsProcessWide();
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) { log.add(line); });
  }
  ~AdUnitsProcessTest() override {
    resetAdUnitsProcessWide();
    QBLoggerManager::sharedInstance().resetForTesting();
  }

  // The events the engine of `adUnit` has backed up, oldest first.
  static std::vector<platform::Json> backedUpEvents(const QBAdUnit& adUnit) {
    auto storage = QBKeyValueStorageProvider::storageWithIdentifier(
        adUnit == QBAdUnit::QB_AD_UNIT_INTERSTITIAL() ? "InterstitialEvents" : "events");
    auto value = storage->getValue(QBEventsEngine::kBackupKey);
    return value && value->is_array() ? value->get<std::vector<platform::Json>>() : std::vector<platform::Json>();
  }
  // The kind of an event of `adUnit` at `level` (offline ids too); -1 for others.
  static int eventKind(const platform::Json& event, const QBAdUnit& adUnit, int level) {
    const int64_t id = event.value("eventId", int64_t{-1}) % QBEventsEngine::kOfflineEventIdOffset;
    for (int kind = 0; kind < QBEventKind::kKindCount; ++kind) {
      if (QBAdUnitEventsTables::eventId(adUnit, level, kind) == id) return kind;
    }
    return -1;
  }

  platform::TestEnvironment env;
  TempDir dir;
  Lines log;
  const QBAdUnit rv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
  const QBAdUnit is = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
};

}  // namespace qbtest
