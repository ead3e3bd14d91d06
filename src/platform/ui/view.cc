#include "platform/ui/view.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/application.h"
#include "platform/ui/gesture.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/view_controller.h"

namespace platform {

namespace {

void callDidMoveToWindow(View& view) {
  view.didMoveToWindow();
  // A copy: a view may rearrange its subviews when told.
  const auto children = view.subviews();
  for (const auto& child : children) callDidMoveToWindow(*child);
}

}  // namespace

void Responder::touchesBegan(const std::vector<Touch>& touches, const Event& event) {
  if (auto next = nextResponder()) next->touchesBegan(touches, event);
}

View::View(Rect frame) : center_(frame.center()), boundsSize_(frame.size) {}

View::~View() = default;

// ---------------------------------------------------------------- geometry

Rect View::frame() const {
  const double hw = boundsSize_.width / 2, hh = boundsSize_.height / 2;
  if (transform_.isIdentity()) return Rect{Point{center_.x - hw, center_.y - hh}, boundsSize_};
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const Point corner : {Point{-hw, -hh}, Point{hw, -hh}, Point{-hw, hh}, Point{hw, hh}}) {
    const Point p = transform_.apply(corner);
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return Rect::make(center_.x + minX, center_.y + minY, maxX - minX, maxY - minY);
}

void View::setFrame(const Rect& frame) {
  center_ = frame.center();
  Size size = frame.size;
  if (!transform_.isIdentity()) {
    // The bounds whose transformed box has the frame's size:
    // |a| w + |c| h = W and |b| w + |d| h = H.
    const double a = std::fabs(transform_.a), b = std::fabs(transform_.b);
    const double c = std::fabs(transform_.c), d = std::fabs(transform_.d);
    const double det = a * d - b * c;
    if (det == 0) return;
    size = Size{(d * frame.size.width - c * frame.size.height) / det,
                (a * frame.size.height - b * frame.size.width) / det};
  }
  applySize(size);
}

void View::setBounds(const Rect& bounds) {
  boundsOrigin_ = bounds.origin;
  applySize(bounds.size);
}

void View::applySize(Size size) {
  if (size == boundsSize_) return;
  boundsSize_ = size;
  setNeedsLayout();
}

Point View::toSuperview(Point p) const {
  const Point local{p.x - boundsOrigin_.x - boundsSize_.width / 2, p.y - boundsOrigin_.y - boundsSize_.height / 2};
  const Point t = transform_.apply(local);
  return Point{center_.x + t.x, center_.y + t.y};
}

Point View::fromSuperview(Point p) const {
  const Point local = transform_.inverted().apply(Point{p.x - center_.x, p.y - center_.y});
  return Point{local.x + boundsOrigin_.x + boundsSize_.width / 2, local.y + boundsOrigin_.y + boundsSize_.height / 2};
}

Point View::convertPoint(Point point, const View* other) const {
  for (const View* v = this; v;) {
    auto parent = v->superview_.lock();
    if (!parent) break;
    point = v->toSuperview(point);
    v = parent.get();
  }
  return other ? other->convertPointFromView(point, nullptr) : point;
}

Point View::convertPointFromView(Point point, const View* other) const {
  if (other) point = other->convertPoint(point, nullptr);
  std::vector<const View*> chain;  // this view up to, not including, the root
  for (const View* v = this; v;) {
    auto parent = v->superview_.lock();
    if (!parent) break;
    chain.push_back(v);
    v = parent.get();
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) point = (*it)->fromSuperview(point);
  return point;
}

namespace {
// The box around four corners.
Rect boxAround(const Point (&corners)[4]) {
  double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
  for (const Point& p : corners) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return Rect::make(minX, minY, maxX - minX, maxY - minY);
}
}  // namespace

Rect View::convertRect(const Rect& rect, const View* other) const {
  const Point corners[4] = {convertPoint({rect.minX(), rect.minY()}, other), convertPoint({rect.maxX(), rect.minY()}, other),
                            convertPoint({rect.minX(), rect.maxY()}, other), convertPoint({rect.maxX(), rect.maxY()}, other)};
  return boxAround(corners);
}

Rect Window::convertRectToWindow(const Rect& rect, const Window* window) const {
  // A window's place on its screen is its centre and transform: its own
  // superview step, taken without a superview.
  const Rect local = convertRect(rect, nullptr);
  Point corners[4] = {toSuperview({local.minX(), local.minY()}), toSuperview({local.maxX(), local.minY()}),
                      toSuperview({local.minX(), local.maxY()}), toSuperview({local.maxX(), local.maxY()})};
  if (window) {
    for (Point& p : corners) p = window->fromSuperview(p);
  }
  return boxAround(corners);
}

// ---------------------------------------------------------------- the tree

void View::addSubview(const std::shared_ptr<View>& view) { insertSubview(view, subviews_.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, size_t index) {
  if (!view || view.get() == this || isDescendantOfView(view.get())) return;
  const auto before = view->window();
  const auto keep = view;
  if (view->superview_.lock()) view->detachFromSuperview();
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  view->superview_ = sharedView();
  didAddSubview(view);
  setNeedsLayout();
  view->setNeedsLayout();
  view->notifyWindowChange(before);
}

std::shared_ptr<View> View::directChildContaining(const View* view) const {
  for (const View* v = view; v;) {
    auto parent = v->superview_.lock();
    if (parent.get() == this) {
      for (const auto& child : subviews_) {
        if (child.get() == v) return child;
      }
      return nullptr;
    }
    v = parent.get();
  }
  return nullptr;
}

void View::insertAt(const std::shared_ptr<View>& view, const View* sibling, bool above) {
  if (!view || view.get() == this || isDescendantOfView(view.get())) return;
  const auto anchor = directChildContaining(sibling);
  if (!anchor || anchor == view) {
    addSubview(view);
    return;
  }
  // Where the anchor stands once the view has left its old place.
  size_t index = 0;
  for (const auto& child : subviews_) {
    if (child == anchor) break;
    if (child != view) ++index;
  }
  insertSubview(view, above ? index + 1 : index);
}

void View::insertSubviewAboveSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  insertAt(view, sibling.get(), true);
}

void View::insertSubviewBelowSubview(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  insertAt(view, sibling.get(), false);
}

void View::removeFromSuperview() {
  const auto parent = superview_.lock();
  if (!parent) return;
  const auto before = window();
  auto self = sharedView();  // keeps this view alive through the notices
  detachFromSuperview();
  notifyWindowChange(before);
}

void View::detachFromSuperview() {
  const auto parent = superview_.lock();
  superview_.reset();
  if (!parent) return;
  auto self = sharedView();
  parent->willRemoveSubview(self);
  auto& siblings = parent->subviews_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
  // Constraints held above this view that reach into it no longer hold.
  for (auto holder = parent; holder; holder = holder->superview_.lock()) {
    auto& held = holder->constraints_;
    std::vector<std::shared_ptr<LayoutConstraint>> dropped;
    for (const auto& c : held) {
      auto first = c->firstItem();
      auto second = c->secondItem();
      if ((first && first->isDescendantOfView(this)) || (second && second->isDescendantOfView(this))) {
        dropped.push_back(c);
      }
    }
    for (const auto& c : dropped) c->setActive(false);
  }
  parent->setNeedsLayout();
}

void View::notifyWindowChange(const std::shared_ptr<Window>& before) {
  if (window() != before) callDidMoveToWindow(*this);
}

bool View::isDescendantOfView(const View* view) const {
  if (!view) return false;
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v == view) return true;
  }
  return false;
}

std::shared_ptr<Window> View::window() const {
  auto parent = superview_.lock();
  return parent ? parent->window() : nullptr;
}

std::shared_ptr<Responder> View::nextResponder() const {
  if (auto controller = viewController_.lock()) return controller;
  return superview_.lock();
}

// ------------------------------------------------------------ hit-testing

bool View::pointInside(Point point) const { return bounds().contains(point); }

std::shared_ptr<View> View::hitTest(Point point) {
  if (hidden_ || !userInteractionEnabled_ || alpha_ <= 0.01 || !pointInside(point)) return nullptr;
  const auto children = subviews_;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto hit = (*it)->hitTest((*it)->fromSuperview(point))) return hit;
  }
  return sharedView();
}

// --------------------------------------------------------- gesture recognizers

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (auto old = recognizer->view()) {
    if (old.get() == this) return;
    old->removeGestureRecognizer(recognizer);
  }
  recognizers_.push_back(recognizer);
  recognizer->view_ = sharedView();
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  auto it = std::find(recognizers_.begin(), recognizers_.end(), recognizer);
  if (it == recognizers_.end()) return;
  recognizers_.erase(it);
  recognizer->view_.reset();
}

// ------------------------------------------------------------------ window

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (rootViewController_ == controller) return;
  if (rootViewController_ && rootViewController_->isViewLoaded()) {
    auto old = rootViewController_->view();
    if (old->superview().get() == this) old->removeFromSuperview();
  }
  rootViewController_ = std::move(controller);
  if (rootViewController_) {
    auto root = rootViewController_->view();
    root->setFrame(bounds());
    insertSubview(root, 0);
  }
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

void Window::makeKeyAndVisible() {
  auto self = std::static_pointer_cast<Window>(shared_from_this());
  setHidden(false);
  Application::shared().addWindow(self);
  Application::shared().setKeyWindow(self);
}

std::shared_ptr<Window> Window::window() const {
  return std::const_pointer_cast<Window>(std::static_pointer_cast<const Window>(shared_from_this()));
}

}  // namespace platform
