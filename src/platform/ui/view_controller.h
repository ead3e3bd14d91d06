#pragma once
// View controllers of the headless UI layer: the lazily made root view, the
// appearance calls, orientation and status-bar answers, child controllers and
// modal presentation (see docs/ui-layer.md for the order of the calls). A
// controller owns its root view (the view holds its controller weakly), its
// children and what it presents (those hold it weakly). Main queue only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/orientation.h"
#include "platform/ui/view.h"

namespace platform {

// UIModalPresentationStyle, with the platform's values.
namespace ModalPresentationStyle {
constexpr int Automatic = -2;
constexpr int None = -1;
constexpr int FullScreen = 0;
constexpr int PageSheet = 1;
constexpr int FormSheet = 2;
constexpr int CurrentContext = 3;
constexpr int Custom = 4;
constexpr int OverFullScreen = 5;
constexpr int OverCurrentContext = 6;
constexpr int Popover = 7;
}  // namespace ModalPresentationStyle

class ViewController : public Responder {
 public:
  // An animated presentation or dismissal takes this long on the platform
  // clock; one without animation ends on the next main-queue turn.
  static constexpr double kTransitionDurationSeconds = 0.3;

  ViewController() = default;
  ~ViewController() override;

  std::shared_ptr<ViewController> sharedController() {
    return std::static_pointer_cast<ViewController>(shared_from_this());
  }

  // ---- The root view, created on first use by loadView() then viewDidLoad().
  std::shared_ptr<View> view();
  bool isViewLoaded() const { return view_ != nullptr; }
  // True when the root view is loaded and in a window: what presenting from
  // this controller needs.
  bool isViewInWindow() const { return view_ && view_->window() != nullptr; }
  // Replaces the root view.
  void setView(std::shared_ptr<View> view);

  // ---- Appearance. Called by modal presentation and dismissal, on this
  // controller and then on its children (recursively).
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}

  // ---- Orientation and status bar.
  // Default: all but upside down on a phone, all on a pad.
  virtual uint64_t supportedInterfaceOrientations() const;
  virtual bool shouldAutorotate() const { return true; }
  // Default: the status bar's orientation.
  virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const;
  virtual bool prefersStatusBarHidden() const { return false; }
  // Asks the system to read the status-bar answers again (counted only).
  void setNeedsStatusBarAppearanceUpdate() { ++statusBarUpdates_; }
  int statusBarAppearanceUpdateCountForTesting() const { return statusBarUpdates_; }

  int modalPresentationStyle() const { return modalPresentationStyle_; }
  void setModalPresentationStyle(int style) { modalPresentationStyle_ = style; }
  bool modalPresentationCapturesStatusBarAppearance() const { return capturesStatusBar_; }
  void setModalPresentationCapturesStatusBarAppearance(bool captures) { capturesStatusBar_ = captures; }
  bool isModalInPresentation() const { return modalInPresentation_; }
  void setModalInPresentation(bool modal) { modalInPresentation_ = modal; }

  // ---- Child controllers. addChildViewController leaves the old parent,
  // calls the child's willMoveToParentViewController(this) and appends it;
  // the container calls didMoveToParentViewController itself.
  // removeFromParentViewController drops the link and calls
  // didMoveToParentViewController(nullptr); willMove... (nullptr) is the
  // container's to call.
  void addChildViewController(const std::shared_ptr<ViewController>& child);
  void removeFromParentViewController();
  const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return children_; }
  std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
  virtual void willMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}
  virtual void didMoveToParentViewController(const std::shared_ptr<ViewController>& /*parent*/) {}

  // ---- Modal presentation. A presenting controller owns what it presents;
  // the presented one holds its presenter weakly.
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }

  // Presents `controller` over this one's window. The links are set before
  // this returns and the controller is told viewWillAppear; its view is put on
  // top of the window with the window's bounds. Later (after
  // kTransitionDurationSeconds when animated, else on the next main-queue
  // turn) it is told viewDidAppear, then `completion` runs. Refused (false,
  // nothing changes, the completion never runs) when `controller` is null,
  // this controller, already presented or a child; when this controller
  // already presents one; or when this controller's view is not in a window.
  bool presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                             std::function<void()> completion = nullptr);
  // Dismisses what this controller presents (with everything presented above
  // it), or, when it presents nothing, this controller itself from its
  // presenter. The links are cleared before this returns and each dismissed
  // controller, top first, is told viewWillDisappear; later (as for a
  // presentation) each view leaves the window and its controller is told
  // viewDidDisappear, then `completion` runs. A child controller that
  // presents nothing dismisses its nearest presented ancestor (the platform
  // hands the call up the parents). With nothing to dismiss, the
  // completion runs on the next main-queue turn. A dismissal asked while a
  // dismissed controller's presentation is still under way starts when that
  // presentation has finished. Virtual: a controller may refuse to be
  // dismissed (it then neither dismisses nor runs the completion).
  virtual void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr);

  // Whether the last presentation / dismissal of this controller was animated.
  bool lastPresentationAnimatedForTesting() const { return lastPresentAnimated_; }
  bool lastDismissalAnimatedForTesting() const { return lastDismissAnimated_; }

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
  friend struct Transitions;
  std::shared_ptr<View> view_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  std::weak_ptr<ViewController> parent_;
  std::vector<std::shared_ptr<ViewController>> children_;
  int statusBarUpdates_ = 0;
  int modalPresentationStyle_ = ModalPresentationStyle::Automatic;
  bool capturesStatusBar_ = false;
  bool modalInPresentation_ = false;
  bool lastPresentAnimated_ = false;
  bool lastDismissAnimated_ = false;
  // Set while this controller's presentation has not finished; blocks to run
  // once it has.
  bool appearing_ = false;
  std::vector<std::function<void()>> afterAppearing_;
};

}  // namespace platform
