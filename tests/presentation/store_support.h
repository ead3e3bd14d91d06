#pragma once
// Shared pieces of the store tests: a recording report delegate and a
// fixture with a fresh session, a key window to present from and the store
// stand-in put back.
#include <memory>
#include <string>
#include <vector>

#include "foundation/PMEReachability.h"
#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "platform/storekit/storekit_control.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation_support.h"

namespace storetest {

// Records each report as one line: its name and the compact JSON of its
// dictionary (the failure also shows the error's message).
class RecordingDelegate : public QBAppStoreInsideDelegate {
 public:
  void didStartAppStoreInsideSessionWithParameters(const platform::Json& p) override { add("started", p); }
  void didLoadAppStoreInsideSessionWithParameters(const platform::Json& p) override { add("loaded", p); }
  void didShowAppStoreInsideWithParameters(const platform::Json& p) override { add("shown", p); }
  void didFailedToDisplayAppStoreInsideWithError(const platform::Error& e, const platform::Json& p) override {
    add("failed(" + e.message + ")", p);
  }
  void add(const std::string& name, const platform::Json& p) {
    lines.push_back(name + " " + platform::dumpJson(p));
    onMain.push_back(platform::isMainThread());
  }
  std::vector<std::string> lines;
  std::vector<bool> onMain;
};

// Also takes finished reports.
class FinishRecordingDelegate : public RecordingDelegate, public QBAppStoreInsideFinishDelegate {
 public:
  void didFinishAppStoreInsideSessionWithParameters(const platform::Json& p) override { add("finished", p); }
};

inline void resetStoreState() {
  platform::StoreKitControl::shared().resetForTesting();
  QBNFeaturesManager::sharedManager().resetForTesting();
  QBNEventsTracker::sharedTracker().resetForTesting();
  PlovermarkLogManager::sharedManager().resetForTesting();
  PMEReachabilityManager::resetForTesting();
  QBAppStoreInsideSessionP::registerSharedInstance(nullptr);
}

class StoreTest : public presentationtest::PresentationTest {
 protected:
  StoreTest() {
    resetStoreState();
    window = keyWindow(30);
    presenter = window->rootViewController();
    session->setDelegate(delegate);
    session->setViewControllerToPresentFrom(presenter);
  }
  ~StoreTest() override {
    session->resetForTesting();
    env.runUntilIdle();
    resetStoreState();
  }

  // The command parameters of a load: `storeParams` as the page sends them
  // (percent-escaped JSON text), plus `extra` keys.
  static platform::Json command(const platform::Json& storeParams, platform::Json extra = platform::Json::object()) {
    extra["storeKitLoadParams"] = escaped(storeParams);
    return extra;
  }
  static std::string escaped(const platform::Json& storeParams) {
    return PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(storeParams));
  }
  void load(const std::string& viewId, const platform::Json& params, bool show = false) {
    session->loadStoreWithAppId("123", viewId, params, show);
  }
  std::shared_ptr<platform::StoreProductViewController> storeOf(const std::string& viewId) const {
    auto object = session->appStoreObjectForViewUniqueId(viewId);
    return object ? object->storeKitAdapter()->getStoreViewController() : nullptr;
  }
  static void setDevice(const std::string& version,
                        platform::UserInterfaceIdiom idiom = platform::UserInterfaceIdiom::Phone) {
    platform::DeviceFacts facts;
    facts.osVersion = version;
    facts.interfaceIdiom = idiom;
    platform::setDeviceFactsForTesting(facts);
  }
  // Lets a presentation or dismissal finish.
  void finishTransition() { env.advance(400); }

  std::shared_ptr<QBAppStoreInsideSession> session = QBAppStoreInsideSession::create();
  std::shared_ptr<FinishRecordingDelegate> delegate = std::make_shared<FinishRecordingDelegate>();
  platform::StoreKitControl& store = platform::StoreKitControl::shared();
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<platform::ViewController> presenter;
};

}  // namespace storetest
