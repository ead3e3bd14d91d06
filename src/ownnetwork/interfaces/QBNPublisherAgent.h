#pragma once
// The publisher as the script handlers and the presentation classes see it.
// Handlers are made with a publisher agent, hold it weakly and reply through
// its controller manager. Main queue, except controllerManager() (any thread).
#include <memory>
#include <string>

#include "platform/json.h"

namespace platform {
class ViewController;
}
class PMWVWKWebView;
class PMAOfferWallDelegate;
class QBNControllerManagerP;

class QBNPublisherAgent {
 public:
  virtual ~QBNPublisherAgent() = default;

  // The one publisher of the process, for the objects that are not made with
  // a publisher agent (the ad-unit web views); null until the publisher
  // registers itself (held weakly). Any thread.
  static std::shared_ptr<QBNPublisherAgent> sharedInstance();
  static void registerSharedInstance(std::weak_ptr<QBNPublisherAgent> publisher);

  // Where every reply and notice to the page goes.
  virtual std::shared_ptr<QBNControllerManagerP> controllerManager() const = 0;
  // The hidden web view that runs the controller page; what "displayWebView"
  // shows full screen when it names no ad view.
  virtual std::shared_ptr<PMWVWKWebView> webViewController() const = 0;
  // "offsetX", "offsetY", "width", "height" (numbers) for the secondary web view.
  virtual platform::Json resizeProperties() const = 0;
  // Whether the controller configuration has "oneToken" true.
  virtual bool isOneToken() const = 0;
  // Dismisses the presented product and tells every demand source it closed.
  virtual void notifyAdCloseAll() = 0;
  // Whether the hybrid presenter or the product presenter shows something.
  virtual bool isAnyViewPresented() const = 0;
  // The hybrid presenter's controller when it presents, else the product
  // presenter's presented controller, else null.
  virtual std::shared_ptr<platform::ViewController> getPresentedViewController() const = 0;

  // The rest answer as an absent object would until the publisher gives them.

  // The publisher's user-group text (JSON of the tester keys; the class's
  // getUserGroup), "" until set.
  virtual std::string userGroup() const { return ""; }
  // The offerwall's listener given at offerwall init (held weakly by the
  // publisher), or null.
  virtual std::shared_ptr<PMAOfferWallDelegate> offerWallDelegate() const { return nullptr; }
};
