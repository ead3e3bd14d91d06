#include "measurement/sdk/OMIDQuilbrnSDK.h"

#include "measurement/sdk/OMIDQuilbrnDevice.h"
#include "measurement/state/OMIDQuilbrnActivityMonitor.h"
#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "measurement/walker/OMIDQuilbrnTreeWalkerP.h"
#include "platform/storage.h"

namespace {
constexpr const char* kLibraryVersion = "1.4.2";
}  // namespace

const std::string& OMIDQuilbrnSDK::versionString() {
  static const std::string& version = *new std::string(std::string(kLibraryVersion) + "-" + kOMIDQuilbrnPartnerName);
  return version;
}

const std::shared_ptr<OMIDQuilbrnSDK>& OMIDQuilbrnSDK::sharedInstance() {
  static const std::shared_ptr<OMIDQuilbrnSDK>& sdk = *new std::shared_ptr<OMIDQuilbrnSDK>(new OMIDQuilbrnSDK);
  return sdk;
}

OMIDQuilbrnSDK::OMIDQuilbrnSDK() { makeMembers(); }

void OMIDQuilbrnSDK::makeMembers() {
  adSessionRegistry_ = OMIDQuilbrnAdSessionRegistry::create();
  stateWatcher_ = OMIDQuilbrnStateWatcher::initWithAdSessionRegistry(adSessionRegistry_);
  auto statePublisher = OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
      adSessionRegistry_, platform::createSerialQueue(OMIDQuilbrnStatePublisher::kQueueLabel));
  treeWalker_ = OMIDQuilbrnTreeWalkerP::create(adSessionRegistry_, statePublisher);
  clock_ = std::make_shared<OMIDQuilbrnClock>();
  activityMonitor_ = OMIDQuilbrnActivityMonitor::initWithAdSessionRegistry(adSessionRegistry_, clock_);
}

bool OMIDQuilbrnSDK::activate() {
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry;
  std::shared_ptr<OMIDQuilbrnActivityMonitor> monitor;
  {
    std::lock_guard lock(mutex_);
    if (!activated_) {
      activated_ = true;
      registry = adSessionRegistry_;
      monitor = activityMonitor_;
    }
  }
  if (registry) registry->addStateObserver(weak_from_this());
  if (monitor) monitor->start();
  active_.store(true);
  return true;
}

platform::Json OMIDQuilbrnSDK::appInfo() const {
  return platform::Json{{"appId", platform::bundleIdentifier()}, {"libraryVersion", versionString()}};
}

void OMIDQuilbrnSDK::updateLastActivity() {
  if (auto monitor = activityMonitor()) monitor->updateActivity();
}

void OMIDQuilbrnSDK::start() {
  auto watcher = stateWatcher();
  if (!watcher) return;
  watcher->setDelegate(weak_from_this());
  watcher->start();
  if (watcher->appIsActive()) {
    if (auto walker = treeWalker()) walker->start();
  }
}

void OMIDQuilbrnSDK::stop() {
  if (auto watcher = stateWatcher()) {
    watcher->setDelegate({});
    watcher->stop();
  }
  if (auto walker = treeWalker()) walker->stop();
}

void OMIDQuilbrnSDK::adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& adSession) {
  if (auto watcher = stateWatcher()) watcher->adSessionDidBecomeActive(adSession);
}

void OMIDQuilbrnSDK::appDidBecomeActive() {
  if (auto walker = treeWalker()) walker->start();
  if (auto monitor = activityMonitor()) monitor->updateActivity();
}

void OMIDQuilbrnSDK::appDidResignActive() {
  if (auto walker = treeWalker()) walker->pause();
}

std::shared_ptr<OMIDQuilbrnAdSessionRegistry> OMIDQuilbrnSDK::adSessionRegistry() const {
  std::lock_guard lock(mutex_);
  return adSessionRegistry_;
}

std::shared_ptr<OMIDQuilbrnStateWatcher> OMIDQuilbrnSDK::stateWatcher() const {
  std::lock_guard lock(mutex_);
  return stateWatcher_;
}

std::shared_ptr<OMIDQuilbrnTreeWalkerP> OMIDQuilbrnSDK::treeWalker() const {
  std::lock_guard lock(mutex_);
  return treeWalker_;
}

std::shared_ptr<OMIDQuilbrnActivityMonitor> OMIDQuilbrnSDK::activityMonitor() const {
  std::lock_guard lock(mutex_);
  return activityMonitor_;
}

std::shared_ptr<OMIDQuilbrnClockProtocol> OMIDQuilbrnSDK::clock() const {
  std::lock_guard lock(mutex_);
  return clock_;
}

void OMIDQuilbrnSDK::resetForTesting() {
  stop();
  OMIDQuilbrnClock::resetTimestampsForTesting();
  // The old members are let go of outside the lock (their observations end
  // with them).
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> oldRegistry;
  std::shared_ptr<OMIDQuilbrnStateWatcher> oldWatcher;
  std::shared_ptr<OMIDQuilbrnTreeWalkerP> oldWalker;
  std::shared_ptr<OMIDQuilbrnActivityMonitor> oldMonitor;
  std::lock_guard lock(mutex_);
  oldRegistry = std::move(adSessionRegistry_);
  oldWatcher = std::move(stateWatcher_);
  oldWalker = std::move(treeWalker_);
  oldMonitor = std::move(activityMonitor_);
  makeMembers();
  activated_ = false;
  active_.store(false);
}
