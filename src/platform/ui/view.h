#pragma once
// Views of the headless UI layer: plain objects that keep what the library
// sets (geometry, flags, colours, the view tree, constraints, gesture
// recognizers) so that tests and the host can read it back. Nothing is drawn.
//
// Threading: like the platform's views, these objects belong to the main
// queue; they take no locks.
//
// Ownership: a view owns its subviews, its gesture recognizers and the layout
// constraints it holds; its superview is a weak link. A window is a view at
// the root of a tree.
//
// Geometry: a view keeps its centre (in the superview's coordinates), its
// bounds and a transform applied about the centre; the frame is derived (the
// box around the transformed bounds). See docs/ui-layer.md.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform {

class View;
class Window;
class WindowScene;
class ViewController;
class GestureRecognizer;
class LayoutConstraint;

// One finger on the screen, as a touch handler sees it.
struct Touch {
  std::weak_ptr<View> view;  // the view the touch hit
  Point locationInWindow;    // in the coordinates of the hit view's root
  int tapCount = 1;
};

// UIEventType: 0 touches.
struct Event {
  int type = 0;
};

// Something that takes part in the responder chain.
class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  // The next object of the chain, or null at its end.
  virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }
  // A touch began in this responder. The default passes it on to the next
  // responder.
  virtual void touchesBegan(const std::vector<Touch>& touches, const Event& event);
};

// Bits of View::autoresizingMask, with the platform's values. Recorded only:
// this layer does not resize views by their masks.
namespace AutoresizingMask {
constexpr uint32_t None = 0;
constexpr uint32_t FlexibleLeftMargin = 1u << 0;
constexpr uint32_t FlexibleWidth = 1u << 1;
constexpr uint32_t FlexibleRightMargin = 1u << 2;
constexpr uint32_t FlexibleTopMargin = 1u << 3;
constexpr uint32_t FlexibleHeight = 1u << 4;
constexpr uint32_t FlexibleBottomMargin = 1u << 5;
}  // namespace AutoresizingMask

// What a view's layer keeps of its look (recorded only).
struct Layer {
  double cornerRadius = 0;
  double borderWidth = 0;
  std::optional<Color> borderColor;
  // The drawing order among siblings: a sibling with a higher zPosition is
  // drawn above one with a lower; equal ones keep their subview order.
  double zPosition = 0;
};

class View : public Responder {
 public:
  explicit View(Rect frame = {});
  ~View() override;

  std::shared_ptr<View> sharedView() { return std::static_pointer_cast<View>(shared_from_this()); }

  // ---- Geometry. The frame is in the superview's coordinates.
  Rect frame() const;
  // Sets the centre to the frame's centre and the bounds size so that the
  // transformed bounds fill the frame (for the identity transform: the frame's
  // size).
  virtual void setFrame(const Rect& frame);
  Rect bounds() const { return Rect{boundsOrigin_, boundsSize_}; }
  // Keeps the centre.
  void setBounds(const Rect& bounds);
  Point center() const { return center_; }
  void setCenter(Point center) { center_ = center; }
  const AffineTransform& transform() const { return transform_; }
  // Keeps the centre and the bounds; the frame follows.
  void setTransform(const AffineTransform& transform) { transform_ = transform; }

  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }
  double alpha() const { return alpha_; }
  void setAlpha(double alpha) { alpha_ = alpha; }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { opaque_ = opaque; }
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; }
  uint32_t autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(uint32_t mask) { autoresizingMask_ = mask; }
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  Layer& layer() { return layer_; }
  const Layer& layer() const { return layer_; }

  // ---- The view tree.
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  // Bottom first.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // Appends on top. A view that already has a superview leaves it first.
  void addSubview(const std::shared_ptr<View>& view);
  // Inserts at index (clamped to the number of subviews; 0 is the bottom),
  // counted after the view has left its old place.
  void insertSubview(const std::shared_ptr<View>& view, size_t index);
  // Inserts just above / below the subview that is `sibling` or contains it.
  // When `sibling` is not in this view's tree below it (or is null, or lies
  // inside `view` itself) the view is appended on top, as addSubview does.
  void insertSubviewAboveSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void insertSubviewBelowSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  // Also deactivates the constraints that tie this view (or a view inside it)
  // to a view outside it.
  void removeFromSuperview();
  // True for the view itself and every view below it.
  bool isDescendantOfView(const View* view) const;
  // The window at the root of this view's tree, or null when there is none.
  virtual std::shared_ptr<Window> window() const;

  // The view controller whose root view this is (weak), if any.
  std::shared_ptr<ViewController> viewController() const { return viewController_.lock(); }

  // Responder chain: the owning view controller for a root view, else the
  // superview.
  std::shared_ptr<Responder> nextResponder() const override;

  // ---- Hit-testing and coordinates.
  // Whether a point of this view's coordinates is inside it: by default, its
  // bounds contain the point.
  virtual bool pointInside(Point point) const;
  // The deepest visible (not hidden, alpha above 0.01), interactive view
  // containing the point (topmost subview first), or null. A view whose
  // pointInside refuses the point hides its whole subtree from it.
  virtual std::shared_ptr<View> hitTest(Point point);
  // A point of this view's coordinates in `other`'s; `other` null means the
  // coordinates of this view's root. Views of different trees meet at their
  // roots' coordinates.
  Point convertPoint(Point point, const View* other) const;
  // A point of `other`'s coordinates (its root's when null) in this view's.
  Point convertPointFromView(Point point, const View* other) const;
  Point convertPointToDescendant(Point point, const View& descendant) const {
    return descendant.convertPointFromView(point, this);
  }
  // A rectangle of this view's coordinates in `other`'s (its root's when
  // null): the box around its four converted corners.
  Rect convertRect(const Rect& rect, const View* other) const;

  // Called on the view and all its descendants whenever their window changes.
  virtual void didMoveToWindow() {}

  // ---- Layout (see docs/ui-layer.md). Marks the view; a view in a window is
  // laid out by the layout pass at the end of the current main-queue turn.
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out this view when marked, then every marked view below it, parents
  // before children.
  void layoutIfNeeded();
  // The view's own layout. The default places the subviews that do not
  // translate their autoresizing masks into constraints by the active
  // constraints that tie them to this view, to a sibling or to a constant.
  virtual void layoutSubviews();
  // How many times layoutSubviews ran on this view.
  int layoutCountForTesting() const { return layoutCount_; }

  bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizingMask_; }
  void setTranslatesAutoresizingMaskIntoConstraints(bool translates) { translatesAutoresizingMask_ = translates; }
  // The active constraints this view holds (the nearest common ancestor of a
  // constraint's items holds it), in activation order.
  const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }

  // ---- Gesture recognizers, in the order they were added.
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

  // ---- Animation. Applies `animations` at once; `completion` runs with true
  // on the main queue once `durationSeconds` have passed on the platform clock
  // (on the next main-queue turn for a duration of 0 or less), never inline.
  // Every requested duration is recorded.
  static void animateWithDuration(double durationSeconds, const std::function<void()>& animations,
                                  std::function<void(bool finished)> completion = nullptr);
  static std::vector<double> animationDurationsForTesting();
  static void resetAnimationsForTesting();

 protected:
  // From this view's coordinates to its superview's, and back (for a window:
  // to and from its screen's).
  Point toSuperview(Point p) const;
  Point fromSuperview(Point p) const;
  // Called after a subview was added or inserted.
  virtual void didAddSubview(const std::shared_ptr<View>&) {}
  virtual void willRemoveSubview(const std::shared_ptr<View>&) {}

 private:
  friend class ViewController;
  friend class LayoutConstraint;
  void insertAt(const std::shared_ptr<View>& view, const View* anchor, bool above);
  void detachFromSuperview();
  void notifyWindowChange(const std::shared_ptr<Window>& before);
  void markAncestorsForLayout();
  void applySize(Size size);
  // The default layout: frames of constrained subviews (layout.cc).
  void placeConstrainedSubviews();
  // The subview of this view that is `view` or contains it, if any.
  std::shared_ptr<View> directChildContaining(const View* view) const;

  Point center_;
  Point boundsOrigin_;
  Size boundsSize_;
  AffineTransform transform_;
  bool hidden_ = false;
  double alpha_ = 1;
  bool opaque_ = true;
  std::optional<Color> backgroundColor_;
  uint32_t autoresizingMask_ = AutoresizingMask::None;
  bool clipsToBounds_ = false;
  bool userInteractionEnabled_ = true;
  bool translatesAutoresizingMask_ = true;
  Layer layer_;
  bool needsLayout_ = false;
  bool subtreeNeedsLayout_ = false;
  int layoutCount_ = 0;
  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<ViewController> viewController_;
  std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
};

// A view whose content can be scrolled (the scroll view of a web view).
class ScrollView : public View {
 public:
  using View::View;
  Point contentOffset() const { return contentOffset_; }
  void setContentOffset(Point offset) { contentOffset_ = offset; }
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size) { contentSize_ = size; }
  bool bounces() const { return bounces_; }
  void setBounces(bool bounces) { bounces_ = bounces; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }

 private:
  Point contentOffset_;
  Size contentSize_;
  bool bounces_ = true;
  bool scrollEnabled_ = true;
};

// A window: the root of a view tree, with a root view controller.
class Screen;

class Window : public View {
 public:
  using View::View;

  // The screen the window is shown on (held strongly): the main screen
  // unless one was set.
  const Screen& screen() const;
  // Null: the main screen again.
  void setScreen(std::shared_ptr<Screen> screen) { screen_ = std::move(screen); }
  // A rectangle of the window's coordinates in `window`'s, or in screen
  // coordinates when `window` is null (the window's frame is its place on
  // its screen).
  Rect convertRectToWindow(const Rect& rect, const Window* window) const;
  // The name of the window's class on the platform ("UIWindow"); the system's
  // own windows (keyboard, text effects) answer theirs.
  virtual const char* windowClassName() const { return "UIWindow"; }

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  // Installs the controller's view as the window's first subview, sized to
  // the window's bounds.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  bool isKeyWindow() const;
  // Makes this the application's key window and shows it.
  void makeKeyAndVisible();

  std::shared_ptr<Window> window() const override;

  // The scene the window belongs to (held weakly), or null.
  std::shared_ptr<WindowScene> windowScene() const { return windowScene_.lock(); }
  // Moves the window into `scene`, leaving its old one (null: into none).
  void setWindowScene(const std::shared_ptr<WindowScene>& scene);

 private:
  std::shared_ptr<ViewController> rootViewController_;
  std::weak_ptr<WindowScene> windowScene_;
  std::shared_ptr<Screen> screen_;
};

// The windows the system puts in an application's window list for the text
// loupes and for the keyboard: no content of the application is drawn there.
class TextEffectsWindow : public Window {
 public:
  using Window::Window;
  const char* windowClassName() const override { return "UITextEffectsWindow"; }
};
class RemoteKeyboardWindow : public Window {
 public:
  using Window::Window;
  const char* windowClassName() const override { return "UIRemoteKeyboardWindow"; }
};

}  // namespace platform
