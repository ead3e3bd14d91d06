#include "measurement/walker/OMIDQuilbrnAdViewCache.h"

#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "platform/ui/view.h"

namespace {
OMIDQuilbrnObjectKey keyOf(const std::shared_ptr<platform::View>& view) {
  return OMIDQuilbrnObjectKey::objectKeyWithObject(view);
}
}  // namespace

std::unique_ptr<OMIDQuilbrnAdViewCache> OMIDQuilbrnAdViewCache::adViewCacheWithAdSessions(
    const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions) {
  std::unique_ptr<OMIDQuilbrnAdViewCache> cache(new OMIDQuilbrnAdViewCache);
  cache->prepareWithAdSessions(adSessions);
  return cache;
}

void OMIDQuilbrnAdViewCache::prepareWithAdSessions(
    const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions) {
  for (const auto& session : adSessions) {
    if (!session) continue;
    const auto& identifier = session->identifier();
    const auto adView = session->mainAdView();
    if (!adView) {
      notVisibleSessionIds_.insert(identifier);
      notVisibleReasons_[identifier] = OMIDQuilbrnHiddenReasonNoAdView;
      continue;
    }
    const int reason = buildRootViewsFromAdView(adView);
    if (reason == OMIDQuilbrnHiddenReasonVisible) {
      visibleSessionIds_.insert(identifier);
      visibleAdViews_[keyOf(adView)] = identifier;
      prepareFriendlyObstructionsForAdSession(*session);
    } else {
      notVisibleSessionIds_.insert(identifier);
      notVisibleAdViews_[keyOf(adView)] = identifier;
      notVisibleReasons_[identifier] = reason;
    }
  }
}

int OMIDQuilbrnAdViewCache::buildRootViewsFromAdView(const std::shared_ptr<platform::View>& adView) {
  if (!adView->window()) return OMIDQuilbrnHiddenReasonNotAttached;
  std::vector<std::shared_ptr<platform::View>> path;
  for (auto view = adView; view; view = view->superview()) {
    if (view->isHidden()) return OMIDQuilbrnHiddenReasonViewHidden;
    // Exactly 0: a NaN alpha counts as visible.
    if (view->alpha() == 0) return OMIDQuilbrnHiddenReasonViewAlphaZero;
    path.push_back(view);
  }
  for (const auto& view : path) rootViews_.insert(keyOf(view));
  return OMIDQuilbrnHiddenReasonVisible;
}

void OMIDQuilbrnAdViewCache::prepareFriendlyObstructionsForAdSession(OMIDQuilbrnAdSession& adSession) {
  for (const auto& obstruction : adSession.friendlyObstructions()) {
    auto view = obstruction ? obstruction->obstructionView() : nullptr;
    if (!view) continue;
    auto& info = friendlyObstructionInfo_[keyOf(view)];
    if (!info) info = std::make_shared<OMIDQuilbrnObstructionInfo>(obstruction);
    info->addSessionId(adSession.identifier());
  }
}

std::optional<std::string> OMIDQuilbrnAdViewCache::sessionIdForView(const std::shared_ptr<platform::View>& view) {
  if (visibleAdViews_.empty()) return std::nullopt;
  const auto found = visibleAdViews_.find(keyOf(view));
  if (found == visibleAdViews_.end()) return std::nullopt;
  std::string identifier = std::move(found->second);
  visibleAdViews_.erase(found);
  return identifier;
}

std::shared_ptr<OMIDQuilbrnObstructionInfo> OMIDQuilbrnAdViewCache::obstructionInfoForView(
    const std::shared_ptr<platform::View>& view) {
  if (friendlyObstructionInfo_.empty()) return nullptr;
  const auto found = friendlyObstructionInfo_.find(keyOf(view));
  if (found == friendlyObstructionInfo_.end()) return nullptr;
  auto info = std::move(found->second);
  friendlyObstructionInfo_.erase(found);
  return info;
}

std::shared_ptr<platform::View> OMIDQuilbrnAdViewCache::notVisibleAdView(const std::string& sessionId) const {
  for (const auto& [key, identifier] : notVisibleAdViews_) {
    if (identifier == sessionId) {
      return std::const_pointer_cast<platform::View>(std::static_pointer_cast<const platform::View>(key.object()));
    }
  }
  return nullptr;
}

int OMIDQuilbrnAdViewCache::getViewHiddenReason(const std::string& sessionId) const {
  const auto found = notVisibleReasons_.find(sessionId);
  return found == notVisibleReasons_.end() ? OMIDQuilbrnHiddenReasonVisible : found->second;
}

int OMIDQuilbrnAdViewCache::typeForView(const std::shared_ptr<platform::View>& view) const {
  if (rootViews_.contains(keyOf(view))) return OMIDQuilbrnViewTypeRoot;
  return isAdViewProcessed_ ? OMIDQuilbrnViewTypeObstruction : OMIDQuilbrnViewTypeUnderlying;
}
