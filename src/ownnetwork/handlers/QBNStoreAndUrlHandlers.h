#pragma once
// The controller page's store and URL commands ("preLoadAppPage",
// "clearAppPage", "openUrl"), the opening of URLs outside the application,
// and the in-app store session's reports, each turned into a command for the
// page. The publisher owns one and routes the commands to it; it is the
// store session's delegate (made so by "preLoadAppPage").
//
// Requests are the flat dictionaries of the commands' queries. Every reply is
// sent decoded first, through the publisher's controller manager. Main queue
// (the store session reports there too). A store session or script handler
// that throws is contained: the command logs it and, on the store path of
// "openUrl", answers "fail".
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "platform/json.h"

class QBNPublisherHandlerContext;

class QBNStoreAndUrlHandlers : public QBAppStoreInsideDelegate,
                               public QBAppStoreInsideFinishDelegate,
                               public std::enable_shared_from_this<QBNStoreAndUrlHandlers> {
 public:
  static std::shared_ptr<QBNStoreAndUrlHandlers> create(std::weak_ptr<QBNPublisherHandlerContext> publisher);

  // "preLoadAppPage": with non-empty "appId" and "viewUniqueId", becomes the
  // registered store session's delegate and has it load (not show) the page
  // with the whole request; otherwise logs and calls "fail" with the request
  // itself.
  void preLoadAppPage(const platform::Json& request);
  // "clearAppPage": the store session forgets the page of "viewUniqueId".
  void clearStoreKitAppPage(const platform::Json& request);
  // "openUrl", with both "url" and "method" (percent-decoded "url"):
  //  - "webview": the secondary web view opens on it with the control frames
  //    of the percent-decoded JSON "controlFrames" (none when it does not
  //    parse; an empty list when empty or missing), then "openUrlSuccess";
  //  - "store": the preloaded store page of "viewUniqueId" is shown from the
  //    presented view controller (else the top-most one); without either, the
  //    URL opens outside the application;
  //  - "external_browser": the URL opens outside the application;
  //  - anything else: nothing.
  void handleOpenUrl(const platform::Json& request);
  // Asks the application to open `url` outside it and logs the answer.
  static void openExternalUrl(const std::string& url);

  // QBAppStoreInsideDelegate / QBAppStoreInsideFinishDelegate: "appStoreInsideStarted",
  // "appStoreInsideLoaded", "appStoreInsideDisplayStoreKit",
  // "appStoreFailedToDisplayStoreKit" and "appStoreInsideClosed", each with
  // the report as the store session converts it for the page.
  void didStartAppStoreInsideSessionWithParameters(const platform::Json& parameters) override;
  void didFinishAppStoreInsideSessionWithParameters(const platform::Json& parameters) override;
  void didLoadAppStoreInsideSessionWithParameters(const platform::Json& parameters) override;
  void didShowAppStoreInsideWithParameters(const platform::Json& parameters) override;
  void didFailedToDisplayAppStoreInsideWithError(const platform::Error& error,
                                                 const platform::Json& storekitData) override;

 private:
  explicit QBNStoreAndUrlHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher);
  void openStorePage(const platform::Json& request, const std::string& url);
  // Converts a report, logs `logLine` (with "%@" the converted report's text)
  // and sends `command`.
  void report(const std::string& command, const std::string& logLine, const platform::Json& parameters);

  std::weak_ptr<QBNPublisherHandlerContext> publisher_;
};
