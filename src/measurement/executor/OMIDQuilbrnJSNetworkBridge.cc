#include "measurement/executor/OMIDQuilbrnJSNetworkBridge.h"

#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "platform/net.h"
#include "platform/script/script_literal.h"
#include "platform/web/url.h"

using platform::ScriptContext;
using platform::ScriptValue;

std::shared_ptr<OMIDQuilbrnJSNetworkBridge> OMIDQuilbrnJSNetworkBridge::networkBridge() {
  return std::shared_ptr<OMIDQuilbrnJSNetworkBridge>(new OMIDQuilbrnJSNetworkBridge);
}

void OMIDQuilbrnJSNetworkBridge::setupMethodsForJSObject(ScriptContext& context, const ScriptValue& object) {
  std::weak_ptr<OMIDQuilbrnJSNetworkBridge> weak = weak_from_this();
  auto argument = [](const ScriptContext::Arguments& arguments, size_t i) {
    return i < arguments.size() ? arguments[i] : ScriptValue();
  };
  context.defineFunction<OMIDQuilbrnJSNetworkBridge>(
      object, "sendUrl", weak, [argument](OMIDQuilbrnJSNetworkBridge& bridge, const ScriptContext::Arguments& a) {
        bridge.sendURL(URLFromArgument(argument(a, 0)), argument(a, 1), argument(a, 2));
        return ScriptValue();
      });
  context.defineFunction<OMIDQuilbrnJSNetworkBridge>(
      object, "downloadJavaScriptResource", weak,
      [argument](OMIDQuilbrnJSNetworkBridge& bridge, const ScriptContext::Arguments& a) {
        bridge.downloadJavaScriptResourceWithURL(URLFromArgument(argument(a, 0)), argument(a, 1), argument(a, 2));
        return ScriptValue();
      });
}

std::optional<std::string> OMIDQuilbrnJSNetworkBridge::URLFromArgument(const ScriptValue& argument) {
  std::string text = argument.toString();
  if (!platform::isValidURL(text)) return std::nullopt;
  return text;
}

bool OMIDQuilbrnJSNetworkBridge::admitRequest(OMIDQuilbrnJSInvoker& invoker, Answer refused) {
  invoker.assertOnJavaScriptQueue();
  if (requestsInFlight_ < kMaxRequestsInFlight) {
    ++requestsInFlight_;
    return true;
  }
  if (!refusalLogged_) {
    refusalLogged_ = true;
    invoker.logLine("a measurement script asked for more than " + std::to_string(kMaxRequestsInFlight) +
                        " requests in flight; further ones are not sent (their failure callbacks run)",
                    3);
  }
  std::weak_ptr<OMIDQuilbrnJSNetworkBridge> weak = weak_from_this();
  invoker.dispatchQueue()->async([weak, refused = std::move(refused)] {
    auto self = weak.lock();
    auto invoker = self ? self->jsInvoker_.lock() : nullptr;
    if (invoker) invoker->runChargedTask([&] { refused(*invoker); }, 0);
  });
  return false;
}

void OMIDQuilbrnJSNetworkBridge::answered(const std::weak_ptr<OMIDQuilbrnJSNetworkBridge>& weak, bool counted,
                                          const Answer& answer) {
  auto self = weak.lock();
  auto invoker = self ? self->jsInvoker_.lock() : nullptr;
  if (!invoker) return;
  if (counted) --self->requestsInFlight_;
  invoker->runChargedTask([&] { answer(*invoker); }, kRequestNetworkCostMs);
}

void OMIDQuilbrnJSNetworkBridge::sendURL(const std::optional<std::string>& url, const ScriptValue& successCallback,
                                         const ScriptValue& failureCallback) {
  auto invoker = jsInvoker_.lock();
  if (!url || !invoker) return;
  if (!admitRequest(*invoker, [failureCallback](OMIDQuilbrnJSInvoker& i) { i.invokeCallback(failureCallback); })) {
    return;
  }
  OMIDQuilbrnLoadTask::taskToSendPingToURL(
      *url, invoker->dispatchQueue(),
      [weak = weak_from_this(), successCallback, failureCallback](const std::optional<std::string>&,
                                                                  const std::optional<platform::Error>& error) {
        answered(weak, true,
                 [&](OMIDQuilbrnJSInvoker& i) { i.invokeCallback(error ? failureCallback : successCallback); });
      })
      ->start();
}

void OMIDQuilbrnJSNetworkBridge::downloadJavaScriptResourceWithURL(const std::optional<std::string>& url,
                                                                   const ScriptValue& successCallback,
                                                                   const ScriptValue& failureCallback) {
  auto invoker = jsInvoker_.lock();
  if (!url || !invoker) return;
  if (!admitRequest(*invoker, [failureCallback](OMIDQuilbrnJSInvoker& i) {
        i.invokeCallback(failureCallback, kRefusedRequestCode);
      })) {
    return;
  }
  OMIDQuilbrnLoadTask::taskToLoadStringFromURL(
      *url, 1, invoker->dispatchQueue(),
      [weak = weak_from_this(), successCallback, failureCallback](const std::optional<std::string>& text,
                                                                  const std::optional<platform::Error>& error) {
        answered(weak, true, [&](OMIDQuilbrnJSInvoker& i) {
          if (error) i.invokeCallback(failureCallback, getOMIDError(*error));
          else if (!text) i.invokeCallback(failureCallback, 2);
          else i.invokeCallback(successCallback, *text);
        });
      })
      ->start();
}

void OMIDQuilbrnJSNetworkBridge::injectJavaScriptFromURL(const std::optional<std::string>& url,
                                                         const std::string& injectionID) {
  auto invoker = jsInvoker_.lock();
  if (!url || !invoker) return;
  OMIDQuilbrnLoadTask::taskToLoadStringFromURL(
      *url, 1, invoker->dispatchQueue(),
      [weak = weak_from_this(), injectionID, url = *url](const std::optional<std::string>& text,
                                                         const std::optional<platform::Error>& error) {
        answered(weak, false, [&](OMIDQuilbrnJSInvoker& i) {
          if (error || !text) {
            i.logLine("verification script " + url + " not run: " + (error ? error->message : "not UTF-8"), 3);
            return;
          }
          i.invokeScript(wrappedVerificationScript(*text, injectionID));
        });
      })
      ->start();
}

int OMIDQuilbrnJSNetworkBridge::getOMIDError(const platform::Error& error) {
  switch (error.code) {
    case platform::URLErrorCode::NotConnectedToInternet: return 0;
    case platform::URLErrorCode::ResourceUnavailable: return 1;
    default: return 3;
  }
}

std::string OMIDQuilbrnJSNetworkBridge::wrappedVerificationScript(const std::string& script,
                                                                  const std::string& injectionID) {
  return "(function() { this.omidVerificationProperties = this.omidVerificationProperties || {};"
         "this.omidVerificationProperties.injectionId = " +
         platform::scriptStringLiteral(injectionID) + ";\n" + script + "\ndelete this.omidVerificationProperties.injectionId; }).call(this);";
}
