#include "measurement/walker/OMIDQuilbrnTreeWalker.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/sdk/OMIDQuilbrnDevice.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "measurement/walker/OMIDQuilbrnAdViewCache.h"
#include "measurement/walker/OMIDQuilbrnNodeProcessor.h"
#include "platform/clock.h"
#include "platform/ui/view.h"

std::shared_ptr<OMIDQuilbrnTreeWalker> OMIDQuilbrnTreeWalker::initWithAdSessionRegistry(
    std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry,
    std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher) {
  return std::shared_ptr<OMIDQuilbrnTreeWalker>(
      new OMIDQuilbrnTreeWalker(std::move(adSessionRegistry), std::move(statePublisher)));
}

OMIDQuilbrnTreeWalker::OMIDQuilbrnTreeWalker(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry,
                                             std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher)
    : adSessionRegistry_(std::move(adSessionRegistry)),
      screenProcessor_(std::make_shared<OMIDQuilbrnScreenProcessor>()),
      viewProcessor_(std::make_shared<OMIDQuilbrnViewProcessor>()),
      statePublisher_(std::move(statePublisher)) {
  windowProcessor_ = std::make_shared<OMIDQuilbrnWindowProcessor>(viewProcessor_);
}

OMIDQuilbrnTreeWalker::~OMIDQuilbrnTreeWalker() {
  if (timer_) timer_->cancel();
}

void OMIDQuilbrnTreeWalker::start() {
  updateTreeState();
  if (timer_) return;
  std::weak_ptr<OMIDQuilbrnTreeWalker> weak = weak_from_this();
  timer_ = platform::Timer::repeating(platform::mainQueue(), kTickIntervalMs, [weak] {
    if (auto self = weak.lock()) self->onTick();
  });
}

void OMIDQuilbrnTreeWalker::pause() {
  if (timer_) {
    timer_->cancel();
    timer_.reset();
  }
  reportToTimeLogger(0, 0);
}

void OMIDQuilbrnTreeWalker::stop() {
  pause();
  if (statePublisher_) statePublisher_->cleanupCaches();
}

void OMIDQuilbrnTreeWalker::updateTreeState() {
  beforeWalk();
  doWalk();
  afterWalk();
}

void OMIDQuilbrnTreeWalker::beforeWalk() {
  count_ = 0;
  date1_ = platform::nowMonotonicMs();
}

void OMIDQuilbrnTreeWalker::afterWalk() {
  date2_ = platform::nowMonotonicMs();
  reportToTimeLogger(count_, static_cast<double>(date2_ - date1_));
}

void OMIDQuilbrnTreeWalker::reportToTimeLogger(unsigned count, double milliseconds) {
  if (auto logger = timeLogger_.lock()) logger->didProcessObjectsCount(count, milliseconds);
}

void OMIDQuilbrnTreeWalker::doWalk() {
  if (!adSessionRegistry_) return;
  const auto sessions = adSessionRegistry_->activeAdSessions();
  if (!OMIDQuilbrnWindowContainer::usesScenes()) {
    doWalkWithAdSessions(sessions, OMIDQuilbrnWindowContainer::application());
    return;
  }
  // doWalkScenes: one walk per container, containers in the order their
  // first session started, each with its sessions in registry order.
  std::vector<std::pair<OMIDQuilbrnWindowContainer, std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>>> sceneSessions;
  for (const auto& session : sessions) {
    auto container = session->windowContainer();
    auto group = std::find_if(sceneSessions.begin(), sceneSessions.end(),
                              [&](const auto& entry) { return entry.first.key() == container.key(); });
    if (group == sceneSessions.end()) {
      sceneSessions.emplace_back(std::move(container), std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>{});
      group = std::prev(sceneSessions.end());
    }
    group->second.push_back(session);
  }
  for (const auto& [container, group] : sceneSessions) doWalkWithAdSessions(group, container);
}

void OMIDQuilbrnTreeWalker::doWalkWithAdSessions(const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions,
                                                 const OMIDQuilbrnWindowContainer& container) {
  auto adViewCache = OMIDQuilbrnAdViewCache::adViewCacheWithAdSessions(adSessions);
  const double timestamp = OMIDQuilbrnClock::timestampSeconds();
  for (const auto& sessionId : adViewCache->notVisibleSessionIds()) {
    auto rootState = screenProcessor_->stateForContainer(container);
    handleNotVisibleAdView(sessionId, adViewCache->notVisibleAdView(sessionId), rootState, *adViewCache);
    if (statePublisher_) statePublisher_->publishState(std::move(rootState), {sessionId}, timestamp, container);
  }
  if (adViewCache->visibleSessionIds().empty()) {
    if (statePublisher_) statePublisher_->cleanupCacheForContainer(container);
    return;
  }
  auto rootState = screenProcessor_->stateForContainer(container);
  for (const auto& window : screenProcessor_->windowsForContainer(container)) {
    walkView(window, *windowProcessor_, rootState, *adViewCache);
  }
  if (statePublisher_) {
    statePublisher_->publishState(std::move(rootState), adViewCache->visibleSessionIds(), timestamp, container);
  }
}

void OMIDQuilbrnTreeWalker::handleNotVisibleAdView(const std::string& sessionId,
                                                   const std::shared_ptr<platform::View>& view,
                                                   platform::Json& viewState,
                                                   const OMIDQuilbrnAdViewCache& adViewCache) {
  const int reason = adViewCache.getViewHiddenReason(sessionId);
  if (reason == OMIDQuilbrnHiddenReasonVisible) return;
  auto childState = viewProcessor_->stateForView(view);
  OMIDQuilbrnDictionaryUtil::addSessionId(childState, sessionId);
  OMIDQuilbrnDictionaryUtil::addNotVisibleReason(childState, reason);
  OMIDQuilbrnDictionaryUtil::addOutputDeviceStatus(childState, 0);
  OMIDQuilbrnDictionaryUtil::addChildState(viewState, std::move(childState));
}

void OMIDQuilbrnTreeWalker::walkView(const std::shared_ptr<platform::View>& view, OMIDQuilbrnNodeProcessor& processor,
                                     platform::Json& parentState, OMIDQuilbrnAdViewCache& adViewCache) {
  if (!view || view->isHidden() || view->alpha() == 0) return;
  const int type = adViewCache.typeForView(view);
  if (type == OMIDQuilbrnViewTypeUnderlying) return;
  ++count_;
  auto state = processor.stateForView(view);
  // The state joins its parent once its subtree is in it: the parent's
  // children keep the walk's order either way.
  if (!handleAdView(view, state, adViewCache)) {
    checkFriendlyObstruction(view, state, adViewCache);
    walkChildrenForView(view, processor, state, type, adViewCache);
  }
  OMIDQuilbrnDictionaryUtil::addChildState(parentState, std::move(state));
}

bool OMIDQuilbrnTreeWalker::handleAdView(const std::shared_ptr<platform::View>& view, platform::Json& state,
                                         OMIDQuilbrnAdViewCache& adViewCache) {
  auto sessionId = adViewCache.sessionIdForView(view);
  if (!sessionId) return false;
  OMIDQuilbrnDictionaryUtil::addSessionId(state, *sessionId);
  adViewCache.onAdViewProcessed();
  return true;
}

void OMIDQuilbrnTreeWalker::checkFriendlyObstruction(const std::shared_ptr<platform::View>& view,
                                                     platform::Json& state, OMIDQuilbrnAdViewCache& adViewCache) {
  if (auto info = adViewCache.obstructionInfoForView(view)) OMIDQuilbrnDictionaryUtil::addObstructionInfo(state, *info);
}

void OMIDQuilbrnTreeWalker::walkChildrenForView(const std::shared_ptr<platform::View>& view,
                                                OMIDQuilbrnNodeProcessor& processor, platform::Json& state, int type,
                                                OMIDQuilbrnAdViewCache& adViewCache) {
  const auto children =
      type == OMIDQuilbrnViewTypeRoot ? processor.orderedChildrenForView(view) : processor.childrenForView(view);
  auto& childProcessor = processor.processorForChildren();
  for (const auto& child : children) walkView(child, childProcessor, state, adViewCache);
}
