#pragma once
// The two protocols of the ad-unit web views: what the registry asks of a
// registered ad view, and the receiver of an ad view's named messages (the
// script handler that created it, which forwards them to the controller
// page). Main queue only.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class View;
}

// Completions of the ad views and their registry: an error, or none for
// success.
using QBNAdViewCompletion = std::function<void(const std::optional<platform::Error>&)>;

class QBNAdViewDelegate {
 public:
  virtual ~QBNAdViewDelegate() = default;
  // A named message with its parameters ("containerSendMessage",
  // "handleGetViewVisibility", "containerIsVisible", "containerWasRemoved",
  // "linkActivation", "destroyBanner").
  virtual void didReceiveMessageFromAdView(const std::string& message, const platform::Json& params) = 0;
  // Never sent by the ad views of this library.
  virtual void didReceiveMessageFromAdViewWithArray(const std::string& message, const platform::Json& params) = 0;
};

// An ad view the registry keeps: the web presenter, or the container around
// one.
class QBNPresentableAdView {
 public:
  virtual ~QBNPresentableAdView() = default;
  // Starts loading the page; the completion runs once, before this returns.
  virtual void loadAdWithURL(const std::optional<std::string>& url, QBNAdViewCompletion completion) = 0;
  // Hands a message text (JSON) to the page's window.pma.onMessageReceived.
  virtual void sendMessage(const std::optional<std::string>& message) = 0;
  // Sends the delegate "handleGetViewVisibility" with the web view's
  // visibility and the ad view id.
  virtual void sendHandleGetViewVisibility() = 0;
  // Lets go of the web view and everything around it.
  virtual void performCleanup() = 0;
  // "onPause" stops loading, "onResume" reloads; any other name fails.
  virtual void performWebViewActionWithActionName(const std::optional<std::string>& actionName,
                                                  QBNAdViewCompletion completion) = 0;
  // The view to put on screen for it: the web view.
  virtual std::shared_ptr<platform::View> getViewToPresent() = 0;
  // Whether the page loaded last failed (its load, a script the web view
  // stopped, its content torn down); such an ad view is not put on screen.
  virtual bool hasPageFailed() const { return false; }
};

// Posted on the main queue when an ad view's page fails, with userInfo
// {"adViewId": <id>}: whoever shows that ad view takes it off screen.
inline constexpr char kQBNAdViewPageFailedNotification[] = "QBNAdViewPageFailedNotification";
