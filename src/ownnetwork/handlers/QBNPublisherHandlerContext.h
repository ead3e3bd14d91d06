#pragma once
// What the publisher's page-command handlers (credit and window, store and
// URL, info, file) need of the publisher that owns them, beyond what every
// script handler reads of it (QBNPublisherAgent). The publisher implements
// it; each handler holds it weakly and does nothing once it has gone. Main
// queue, like the handlers.
#include <cstdint>
#include <memory>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"

class PMAProductParameters;
class QBNDataManagerProtocol;
class QBNOrientationJSHandlerP;
class QBNProductPresenterJSHandlerP;
class QBNHybridAdPresenterP;
class QBNSecondaryWebViewJSHandlerP;

class QBNPublisherHandlerContext : public QBNPublisherAgent {
 public:
  // The application key and user id of the last init of a product: rewarded
  // video 0, interstitial 1, banner 4; the offerwall (2 and 3) has a
  // PMAGeneralParameters with its additional parameters. Null when none.
  virtual std::shared_ptr<PMAProductParameters> parametersForProductType(int64_t productType) const = 0;
  // The native session configuration's allowOrientationFromAppDelegate.
  virtual bool allowOrientationFromAppDelegate() const = 0;
  // Sends the page's downloads and owns the disk cache's download manager.
  virtual std::shared_ptr<QBNDataManagerProtocol> dataManager() const = 0;
  // The script handlers that "displayWebView" and "openUrl" reach; null when
  // their library registered none.
  virtual std::shared_ptr<QBNOrientationJSHandlerP> orientationJSInterfaceHandler() const = 0;
  virtual std::shared_ptr<QBNProductPresenterJSHandlerP> presenterJSInterfaceHandler() const = 0;
  virtual std::shared_ptr<QBNHybridAdPresenterP> hybridAdPresenter() const = 0;
  virtual std::shared_ptr<QBNSecondaryWebViewJSHandlerP> secondaryWebViewJSHandler() const = 0;
};
