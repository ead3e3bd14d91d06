#pragma once
// The secondary web view: a page the controller page opens over the ad
// ("openUrl" with "method" "webview"), in a black full-size container that
// slides in from the right, with a default close button or with controls the
// controller page draws itself ("controlFrames"), and that slides out again
// when closed ("controlSecondaryWebView", "navigationModeChange"). Made once
// by the publisher through the handler factories; main queue only.
//
// Timeline (platform clock):
//  - open: the container is inserted directly above the controller web view's
//    view and slides in over 0.3 s; then the controller web view responds only
//    inside the control frames (everywhere without them), the completion runs,
//    and 0.1 s later, with control frames, the container moves directly below
//    the controller web view's view;
//  - close request ("close", or "back" without history): the container moves
//    above the controller web view while it has control frames, "engageEnd"
//    {"action": "secondaryClose"} goes to the page, and 1.0 s later the closing
//    starts; a further close request sends "engageEnd" again and restarts the
//    1.0 s;
//  - closing (the close button, "navigationModeChange" false, or the end of
//    the 1.0 s): the container slides out over 0.3 s, then the web view and
//    the container are torn down and the controller web view responds
//    everywhere again. A closing asked while one runs only cancels the timer.
//  - an open while a close is pending (requested or sliding out) waits for the
//    end of the closing (which starts at once when only requested) and then
//    opens afresh; its completion runs once the new page has slid in.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "ownnetwork/web/PMWVWebViewP.h"
#include "platform/dispatch.h"
#include "platform/ui/controls.h"

class PMWVWKWebView;

class QBNSecondaryWebViewJSHandler : public QBNSecondaryWebViewJSHandlerP,
                                     public PMWVWebViewDelegate,
                                     public std::enable_shared_from_this<QBNSecondaryWebViewJSHandler> {
 public:
  static constexpr double kAnimationSeconds = 0.3;
  static constexpr double kBelowControllerDelaySeconds = 0.1;
  static constexpr double kCloseDelaySeconds = 1.0;

  // initWithPublisherAgent: keeps the publisher weakly.
  static std::shared_ptr<QBNSecondaryWebViewJSHandler> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);
  ~QBNSecondaryWebViewJSHandler() override;

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }
  bool isAnimating() const { return isAnimating_; }
  const std::shared_ptr<PMWVWKWebView>& pmaSecondWebView() const { return pmaSecondWebView_; }
  const std::shared_ptr<platform::View>& secondaryViewContainer() const { return secondaryViewContainer_; }
  const std::shared_ptr<platform::ActivityIndicator>& secondarySpinner() const { return secondarySpinner_; }
  // The last subview of the application's key window: where the container
  // goes, beside the controller web view's view.
  static std::shared_ptr<platform::View> containerView();

  // "openUrl" with "method" "webview". Opens the page (see the timeline) or,
  // while a page is open, loads `url` in it and sets the container's hidden
  // flag, without calling the completion. `controlsFrames`: a list of frame
  // entries ("width", "height", "margin", "position") relative to the
  // controller web view's frame; none or an empty list gives the default
  // close button; entries that are no objects are skipped.
  void openSecondaryWebviewWithUrl(const std::string& url, const std::optional<platform::Json>& controlsFrames,
                                   bool isHidden, std::function<void()> completion) override;
  // "controlSecondaryWebView": "close" a close request; "reload" stops a load
  // under way and reloads; "next" goes forward when it can; "back" goes back
  // when it can, else a close request; anything else is ignored.
  void handleSecondaryWebViewCallbackWithAction(const std::string& action) override;
  // The closing, without telling the page (the argument is not used).
  void animateSecondaryClose(bool sendMessage = false) override;
  // The close request.
  void moveSecondaryToFrontAndSendCloseMessage() override;

  bool hasSecondaryView() const override { return pmaSecondWebView_ && secondaryViewContainer_; }
  // Loads a non-empty URL in the open secondary web view.
  void loadSecondaryWebviewWithUrl(const std::string& url);
  // A close request when a secondary view is open.
  void closeWebviewWithForce();
  // Animates the secondary web view over 0.3 s to the publisher's
  // resizeProperties ("offsetX", "offsetY", "width", "height", integers);
  // the completion hears the finished flag and the final frame.
  void resizeSecondaryWebViewWithCompletion(std::function<void(bool, platform::Rect)> completion);
  void refreshSecondaryWebView();
  void makeWebViewGoForward();
  void makeWebViewGoBack();

  // PMWVWebViewDelegate: a load stops the spinner; a failure is only logged
  // (the view stays open); a terminated content process closes the view with
  // a close request and tells the page "webViewTerminated", when the features
  // manager says to handle terminations.
  void loadSuccessfully(const std::shared_ptr<PMWVWebViewP>& webView) override;
  void failedToLoadWithError(const platform::Error& error, const std::shared_ptr<PMWVWebViewP>& webView) override;
  void webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>& webView) override;

  bool isClosePending() const { return isAnimating_ || (closeSecondaryTimer_ && closeSecondaryTimer_->isValid()); }

 private:
  explicit QBNSecondaryWebViewJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}

  struct PendingOpen {
    std::string url;
    std::optional<platform::Json> controlsFrames;
    bool isHidden = false;
    std::vector<std::function<void()>> completions;
  };

  std::shared_ptr<PMWVWKWebView> controllerWebView() const;
  void open(PendingOpen request);
  void openPending();
  void didSlideIn(const std::shared_ptr<platform::View>& container, bool withControlFrames,
                  std::vector<platform::Rect> frames);
  std::shared_ptr<platform::Button> makeCloseButton(double webViewWidth);
  void tearDown();
  void runCommand(const std::string& name, const platform::Json& params, bool decodeFirst) const;
  void cancelCloseTimer();

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  bool isAnimating_ = false;
  std::shared_ptr<PMWVWKWebView> pmaSecondWebView_;
  std::shared_ptr<platform::View> secondaryViewContainer_;
  std::shared_ptr<platform::ActivityIndicator> secondarySpinner_;
  std::shared_ptr<platform::Timer> closeSecondaryTimer_;
  std::optional<PendingOpen> pendingOpen_;
};
