#pragma once
// The SDK's publisher of view states (one per SDK): each state the tree walker
// builds for a container is turned into JSON text on the publisher's serial
// queue, then, on the main thread, sent to the container's sessions only when
// the text differs from the one published last for that container.
//
// Threading: publishState is called on the main thread. The text is made on
// `queue` in publishing order; the comparison, the cache and the forwarding
// run on the main thread in the same order (a synchronous hop from the queue
// to the main thread: the main thread never waits for `queue`, so the hop
// cannot deadlock). The cache belongs to the main thread.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "measurement/state/OMIDQuilbrnObjectKey.h"
#include "measurement/state/OMIDQuilbrnWindowContainer.h"
#include "platform/dispatch.h"
#include "platform/json.h"

class OMIDQuilbrnAdSessionRegistry;

class OMIDQuilbrnStatePublisher : public std::enable_shared_from_this<OMIDQuilbrnStatePublisher> {
 public:
  static constexpr char kQueueLabel[] = "com.iab.omidStatePublisher.serial.queue";

  static std::shared_ptr<OMIDQuilbrnStatePublisher> initWithAdSessionRegistry(
      std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry, platform::QueueRef dispatchQueue);

  // The state of `container` for the sessions named in `sessionIds`, taken at
  // `timestamp` (seconds since 1970). A state without JSON text is dropped.
  void publishState(platform::Json state, std::set<std::string> sessionIds, double timestamp,
                    const OMIDQuilbrnWindowContainer& container);
  // To each active session of `container` whose identifier is in the set:
  // marks it populated and hands the text to its state publisher (which
  // applies its gate). Main thread.
  void publishNativeViewStateHierarchy(const std::string& hierarchyJSON, const std::set<std::string>& sessionIds,
                                       double timestamp, const OMIDQuilbrnWindowContainer& container);

  // The text published last for the container (main thread).
  std::optional<std::string> publishedStateForContainer(const OMIDQuilbrnWindowContainer& container) const;
  // None forgets it.
  void setPublishedState(const std::optional<std::string>& state, const OMIDQuilbrnWindowContainer& container);
  void cleanupCacheForContainer(const OMIDQuilbrnWindowContainer& container);
  void cleanupCaches();

  const platform::QueueRef& queue() const { return queue_; }

 private:
  OMIDQuilbrnStatePublisher(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry,
                            platform::QueueRef dispatchQueue)
      : queue_(std::move(dispatchQueue)), adSessionRegistry_(std::move(adSessionRegistry)) {}

  platform::QueueRef queue_;
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry_;
  std::unordered_map<OMIDQuilbrnObjectKey, std::string, OMIDQuilbrnObjectKey::Hash> adStateCache_;  // main thread
};
