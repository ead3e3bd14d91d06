#include "platform/ui/view_controller.h"

#include <algorithm>

#include "platform/dispatch.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"

namespace platform {

// The appearance calls of a controller and its children, and the timing of
// transitions.
struct Transitions {
  enum class Call { WillAppear, DidAppear, WillDisappear, DidDisappear };

  static void tell(ViewController& vc, Call call, bool animated) {
    switch (call) {
      case Call::WillAppear: vc.viewWillAppear(animated); break;
      case Call::DidAppear: vc.viewDidAppear(animated); break;
      case Call::WillDisappear: vc.viewWillDisappear(animated); break;
      case Call::DidDisappear: vc.viewDidDisappear(animated); break;
    }
    const auto children = vc.children_;
    for (const auto& child : children) tell(*child, call, animated);
  }

  static void schedule(bool animated, std::function<void()> finish) {
    if (animated) {
      mainQueue()->after(ViewController::kTransitionDurationSeconds * 1000.0, std::move(finish));
    } else {
      mainQueue()->async(std::move(finish));
    }
  }
};

ViewController::~ViewController() = default;

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) setView(std::make_shared<View>(Screen::main().bounds()));
    viewDidLoad();
  }
  return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
  if (view_) view_->viewController_.reset();
  view_ = std::move(view);
  if (view_) view_->viewController_ = sharedController();
}

void ViewController::loadView() { setView(std::make_shared<View>(Screen::main().bounds())); }

std::shared_ptr<Responder> ViewController::nextResponder() const {
  if (view_) {
    if (auto parent = view_->superview()) return parent;
  }
  return presenting_.lock();
}

uint64_t ViewController::supportedInterfaceOrientations() const {
  return Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad ? InterfaceOrientationMask::All
                                                                           : InterfaceOrientationMask::AllButUpsideDown;
}

InterfaceOrientation ViewController::preferredInterfaceOrientationForPresentation() const {
  return Application::shared().statusBarOrientation();
}

// ---------------------------------------------------------------- children

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
  if (!child || child.get() == this) return;
  auto self = sharedController();
  auto oldParent = child->parent_.lock();
  if (oldParent == self) return;
  if (oldParent) child->removeFromParentViewController();
  child->willMoveToParentViewController(self);
  children_.push_back(child);
  child->parent_ = self;
}

void ViewController::removeFromParentViewController() {
  auto parent = parent_.lock();
  if (!parent) return;
  auto self = sharedController();  // the parent may hold the last other reference
  auto& siblings = parent->children_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
  parent_.reset();
  didMoveToParentViewController(nullptr);
}

// ------------------------------------------------------- modal presentation

bool ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
  if (!controller || controller.get() == this || presented_) return false;
  if (controller->presenting_.lock() || controller->parent_.lock()) return false;
  if (!view_) return false;
  const auto window = view_->window();
  if (!window) return false;

  presented_ = controller;
  controller->presenting_ = sharedController();
  controller->lastPresentAnimated_ = animated;
  controller->appearing_ = true;
  auto shown = controller->view();
  Transitions::tell(*controller, Transitions::Call::WillAppear, animated);
  shown->setFrame(window->bounds());
  window->addSubview(shown);

  // The transition keeps the presented controller alive until it ends.
  Transitions::schedule(animated, [controller, animated, completion = std::move(completion)] {
    Transitions::tell(*controller, Transitions::Call::DidAppear, animated);
    controller->appearing_ = false;
    if (completion) completion();
    auto waiting = std::move(controller->afterAppearing_);
    controller->afterAppearing_.clear();
    for (auto& block : waiting) block();
  });
  return true;
}

void ViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
  auto self = sharedController();
  std::shared_ptr<ViewController> presenter;
  std::shared_ptr<ViewController> bottom;
  if (presented_) {
    presenter = self;
    bottom = presented_;
  } else if (auto p = presenting_.lock()) {
    presenter = p;
    bottom = self;
  } else {
    // A child's dismissal is its presented ancestor's.
    for (auto parent = parent_.lock(); parent; parent = parent->parent_.lock()) {
      if (parent->presenting_.lock()) {
        parent->dismissViewControllerAnimated(animated, std::move(completion));
        return;
      }
    }
    if (completion) mainQueue()->async(std::move(completion));
    return;
  }
  std::vector<std::shared_ptr<ViewController>> chain;  // bottom to top
  for (auto c = bottom; c; c = c->presented_) chain.push_back(c);
  for (const auto& c : chain) {
    if (!c->appearing_) continue;
    c->afterAppearing_.push_back([self, animated, completion = std::move(completion)]() mutable {
      self->dismissViewControllerAnimated(animated, std::move(completion));
    });
    return;
  }

  presenter->presented_.reset();
  for (const auto& c : chain) {
    c->presenting_.reset();
    c->presented_.reset();
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    (*it)->lastDismissAnimated_ = animated;
    Transitions::tell(**it, Transitions::Call::WillDisappear, animated);
  }
  Transitions::schedule(animated, [chain = std::move(chain), animated, completion = std::move(completion)] {
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      // A controller presented again meanwhile keeps its view on screen.
      if ((*it)->view_ && !(*it)->presenting_.lock()) (*it)->view_->removeFromSuperview();
      Transitions::tell(**it, Transitions::Call::DidDisappear, animated);
    }
    if (completion) completion();
  });
}

}  // namespace platform
