#include "platform/ui/view_controller.h"

#include "platform/ui/application.h"

namespace platform {

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

}  // namespace platform
