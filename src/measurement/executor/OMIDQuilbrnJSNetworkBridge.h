#pragma once
// The network calls of a script context: "sendUrl" (a ping) and
// "downloadJavaScriptResource" on the context's "omidNative" object, and the
// download and injection of a native session's verification scripts.
//
// Each call reads its URL from the first argument's text; a text that is no
// URL does nothing (neither callback runs). Completions run on the invoker's
// queue; once the invoker or the bridge is gone they do nothing.
//
// What the scripts make the network do is bounded and charged: every answer
// (a callback of sendUrl or downloadJavaScriptResource, a verification
// script) runs as a charged task of the invoker, which also pays
// kRequestNetworkCostMs for the transfer on the URL session's I/O thread; and
// at most kMaxRequestsInFlight requests of the scripts are out at once. A
// request past that bound is not sent: its failure callback runs later, as a
// charged task, as for a request that failed (a download's with code 3). Once
// the context is torn down, answers run nothing.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "measurement/executor/OMIDQuilbrnJSExecutor.h"
#include "platform/result.h"
#include "platform/script/script_context.h"

class OMIDQuilbrnJSNetworkBridge : public std::enable_shared_from_this<OMIDQuilbrnJSNetworkBridge> {
 public:
  // Requests of the scripts (sendUrl, downloadJavaScriptResource) out at once.
  static constexpr size_t kMaxRequestsInFlight = 32;
  // What one request costs the URL session's I/O thread, in milliseconds of
  // processor time: up to 0.043 ms measured for a ping, refused or answered
  // on the loopback (bench/web_view_hostile_bench.cc), rounded up.
  static constexpr double kRequestNetworkCostMs = 0.05;
  // The failure code a download refused past the bound hears.
  static constexpr int kRefusedRequestCode = 3;

  static std::shared_ptr<OMIDQuilbrnJSNetworkBridge> networkBridge();

  void setJsInvoker(const std::shared_ptr<OMIDQuilbrnJSInvoker>& invoker) { jsInvoker_ = invoker; }
  // Defines "sendUrl" and "downloadJavaScriptResource" on `object` (each holds
  // the bridge weakly).
  void setupMethodsForJSObject(platform::ScriptContext& context, const platform::ScriptValue& object);

  // On the invoker's queue (the script calls them).
  //
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
  // Any thread. Downloads a verification script and runs it wrapped
  // (wrappedVerificationScript) with its injection identifier. A failed
  // download (a status outside 200-299 included) runs nothing and is logged.
  // The session's own resources: not held to kMaxRequestsInFlight.
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

  // On the invoker's queue: the scripts' requests sent and not yet answered.
  size_t requestsInFlight() const { return requestsInFlight_; }

 private:
  // What runs when a request of the scripts is answered (or refused).
  using Answer = std::function<void(OMIDQuilbrnJSInvoker& invoker)>;

  OMIDQuilbrnJSNetworkBridge() = default;
  // On the invoker's queue: whether a request of the scripts may go out now
  // (counted in flight when it may). When it may not, `refused` runs later as
  // a charged task.
  bool admitRequest(OMIDQuilbrnJSInvoker& invoker, Answer refused);
  // The answer of a request that went out: a charged task of the invoker that
  // also pays the transfer. `counted`: a request of the scripts, in flight
  // until now.
  static void answered(const std::weak_ptr<OMIDQuilbrnJSNetworkBridge>& weak, bool counted, const Answer& answer);

  std::weak_ptr<OMIDQuilbrnJSInvoker> jsInvoker_;
  size_t requestsInFlight_ = 0;  // the invoker's queue
  bool refusalLogged_ = false;
};
