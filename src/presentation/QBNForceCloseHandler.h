#pragma once
// Force close: while an ad is on screen, a tap in the top-right 50 x 50
// corner of the shown view starts a countdown; when it ends, the handler's
// block runs (the presenters then ask the controller page to end the ad with
// "engageEnd" {"action": "forceClose"}, if the ad is still presented). Each
// further tap in the corner starts the countdown over. Main queue only.
#include <functional>
#include <memory>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "platform/dispatch.h"
#include "platform/ui/gesture.h"

class QBNForceCloseHandler : public platform::GestureRecognizerDelegate,
                             public std::enable_shared_from_this<QBNForceCloseHandler> {
 public:
  // How long the presenters' countdown runs.
  static constexpr double kForceCloseTimeoutSeconds = 5.0;
  static constexpr double kCloseButtonSide = 50;

  // Watches `view` (held weakly); a timeout of 0 disables the handler.
  static std::shared_ptr<QBNForceCloseHandler> create(const std::shared_ptr<platform::View>& view,
                                                      double timeoutSeconds);
  // Stops the countdown and detaches the tap recognizer.
  ~QBNForceCloseHandler() override;

  std::shared_ptr<platform::View> observedView() const { return observedView_.lock(); }
  double forceCloseTimeout() const { return forceCloseTimeout_; }
  // The close area in the watched view's coordinates, from its bounds as they
  // are now: a view laid out or turned after arming keeps its area in its
  // top-right corner. Empty without a view.
  platform::Rect frameForCloseButton() const;
  void setReachedTimeoutBlock(std::function<void()> block) { reachedTimeoutBlock_ = std::move(block); }

  // Attaches a single-tap recognizer to the watched view; nothing while a
  // countdown runs, without the view or with a timeout of 0.
  void startHandlingTouchEvents();
  // Detaches the recognizer and stops a running countdown.
  void stopHandlingTouchEvents();
  // A tap inside the close area (re)starts the countdown.
  void qbnViewTapped(platform::GestureRecognizer& recognizer);
  // The countdown's end: runs the block.
  void closeWebviewWithForce();

  // The web content's own gestures keep working.
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(platform::GestureRecognizer&,
                                                          platform::GestureRecognizer&) override {
    return true;
  }

  bool isWatching() const { return tap_ != nullptr; }
  bool isCountingDown() const { return forceCloseTimer_ && forceCloseTimer_->isValid(); }

  // Arms force close for a presenter: a new handler for `view` with
  // kForceCloseTimeoutSeconds, watching at once, whose countdown end sends
  // "engageEnd" {"action": "forceClose"} (decodeFirst NO) through the
  // publisher's controller manager while `isPresented` answers YES.
  static std::shared_ptr<QBNForceCloseHandler> armForPresenter(const std::shared_ptr<platform::View>& view,
                                                               std::function<bool()> isPresented,
                                                               std::weak_ptr<QBNPublisherAgent> publisherAgent);

 private:
  QBNForceCloseHandler(const std::shared_ptr<platform::View>& view, double timeoutSeconds)
      : observedView_(view), forceCloseTimeout_(timeoutSeconds) {}

  std::weak_ptr<platform::View> observedView_;
  double forceCloseTimeout_;
  std::function<void()> reachedTimeoutBlock_;
  std::shared_ptr<platform::Timer> forceCloseTimer_;
  std::shared_ptr<platform::TapGestureRecognizer> tap_;
};
