#pragma once
// The listener of an own-network ad instance (QuillborneAdInstance) and the
// calls it may take.
//
// Each call is a small interface of its own, so that whether a listener
// implements a call is a fact the caller can see: the demand-source responder
// calls a listener only through the interfaces it derives from (dynamic_cast)
// and drops the call otherwise. QBNAdDelegate is the listener that takes all
// eleven; a listener that takes only some derives from QBNProductDelegate and
// those interfaces.
//
// The responder calls them on the main queue. `configuration` is the
// dictionary of the controller page's callback, passed on unchanged.
#include <memory>
#include <string>

#include "ownnetwork/services/PMADemandSource.h"
#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class View;
}
class QuillborneAdInstance;

using QBNAdInstanceRef = std::shared_ptr<QuillborneAdInstance>;

class QBNAdDelegateLoaded {
 public:
  virtual ~QBNAdDelegateLoaded() = default;
  virtual void adInstanceLoaded(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

// A banner's load with the view container that holds its ad view.
class QBNAdDelegateLoadedWithAdContainer {
 public:
  virtual ~QBNAdDelegateLoadedWithAdContainer() = default;
  virtual void adInstanceLoadedWithAdContainer(const QBNAdInstanceRef& adInstance, const platform::Json& configuration,
                                               const std::shared_ptr<platform::View>& adContainer) = 0;
};

class QBNAdDelegateFailedToLoad {
 public:
  virtual ~QBNAdDelegateFailedToLoad() = default;
  virtual void adInstanceFailedToLoad(const QBNAdInstanceRef& adInstance, const platform::Error& error,
                                      const platform::Json& configuration) = 0;
};

class QBNAdDelegateOpened {
 public:
  virtual ~QBNAdDelegateOpened() = default;
  virtual void adInstanceOpened(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

class QBNAdDelegateClosed {
 public:
  virtual ~QBNAdDelegateClosed() = default;
  virtual void adInstanceClosed(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

class QBNAdDelegateShowSuccess {
 public:
  virtual ~QBNAdDelegateShowSuccess() = default;
  virtual void adInstanceShowSuccess(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

class QBNAdDelegateFailedToShow {
 public:
  virtual ~QBNAdDelegateFailedToShow() = default;
  virtual void adInstanceFailedToShow(const QBNAdInstanceRef& adInstance, const platform::Error& error,
                                      const platform::Json& configuration) = 0;
};

class QBNAdDelegateClicked {
 public:
  virtual ~QBNAdDelegateClicked() = default;
  virtual void adInstanceClicked(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

class QBNAdDelegateRewarded {
 public:
  virtual ~QBNAdDelegateRewarded() = default;
  virtual void adInstanceRewarded(const QBNAdInstanceRef& adInstance, const platform::Json& creditInfo,
                                  const platform::Json& configuration) = 0;
};

class QBNAdDelegateLeaveApplication {
 public:
  virtual ~QBNAdDelegateLeaveApplication() = default;
  virtual void adInstanceLeaveApplication(const QBNAdInstanceRef& adInstance, const platform::Json& configuration) = 0;
};

// An ad event the page reports ("impressions", ...), with its extra data.
class QBNAdDelegateNotification {
 public:
  virtual ~QBNAdDelegateNotification() = default;
  virtual void adInstanceReceivedNotificationWithInstance(const QBNAdInstanceRef& adInstance,
                                                          const std::string& eventName, const platform::Json& extData,
                                                          const platform::Json& configuration) = 0;
};

// The listener that takes every call (the mediation's built-in adapter is
// one). A demand source holds it as its QBNProductDelegate.
class QBNAdDelegate : public QBNProductDelegate,
                      public QBNAdDelegateLoaded,
                      public QBNAdDelegateLoadedWithAdContainer,
                      public QBNAdDelegateFailedToLoad,
                      public QBNAdDelegateOpened,
                      public QBNAdDelegateClosed,
                      public QBNAdDelegateShowSuccess,
                      public QBNAdDelegateFailedToShow,
                      public QBNAdDelegateClicked,
                      public QBNAdDelegateRewarded,
                      public QBNAdDelegateLeaveApplication,
                      public QBNAdDelegateNotification {};
