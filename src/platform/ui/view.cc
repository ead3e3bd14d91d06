#include "platform/ui/view.h"

#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/view_controller.h"

namespace platform {

namespace {

void callDidMoveToWindow(View& view) {
  view.didMoveToWindow();
  for (const auto& child : view.subviews()) callDidMoveToWindow(*child);
}

}  // namespace

View::~View() = default;

void View::setFrame(const Rect& frame) { frame_ = frame; }

void View::setBounds(const Rect& bounds) {
  boundsOrigin_ = bounds.origin;
  const Point c = frame_.center();
  frame_.size = bounds.size;
  frame_.origin = Point{c.x - bounds.size.width / 2, c.y - bounds.size.height / 2};
}

void View::setCenter(Point center) {
  frame_.origin = Point{center.x - frame_.size.width / 2, center.y - frame_.size.height / 2};
}

void View::addSubview(const std::shared_ptr<View>& view) { insertSubview(view, subviews_.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, size_t index) {
  if (!view || view.get() == this || isDescendantOfView(view.get())) return;
  const auto before = view->window();
  if (view->superview_.lock()) view->detachFromSuperview();
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  view->superview_ = sharedView();
  didAddSubview(view);
  view->notifyWindowChange(before);
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

bool View::pointInside(Point point) const { return bounds().contains(point); }

std::shared_ptr<View> View::hitTest(Point point) {
  if (hidden_ || !userInteractionEnabled_ || alpha_ <= 0.01 || !pointInside(point)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    const auto& child = *it;
    const Point inChild{point.x - child->frame_.origin.x + child->boundsOrigin_.x,
                        point.y - child->frame_.origin.y + child->boundsOrigin_.y};
    if (auto hit = child->hitTest(inChild)) return hit;
  }
  return sharedView();
}

Point View::convertPointToDescendant(Point point, const View& descendant) const {
  std::vector<const View*> chain;
  for (const View* v = &descendant; v && v != this; v = v->superview_.lock().get()) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    point = Point{point.x - (*it)->frame_.origin.x + (*it)->boundsOrigin_.x,
                  point.y - (*it)->frame_.origin.y + (*it)->boundsOrigin_.y};
  }
  return point;
}

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
