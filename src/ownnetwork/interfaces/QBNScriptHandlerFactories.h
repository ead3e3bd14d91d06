#pragma once
// Factories of the script handlers, registered by the libraries that
// implement them (presentation, script features) and used by the publisher
// while it initialises its required properties. A factory that is not
// registered makes nothing, and a command routed to the missing handler
// reaches nothing.
//
// Registration and reads: any thread.
#include <functional>
#include <memory>

class QBNPublisherAgent;
class QBNControllerManagerP;
class QBNDataManagerProtocol;
class QBNJSInterfaceHandlerP;
class PMAJSInterfaceHandlerP;
class QBNProductPresenterJSHandlerP;
class QBNOrientationJSHandlerP;
class QBNSecondaryWebViewJSHandlerP;
class QBNHybridAdPresenterP;
class QBNOMIDJSInterfaceP;

struct QBNScriptHandlerFactories {
  template <class T>
  using WithAgent = std::function<std::shared_ptr<T>(std::weak_ptr<QBNPublisherAgent>)>;
  template <class T>
  using WithControllerManager = std::function<std::shared_ptr<T>(std::shared_ptr<QBNControllerManagerP>)>;

  // In the order the publisher creates them.
  WithAgent<PMAJSInterfaceHandlerP> jsInterfaceHandler;
  WithAgent<QBNJSInterfaceHandlerP> ringerButtonHandler;
  WithAgent<QBNProductPresenterJSHandlerP> presenterHandler;
  WithAgent<QBNOrientationJSHandlerP> orientationHandler;
  WithAgent<QBNJSInterfaceHandlerP> adViewHandler;            // "bannerViewAPI"
  WithAgent<QBNJSInterfaceHandlerP> tokenHandler;             // "iabTokenAPI"
  WithAgent<QBNJSInterfaceHandlerP> deviceDataHandler;        // "deviceDataAPI"
  WithAgent<QBNJSInterfaceHandlerP> adUnitWebViewHandler;     // "adViewAPI"
  WithAgent<QBNSecondaryWebViewJSHandlerP> secondaryWebViewHandler;
  WithAgent<QBNHybridAdPresenterP> hybridAdPresenter;
  std::function<std::shared_ptr<QBNJSInterfaceHandlerP>(std::weak_ptr<QBNPublisherAgent>,
                                                        std::shared_ptr<QBNDataManagerProtocol>)>
      fileSystemHandler;                                      // "fileSystemAPI"
  WithAgent<QBNJSInterfaceHandlerP> audioSessionHandler;      // "audioSessionAPI"
  WithControllerManager<QBNJSInterfaceHandlerP> adImpressionHandler;  // "SKAdImpressionAPI"
  WithControllerManager<QBNJSInterfaceHandlerP> overlayHandler;       // "SKOverlayAPI"
  WithAgent<QBNOMIDJSInterfaceP> omidHandler;                 // made on the first "omidAPI"

  // The registered factories (a copy). Each library fills the members it
  // implements through update(), leaving the others as they are.
  static QBNScriptHandlerFactories current();
  static void update(const std::function<void(QBNScriptHandlerFactories&)>& change);
  static void resetForTesting();
};
