#pragma once
// The network calls of a script context: "sendUrl" (a ping) and
// "downloadJavaScriptResource" on the context's "omidNative" object, and the
// download and injection of a native session's verification scripts.
//
// Each call reads its URL from the first argument's text; a text that is no
// URL does nothing (neither callback runs). Completions run on the invoker's
// queue; once the invoker or the bridge is gone they do nothing.
#include <memory>
#include <optional>
#include <string>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "platform/result.h"
#include "platform/script/script_context.h"

class OMIDQuilbrnJSNetworkBridge : public std::enable_shared_from_this<OMIDQuilbrnJSNetworkBridge> {
 public:
  static std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge();

  void setJsInvoker(const std::shared_ptr<OMIDQuilbrnJSInvoker>& invoker) { jsInvoker_ = invoker; }
  // Defines "sendUrl" and "downloadJavaScriptResource" on `object` (each holds
  // the bridge weakly).
  void setupMethodsForJSObject(platform::ScriptContext& context, const platform::ScriptValue& object);

  // A ping: the failure callback (no argument) on a transport error, else the
  // success callback. The HTTP status is not examined.
  void sendURL(const std::optional<std::string>& url, const platform::ScriptValue& successCallback,
               const platform::ScriptValue& failureCallback);
  // A text download: the success callback with the text (an empty body is
  // the empty text), or the failure callback with a code: getOMIDError of the
  // error (a status outside 200-299 gives 1), 2 for a body that is not UTF-8.
  void downloadJavaScriptResourceWithURL(const std::optional<std::string>& url,
                                         const platform::ScriptValue& successCallback,
                                         const platform::ScriptValue& failureCallback);
  // Downloads a verification script and runs it wrapped
  // (wrappedVerificationScript) with its injection identifier. A failed
  // download (a status outside 200-299 included) runs nothing and is logged.
  void injectJavaScriptFromURL(const std::optional<std::string>& url, const std::string& injectionID);

  // The failure code of a download error: 0 offline (-1009), 1 resource
  // unavailable (-1008), 3 any other.
  static int getOMIDError(const platform::Error& error);
  // The script as it runs: inside a function called with the global object,
  // between the prologue that sets omidVerificationProperties.injectionId and
  // the epilogue that deletes it, each on a line of its own (so a script that
  // ends in a line comment keeps the epilogue).
  static std::string wrappedVerificationScript(const std::string& script, const std::string& injectionID);
  // The URL of a script argument's text; none when it is no URL.
  static std::optional<std::string> URLFromArgument(const platform::ScriptValue& argument);

 private:
  OMIDQuilbrnJSNetworkBridge() = default;
  std::weak_ptr<OMIDQuilbrnJSInvoker> jsInvoker_;
};
