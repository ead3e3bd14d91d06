#pragma once
// The publisher as the controller manager, the web controller and the command
// dispatcher see it. The manager holds it weakly; when it is gone every call
// to it is skipped (no web view, no session id, nothing dispatched).
//
// Main queue, except where a method says otherwise.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"

class PMWVWKWebView;

class QBNControllerPublisherP {
 public:
  virtual ~QBNControllerPublisherP() = default;

  // After each init step of the controller (error: none on success): init the
  // demand sources of `productType` that wait for the controller (init state
  // 1), then the offerwall products that wait for it.
  virtual void initUninitializedDemandSourcesForType(int64_t productType,
                                                     const std::optional<platform::Error>& error) = 0;
  virtual void initNonDemandSourceProductsAfterInitController(const std::optional<platform::Error>& error) = 0;

  // Dismisses what is presented and tells every demand source it closed.
  virtual void notifyAdCloseAll() = 0;

  // The fallback controller has just replaced the page (it answers every
  // command from now on): what waits for an answer of the page goes to it.
  // Called once, on the thread that installed it. Nothing by default.
  virtual void fallbackControllerTookOver() {}

  // The page-to-native URL channel: a navigation of the controller web view,
  // or a string the page posted (navigation type -1, answer unused). Answers
  // whether the web view may load the request.
  virtual bool handleControllerCallback(const platform::URLRequest& request, int navigationType) = 0;

  // The command dispatcher: `parameters` is the query text of the page's URL
  // (values as they stood in the URL); `fullUrl` is not used.
  virtual void handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                                   const std::optional<std::string>& fullUrl) = 0;
  // The same for an answer the native side makes in the page's place (the
  // fallback controller): `parameters` is the flat dictionary of texts that
  // the query would have parsed to, so a value holding "&" or "=" stays whole.
  // Runs on the thread that sent the command.
  virtual void handlePlovermarkCallbackWithCommand(const std::string& command, const platform::Json& parameters) = 0;

  // The hidden web view that runs the controller page; null until made.
  virtual std::shared_ptr<PMWVWKWebView> webViewController() const = 0;
  // The init parameters given at creation (an object; its "sessionid" goes
  // to the page). Any thread.
  virtual platform::Json getSDKInitParams() const = 0;
};
