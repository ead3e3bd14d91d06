#pragma once
// Views of the headless UI layer: plain objects that keep what the library
// sets (frame, flags, colours, the view tree) so that tests and the host can
// read it back. Nothing is drawn.
//
// Threading: like the platform's views, these objects belong to the main
// queue; they take no locks.
//
// Ownership: a view owns its subviews; its superview is a weak link. A window
// is a view at the root of a tree.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/geometry.h"

namespace platform {

class View;
class Window;
class ViewController;

// Something that takes part in the responder chain.
class Responder : public std::enable_shared_from_this<Responder> {
 public:
  virtual ~Responder() = default;
  // The next object of the chain, or null at its end.
  virtual std::shared_ptr<Responder> nextResponder() const { return nullptr; }
};

// Bits of View::autoresizingMask, with the platform's values.
namespace AutoresizingMask {
constexpr uint32_t None = 0;
constexpr uint32_t FlexibleLeftMargin = 1u << 0;
constexpr uint32_t FlexibleWidth = 1u << 1;
constexpr uint32_t FlexibleRightMargin = 1u << 2;
constexpr uint32_t FlexibleTopMargin = 1u << 3;
constexpr uint32_t FlexibleHeight = 1u << 4;
constexpr uint32_t FlexibleBottomMargin = 1u << 5;
}  // namespace AutoresizingMask

class View : public Responder {
 public:
  explicit View(Rect frame = {}) : frame_(frame) {}
  ~View() override;

  std::shared_ptr<View> sharedView() { return std::static_pointer_cast<View>(shared_from_this()); }

  // Geometry. The frame is in the superview's coordinates; the bounds have the
  // frame's size at origin (0, 0) unless set otherwise.
  const Rect& frame() const { return frame_; }
  virtual void setFrame(const Rect& frame);
  Rect bounds() const { return Rect{boundsOrigin_, frame_.size}; }
  void setBounds(const Rect& bounds);
  Point center() const { return frame_.center(); }
  void setCenter(Point center);

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

  // The view tree.
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  // Appends on top. A view that already has a superview leaves it first.
  void addSubview(const std::shared_ptr<View>& view);
  // Inserts at index (clamped to the number of subviews; 0 is the bottom).
  void insertSubview(const std::shared_ptr<View>& view, size_t index);
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

  // Hit-testing, in this view's own coordinates.
  virtual bool pointInside(Point point) const;
  // The deepest visible, interactive view containing the point (topmost
  // subview first), or null.
  virtual std::shared_ptr<View> hitTest(Point point);
  // A point of this view's coordinates in a subview's (or any descendant's).
  Point convertPointToDescendant(Point point, const View& descendant) const;

  // Called on the view and all its descendants whenever their window changes.
  virtual void didMoveToWindow() {}

 protected:
  // Called after a subview was added or inserted.
  virtual void didAddSubview(const std::shared_ptr<View>&) {}
  virtual void willRemoveSubview(const std::shared_ptr<View>&) {}

 private:
  friend class ViewController;
  void detachFromSuperview();
  void notifyWindowChange(const std::shared_ptr<Window>& before);

  Rect frame_;
  Point boundsOrigin_;
  bool hidden_ = false;
  double alpha_ = 1;
  bool opaque_ = true;
  std::optional<Color> backgroundColor_;
  uint32_t autoresizingMask_ = AutoresizingMask::None;
  bool clipsToBounds_ = false;
  bool userInteractionEnabled_ = true;
  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<ViewController> viewController_;
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
class Window : public View {
 public:
  using View::View;

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  // Installs the controller's view as the window's first subview.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  bool isKeyWindow() const;
  // Makes this the application's key window and shows it.
  void makeKeyAndVisible();

  std::shared_ptr<Window> window() const override;

 private:
  std::shared_ptr<ViewController> rootViewController_;
};

}  // namespace platform
