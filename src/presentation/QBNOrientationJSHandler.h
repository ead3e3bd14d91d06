#pragma once
// The controller page's "setOrientation" and "setAppOrientation" (and the
// "appOrientation" of "displayWebView", which the publisher hands over with
// callbacks off). Made once by the publisher through the handler factories;
// main queue only.
//
// Replies go to the command's "success" ({}) or "fail" ({"errMsg"}) name with
// decodeFirst YES through the publisher's controller manager; nothing is sent
// without the name or with callbacks off.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"

class QBNOrientationJSHandler : public QBNOrientationJSHandlerP {
 public:
  // initWithPublisherAgent: keeps the publisher weakly.
  static std::shared_ptr<QBNOrientationJSHandler> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }

  // With "appOrientation": setAppOrientation; else with "orientation":
  // setPresentationOrientation (callbacks on both); else nothing.
  void invokeAPIWithJSParams(const platform::Json& params) override;
  // "orientation": "application" (the application's mask now) or a controller
  // orientation string becomes the ad's orientation policy; without it the
  // fail reply "missing orientation param".
  void setPresentationOrientation(const platform::Json& params, bool sendCallback) override;
  // "appOrientation": a controller orientation string becomes the
  // application-orientation override (0, for a text that names nothing,
  // clears it); without it the fail reply "missing app orientation param".
  void setAppOrientation(const platform::Json& params, bool sendCallback) override;

  static void updateOrientationManagerWithRequestedPresentationOrientation(const std::string& orientation);

 private:
  explicit QBNOrientationJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  void sendEmptyCallbackToController(const std::optional<std::string>& name) const;
  void sendCallbackToController(const std::optional<std::string>& name, const platform::Json& params) const;
  static void logInfo(const std::string& text);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
};
