#pragma once
// What one walk of a container knows before it starts: which sessions' ad
// views can be seen (their paths up to the window), why the others cannot,
// and which views are friendly obstructions of which sessions. Built afresh
// for every container walk; main thread.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "measurement/state/OMIDQuilbrnObjectKey.h"

namespace platform {
class View;
}
class OMIDQuilbrnAdSession;
class OMIDQuilbrnFriendlyObstruction;

// Why a session's ad view cannot be seen (the codes of the state's
// "notVisibleReason").
inline constexpr int OMIDQuilbrnHiddenReasonNotAttached = 0;
inline constexpr int OMIDQuilbrnHiddenReasonViewHidden = 1;
inline constexpr int OMIDQuilbrnHiddenReasonViewAlphaZero = 2;
inline constexpr int OMIDQuilbrnHiddenReasonNoAdView = 3;
inline constexpr int OMIDQuilbrnHiddenReasonVisible = 4;

// How the walk treats a view.
inline constexpr int OMIDQuilbrnViewTypeRoot = 0;         // on a path to a visible ad view: children in drawing order
inline constexpr int OMIDQuilbrnViewTypeObstruction = 1;  // after the first ad view: children in plain order
inline constexpr int OMIDQuilbrnViewTypeUnderlying = 2;   // below every ad view: skipped with its subtree

// One obstruction view: the obstruction first registered for it and every
// session that registered it.
class OMIDQuilbrnObstructionInfo {
 public:
  explicit OMIDQuilbrnObstructionInfo(std::shared_ptr<OMIDQuilbrnFriendlyObstruction> friendlyObstruction)
      : friendlyObstruction_(std::move(friendlyObstruction)) {}
  const std::shared_ptr<OMIDQuilbrnFriendlyObstruction>& friendlyObstruction() const { return friendlyObstruction_; }
  // Ascending.
  const std::set<std::string>& sessionIds() const { return sessionIds_; }
  void addSessionId(const std::string& sessionId) { sessionIds_.insert(sessionId); }

 private:
  std::shared_ptr<OMIDQuilbrnFriendlyObstruction> friendlyObstruction_;
  std::set<std::string> sessionIds_;
};

class OMIDQuilbrnAdViewCache {
 public:
  // Sorts the sessions (in their order) into visible and not visible.
  static std::unique_ptr<OMIDQuilbrnAdViewCache> adViewCacheWithAdSessions(
      const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions);

  // The session whose visible ad view this is; the entry is used up, so a
  // view is reported once per walk.
  std::optional<std::string> sessionIdForView(const std::shared_ptr<platform::View>& view);
  // The view's obstruction info; used up like sessionIdForView.
  std::shared_ptr<OMIDQuilbrnObstructionInfo> obstructionInfoForView(const std::shared_ptr<platform::View>& view);
  // The ad view recorded for a session that cannot be seen; null when it has
  // none.
  std::shared_ptr<platform::View> notVisibleAdView(const std::string& sessionId) const;
  // The stored reason of a session that cannot be seen (Visible otherwise).
  int getViewHiddenReason(const std::string& sessionId) const;
  // One of the OMIDQuilbrnViewType values.
  int typeForView(const std::shared_ptr<platform::View>& view) const;
  // The walk met the first visible ad view.
  void onAdViewProcessed() { isAdViewProcessed_ = true; }

  const std::set<std::string>& visibleSessionIds() const { return visibleSessionIds_; }
  const std::set<std::string>& notVisibleSessionIds() const { return notVisibleSessionIds_; }

 private:
  using KeyMap = std::unordered_map<OMIDQuilbrnObjectKey, std::string, OMIDQuilbrnObjectKey::Hash>;
  OMIDQuilbrnAdViewCache() = default;
  void prepareWithAdSessions(const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions);
  // The ad view's hidden reason; for a visible one, its path up to the window
  // joins rootViews.
  int buildRootViewsFromAdView(const std::shared_ptr<platform::View>& adView);
  void prepareFriendlyObstructionsForAdSession(OMIDQuilbrnAdSession& adSession);

  KeyMap visibleAdViews_;
  std::unordered_map<OMIDQuilbrnObjectKey, std::shared_ptr<OMIDQuilbrnObstructionInfo>, OMIDQuilbrnObjectKey::Hash>
      friendlyObstructionInfo_;
  KeyMap notVisibleAdViews_;
  std::unordered_map<std::string, int> notVisibleReasons_;
  bool isAdViewProcessed_ = false;
  std::unordered_set<OMIDQuilbrnObjectKey, OMIDQuilbrnObjectKey::Hash> rootViews_;
  std::set<std::string> visibleSessionIds_;
  std::set<std::string> notVisibleSessionIds_;
};
