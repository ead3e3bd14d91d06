#pragma once
// What the own-network core calls of the script handlers and presenters that
// the higher libraries (presentation, script features) implement. The
// publisher creates them through the factories of QBNScriptHandlerFactories.h
// and routes the page's commands to them. Main queue unless a method says
// otherwise.
//
// A request is the flat dictionary of the command's query, strings as they
// stood in the URL (not percent-decoded): "success" and "fail" name the page
// functions of the reply, "functionName"/"functionParams" carry a feature
// command's sub-command.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class ViewController;
}

// A feature handler: one whole feature command with its sub-command.
class QBNJSInterfaceHandlerP {
 public:
  virtual ~QBNJSInterfaceHandlerP() = default;
  // Runs the sub-command and replies; an unknown one is answered with a failure.
  virtual void invokeAPIWithJSParams(const platform::Json& /*params*/) {}
};

// The generic controller-API handler.
class PMAJSInterfaceHandlerP {
 public:
  virtual ~PMAJSInterfaceHandlerP() = default;
  // Answers the page with the controller configuration (`configuration`: JSON text).
  virtual void getControllerConfig(const platform::Json& params, const std::string& configuration) = 0;
  virtual void adClicked(const platform::Json& params) = 0;
  virtual void adLeaveApplication(const platform::Json& params) = 0;
  virtual void sendHTTPRequest(const platform::Json& params) = 0;
  virtual void handleAdEventNotification(const platform::Json& params) = 0;
};

// The registry of view controllers to present products from, with what is on
// screen.
class QBNProductPresenterP {
 public:
  virtual ~QBNProductPresenterP() = default;
  virtual void setViewControllerForProductType(uint32_t productType,
                                               const std::shared_ptr<platform::ViewController>& viewController) = 0;
  virtual std::shared_ptr<platform::ViewController> viewControllerForProductType(uint32_t productType) const = 0;
  // Dismisses the presented product; the completion hears an error or none.
  virtual void dismissProduct(uint32_t productType,
                              std::function<void(const std::optional<platform::Error>&)> completion) = 0;
  virtual bool isCurrentlyPresented() const = 0;
  virtual std::shared_ptr<platform::ViewController> presentedViewController() const = 0;
};

// "displayWebView" (not hybrid) and "removeCloseEventHandler".
class QBNProductPresenterJSHandlerP : public QBNJSInterfaceHandlerP {
 public:
  virtual std::shared_ptr<QBNProductPresenterP> productPresenter() const = 0;
  virtual void handleForceCloseApi(const platform::Json& params) = 0;
  virtual void handleWebViewVisibility(const platform::Json& params) = 0;
};

// "setOrientation" and "setAppOrientation".
class QBNOrientationJSHandlerP : public QBNJSInterfaceHandlerP {
 public:
  virtual void setPresentationOrientation(const platform::Json& params, bool sendCallback) = 0;
  virtual void setAppOrientation(const platform::Json& params, bool sendCallback) = 0;
};

// The secondary web view over an ad.
class QBNSecondaryWebViewJSHandlerP {
 public:
  virtual ~QBNSecondaryWebViewJSHandlerP() = default;
  // Whether the secondary web view and its container exist.
  virtual bool hasSecondaryView() const = 0;
  virtual void handleSecondaryWebViewCallbackWithAction(const std::string& action) = 0;
  virtual void animateSecondaryClose(bool sendMessage) = 0;
  // Opens the page over the ad; `controlsFrames`: frames of the close, back,
  // next and reload controls, or none. The completion runs once it is open.
  virtual void openSecondaryWebviewWithUrl(const std::string& url, const std::optional<platform::Json>& controlsFrames,
                                           bool isHidden, std::function<void()> completion) = 0;
  virtual void moveSecondaryToFrontAndSendCloseMessage() = 0;
};

// The split view of the controller web view and a store page.
class QBNHybridAdPresenterP {
 public:
  virtual ~QBNHybridAdPresenterP() = default;
  virtual void showHybridViewControllerWithDictionary(const platform::Json& params, uint32_t productType) = 0;
  virtual void handleHybridViewRatioConstrains(const platform::Json& params) = 0;
  virtual void hideHybridAd() = 0;
  virtual bool isPresented() const = 0;
  virtual std::shared_ptr<platform::ViewController> presentedViewController() const = 0;
};

// The measurement sessions' command ("omidAPI").
class QBNOMIDJSInterfaceP {
 public:
  virtual ~QBNOMIDJSInterfaceP() = default;
  virtual void invokeAPIWithParams(const platform::Json& params) = 0;
};
