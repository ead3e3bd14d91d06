#include "measurement/state/OMIDQuilbrnStatePublisher.h"

#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/sdk/OMIDQuilbrnMethodInvoker.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"

std::shared_ptr<OMIDQuilbrnStatePublisher> OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
    std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry, platform::QueueRef dispatchQueue) {
  return std::shared_ptr<OMIDQuilbrnStatePublisher>(
      new OMIDQuilbrnStatePublisher(std::move(adSessionRegistry), std::move(dispatchQueue)));
}

void OMIDQuilbrnStatePublisher::publishState(platform::Json state, std::set<std::string> sessionIds, double timestamp,
                                             const OMIDQuilbrnWindowContainer& container) {
  std::weak_ptr<OMIDQuilbrnStatePublisher> weak = weak_from_this();
  OMIDQuilbrnMethodInvoker::performOnQueue(queue_, [weak, state = std::move(state), sessionIds = std::move(sessionIds),
                                                    timestamp, container] {
    auto text = OMIDQuilbrnDictionaryUtil::stringFromJSON(state);
    if (!text) return;
    OMIDQuilbrnMethodInvoker::performOnMain([&] {
      auto self = weak.lock();
      if (!self) return;
      if (self->publishedStateForContainer(container) == text) return;
      self->setPublishedState(text, container);
      self->publishNativeViewStateHierarchy(*text, sessionIds, timestamp, container);
    });
  });
}

void OMIDQuilbrnStatePublisher::publishNativeViewStateHierarchy(const std::string& hierarchyJSON,
                                                                const std::set<std::string>& sessionIds,
                                                                double timestamp,
                                                                const OMIDQuilbrnWindowContainer& container) {
  if (!adSessionRegistry_) return;
  for (const auto& session : adSessionRegistry_->activeAdSessions()) {
    if (!(session->windowContainer() == container) || !sessionIds.contains(session->identifier())) continue;
    session->setLastPublishedViewStateWasPopulated(true);
    session->statePublisher()->publishNativeViewStateWithHierarchy(hierarchyJSON, timestamp);
  }
}

std::optional<std::string> OMIDQuilbrnStatePublisher::publishedStateForContainer(
    const OMIDQuilbrnWindowContainer& container) const {
  const auto found = adStateCache_.find(container.key());
  if (found == adStateCache_.end()) return std::nullopt;
  return found->second;
}

void OMIDQuilbrnStatePublisher::setPublishedState(const std::optional<std::string>& state,
                                                  const OMIDQuilbrnWindowContainer& container) {
  if (state) {
    adStateCache_[container.key()] = *state;
  } else {
    adStateCache_.erase(container.key());
  }
}

void OMIDQuilbrnStatePublisher::cleanupCacheForContainer(const OMIDQuilbrnWindowContainer& container) {
  setPublishedState(std::nullopt, container);
}

void OMIDQuilbrnStatePublisher::cleanupCaches() { adStateCache_.clear(); }
