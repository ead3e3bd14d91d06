#pragma once
// What the own-network core uses of the in-app store session, which lives in
// the presentation library: the session registers itself here at start-up
// (qb::presentation::registerWithOwnNetwork), tests register their own. While
// nothing is registered, sharedInstance() is null and the core's calls reach
// nothing (no call, empty answers).
//
// Store pages are prepared per ad view, under the "viewUniqueId" text the
// controller page chooses. Every step of a page's life is reported to the
// session's delegate as a dictionary.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class ViewController;
}

// The receiver of the session's reports, all optional, each with the
// session's report dictionary. Main queue. The defaults do nothing.
class QBAppStoreInsideDelegate {
 public:
  virtual ~QBAppStoreInsideDelegate() = default;
  // Loading a page for a view id began.
  virtual void didStartAppStoreInsideSessionWithParameters(const platform::Json& /*parameters*/) {}
  // Loading ended ("isLoaded"; "errMsg" when it failed).
  virtual void didLoadAppStoreInsideSessionWithParameters(const platform::Json& /*parameters*/) {}
  // A page was put on screen.
  virtual void didShowAppStoreInsideWithParameters(const platform::Json& /*parameters*/) {}
  // A page could not be put on screen; `storekitData` holds the error's
  // description under "error".
  virtual void didFailedToDisplayAppStoreInsideWithError(const platform::Error& /*error*/,
                                                         const platform::Json& /*storekitData*/) {}
};

// The optional finished report (a page cancelled, or closed by the user). Its
// absence is observable: a page closed by the user whose view id the session
// does not know is logged as an event only when the delegate implements this.
// A delegate implements it by deriving from this interface too.
class QBAppStoreInsideFinishDelegate {
 public:
  virtual ~QBAppStoreInsideFinishDelegate() = default;
  virtual void didFinishAppStoreInsideSessionWithParameters(const platform::Json& parameters) = 0;
};

class QBAppStoreInsideSessionP {
 public:
  virtual ~QBAppStoreInsideSessionP() = default;

  // The registered session, or null. Any thread.
  static std::shared_ptr<QBAppStoreInsideSessionP> sharedInstance();
  // Registers the session (null unregisters); registering the same one again
  // changes nothing. Any thread.
  static void registerSharedInstance(std::shared_ptr<QBAppStoreInsideSessionP> session);

  // The rest: main queue only.

  // The receiver of the reports (held weakly).
  virtual void setDelegate(std::weak_ptr<QBAppStoreInsideDelegate> delegate) = 0;
  // Prepares the store page of `appId` for `viewUniqueId` with the command's
  // parameter dictionary (its "storeKitLoadParams" text and view-controller
  // keys); nothing unless both ids are non-empty texts. With `showIfSuccess`
  // the page goes on screen as soon as it has loaded.
  virtual void loadStoreWithAppId(const std::optional<std::string>& appId,
                                  const std::optional<std::string>& viewUniqueId, const platform::Json& params,
                                  bool showIfSuccess) = 0;
  // Forgets the page of a view id.
  virtual void cleanupForViewUniqueId(const std::string& viewUniqueId) = 0;
  // Whether a page is registered for the view id and its last load succeeded.
  virtual bool hasAppStorePageForViewUniqueId(const std::string& viewUniqueId) const = 0;
  // The controller pages are presented from (held weakly).
  virtual void setViewControllerToPresentFrom(const std::shared_ptr<platform::ViewController>& controller) = 0;
  // Puts the registered page of the view id on screen; nothing without one.
  virtual void showStoreForUniqueId(const std::string& viewUniqueId) = 0;
  // A report dictionary as the controller page receives it: "storeAppId" and
  // "viewUniqueId" present (a missing one is "-1"), "storeKitLoadParams" a
  // dictionary. None for none.
  virtual std::optional<platform::Json> storeKitDataToController(
      const std::optional<platform::Json>& report) const = 0;
};
