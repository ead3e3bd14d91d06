#pragma once
// The tree walker: while the application is active it walks, every 0.2 s,
// the view tree of every container that holds an active session (the
// application, or each window scene), builds one state per container (the
// screen, its windows, their views, frames in screen coordinates) with the ad
// views and friendly obstructions marked, and hands it to the state
// publisher, which sends it on only when it changed. Sessions whose ad view
// cannot be seen get a small state of their own naming the reason.
//
// What a walk leaves out: views that lie below every ad view in drawing
// order (and are not on an ad view's path), hidden views and views of alpha
// exactly 0 with their subtrees, an ad view's own subviews, windows of
// another screen and the system's keyboard and text-effects windows.
//
// Life: idle (no timer) -> running (start) -> idle (pause, stop). stop also
// makes the publisher forget every published state.
//
// Threading: main thread only (the timer runs on the main queue).
#include <memory>

#include "measurement/state/OMIDQuilbrnWindowContainer.h"
#include "measurement/walker/OMIDQuilbrnTreeWalkerP.h"
#include "platform/dispatch.h"
#include "platform/json.h"

namespace platform {
class View;
}
class OMIDQuilbrnAdSession;
class OMIDQuilbrnAdViewCache;
class OMIDQuilbrnNodeProcessor;
class OMIDQuilbrnScreenProcessor;
class OMIDQuilbrnViewProcessor;
class OMIDQuilbrnWindowProcessor;

// Told after each walk how many views it processed and how long it took.
class OMIDQuilbrnTreeWalkerTimeLogger {
 public:
  virtual ~OMIDQuilbrnTreeWalkerTimeLogger() = default;
  virtual void didProcessObjectsCount(unsigned count, double milliseconds) = 0;
};

class OMIDQuilbrnTreeWalker : public OMIDQuilbrnTreeWalkerP,
                              public std::enable_shared_from_this<OMIDQuilbrnTreeWalker> {
 public:
  static constexpr double kTickIntervalMs = 200;

  static std::shared_ptr<OMIDQuilbrnTreeWalker> initWithAdSessionRegistry(
      std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry,
      std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher);
  ~OMIDQuilbrnTreeWalker() override;

  // Walks now; then, unless it runs already, every 0.2 s.
  void start() override;
  // Drops the timer and tells the time logger (0 views, 0 ms).
  void pause() override;
  // pause, and the state publisher forgets every published state.
  void stop() override;
  // One walk of every container.
  void updateTreeState();

  bool isRunning() const { return timer_ != nullptr; }
  // Views processed by the current (or last) walk.
  unsigned count() const { return count_; }
  // Held weakly; nothing in the library sets one.
  void setTimeLogger(std::weak_ptr<OMIDQuilbrnTreeWalkerTimeLogger> timeLogger) { timeLogger_ = std::move(timeLogger); }

 private:
  OMIDQuilbrnTreeWalker(std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry,
                        std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher);
  void onTick() { updateTreeState(); }
  void beforeWalk();
  void doWalk();
  void afterWalk();
  void doWalkWithAdSessions(const std::vector<std::shared_ptr<OMIDQuilbrnAdSession>>& adSessions,
                            const OMIDQuilbrnWindowContainer& container);
  void handleNotVisibleAdView(const std::string& sessionId, const std::shared_ptr<platform::View>& view,
                              platform::Json& viewState, const OMIDQuilbrnAdViewCache& adViewCache);
  void walkView(const std::shared_ptr<platform::View>& view, OMIDQuilbrnNodeProcessor& processor,
                platform::Json& parentState, OMIDQuilbrnAdViewCache& adViewCache);
  bool handleAdView(const std::shared_ptr<platform::View>& view, platform::Json& state,
                    OMIDQuilbrnAdViewCache& adViewCache);
  void checkFriendlyObstruction(const std::shared_ptr<platform::View>& view, platform::Json& state,
                                OMIDQuilbrnAdViewCache& adViewCache);
  void walkChildrenForView(const std::shared_ptr<platform::View>& view, OMIDQuilbrnNodeProcessor& processor,
                           platform::Json& state, int type, OMIDQuilbrnAdViewCache& adViewCache);
  void reportToTimeLogger(unsigned count, double milliseconds);

  std::shared_ptr<platform::Timer> timer_;
  unsigned count_ = 0;
  int64_t date1_ = 0;
  int64_t date2_ = 0;
  std::weak_ptr<OMIDQuilbrnTreeWalkerTimeLogger> timeLogger_;
  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> adSessionRegistry_;
  std::shared_ptr<OMIDQuilbrnScreenProcessor> screenProcessor_;
  std::shared_ptr<OMIDQuilbrnWindowProcessor> windowProcessor_;
  std::shared_ptr<OMIDQuilbrnViewProcessor> viewProcessor_;
  std::shared_ptr<OMIDQuilbrnStatePublisher> statePublisher_;
};
