#pragma once
// Shared pieces of the own-network tests: a fixture that resets the own
// network's process-wide objects and records its console.
#include <gtest/gtest.h>

#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace qbtest {

inline void resetOwnNetworkState() {
  PlovermarkLogManager::sharedManager().resetForTesting();
  QBNFeaturesManager::sharedManager().resetForTesting();
  QBNEventsTracker::sharedTracker().resetForTesting();
  PMADemandSourcesCollection::sharedInstance().resetForTesting();
  PMAHelperMethods::resetPlatformStringForTesting();
  platform::resetDeviceFactsForTesting();
}

class OwnNetworkTest : public ::testing::Test {
 protected:
  OwnNetworkTest() {
    resetOwnNetworkState();
    PlovermarkLogManager::setConsoleWriterForTesting([this](const std::string& line) { console.add(line); });
  }
  ~OwnNetworkTest() override { resetOwnNetworkState(); }

  // Device facts of the tests, starting from the platform's stable defaults.
  void setDevice(const std::function<void(platform::DeviceFacts&)>& change) {
    platform::DeviceFacts facts;
    change(facts);
    platform::setDeviceFactsForTesting(facts);
    PMAHelperMethods::resetPlatformStringForTesting();
  }

  platform::TestEnvironment env;
  Lines console;
};

// The own-network fixture on a fresh data root (Library/Caches, Documents and
// the user defaults of a temporary folder).
class OwnNetworkStorageTest : public OwnNetworkTest {
 protected:
  OwnNetworkStorageTest() : savedRoot_(platform::dataRoot()) {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
  }
  ~OwnNetworkStorageTest() override {
    platform::setDataRoot(savedRoot_);
    platform::UserDefaults::resetStandardForTesting();
  }

  TempDir dir;

 private:
  std::string savedRoot_;
};

}  // namespace qbtest
