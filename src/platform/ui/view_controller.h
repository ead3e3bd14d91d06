#pragma once
// View controllers of the headless UI layer. A controller owns its root view
// (created lazily by loadView); the view holds its controller weakly. Main
// queue only.
#include <memory>

#include "platform/ui/view.h"

namespace platform {

class ViewController : public Responder {
 public:
  ViewController() = default;
  ~ViewController() override;

  std::shared_ptr<ViewController> sharedController() {
    return std::static_pointer_cast<ViewController>(shared_from_this());
  }

  // The root view, created on first use by loadView() then viewDidLoad().
  std::shared_ptr<View> view();
  bool isViewLoaded() const { return view_ != nullptr; }
  // Replaces the root view.
  void setView(std::shared_ptr<View> view);

  // Modal links: a presenting controller owns what it presents; the presented
  // one holds its presenter weakly.
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }

  // Responder chain: the superview of the root view, else the presenter.
  std::shared_ptr<Responder> nextResponder() const override;

 protected:
  // Makes the root view: a plain view the size of the main screen.
  virtual void loadView();
  virtual void viewDidLoad() {}

  // For the presentation machinery.
  void setPresentedViewController(std::shared_ptr<ViewController> presented) { presented_ = std::move(presented); }
  void setPresentingViewController(const std::shared_ptr<ViewController>& presenting) { presenting_ = presenting; }

 private:
  std::shared_ptr<View> view_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
};

}  // namespace platform
