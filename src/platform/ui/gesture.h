#pragma once
// Tap gesture recognizers and the touch driver that delivers taps as the
// platform would. Main queue only.
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

class GestureRecognizer;

class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  // Whether `recognizer` may recognize together with `other` (both saw the
  // same tap). Either side answering YES is enough. Default NO.
  virtual bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer& /*recognizer*/,
                                                                   GestureRecognizer& /*other*/) {
    return false;
  }
};

// A recognizer is owned by the view it is attached to and knows that view
// weakly. Its actions (target-action) run on the main queue, inside the
// touch driver's call, in the order they were added.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer&)>;

  virtual ~GestureRecognizer() = default;

  void addTarget(Action action);
  // Drops every action.
  void removeAllTargets() { actions_.clear(); }
  std::shared_ptr<View> view() const { return view_.lock(); }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  std::shared_ptr<GestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<GestureRecognizerDelegate> delegate) { delegate_ = std::move(delegate); }
  // Where the last recognized tap was, in `view`'s coordinates (the root's
  // coordinates of the tapped tree when `view` is null).
  Point locationInView(const View* view) const;

  // Whether this recognizer takes a tap of `tapCount` taps.
  virtual bool accepts(int tapCount) const = 0;

 private:
  friend class View;
  friend class TouchDriver;
  void recognize(Point locationInRoot, const std::shared_ptr<View>& root);

  std::weak_ptr<View> view_;
  bool enabled_ = true;
  std::weak_ptr<GestureRecognizerDelegate> delegate_;
  std::vector<Action> actions_;
  Point lastLocationInRoot_;
  std::weak_ptr<View> lastRoot_;
};

class TapGestureRecognizer : public GestureRecognizer {
 public:
  static std::shared_ptr<TapGestureRecognizer> create(Action action = nullptr);

  int numberOfTapsRequired() const { return tapsRequired_; }
  void setNumberOfTapsRequired(int taps) { tapsRequired_ = taps; }
  bool accepts(int tapCount) const override { return tapCount == tapsRequired_; }

 private:
  int tapsRequired_ = 1;
};

// Delivers taps the way the platform does (see docs/ui-layer.md).
class TouchDriver {
 public:
  // One tap of `tapCount` taps at `point`, given in `view`'s coordinates. The
  // tap is hit-tested from the root of `view`'s tree. The hit view is told
  // touchesBegan (which climbs the responder chain by default); then the tap
  // recognizers of the hit view and its ancestors, deepest first, decide: the
  // first enabled one that accepts recognizes, and each further one only when
  // it and every one that already recognized may recognize together (a
  // delegate of either answers YES). When the hit view is an enabled control,
  // only its own recognizers see the tap, and unless one of them recognized,
  // the control sends its touch-up-inside actions.
  // Returns the hit view, or null when nothing took the tap.
  static std::shared_ptr<View> tap(const std::shared_ptr<View>& view, Point point, int tapCount = 1);
};

}  // namespace platform
