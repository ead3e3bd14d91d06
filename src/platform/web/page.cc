#include "platform/web/page.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/script/engine_objects.h"
#include "platform/script/js_engine.h"
#include "platform/web/html.h"
#include "platform/web/url.h"
#include "platform/web/web_text.h"

namespace platform::web_internal {

using namespace script_internal;

namespace {

// ---- the web log ----

std::mutex& sinkMutex() {
  static std::mutex& m = *new std::mutex;
  return m;
}
WebLogSink& sink() {
  static WebLogSink& s = *new WebLogSink;
  return s;
}

// A page's binary string (each UTF-16 unit one byte) as bytes; none when a
// unit is above 0xFF.
std::optional<std::string> binaryArg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i) {
  if (i >= argc) return std::string();
  JsString s(JSValueToStringCopy(ctx, argv[i], nullptr));
  if (!s.get()) return std::string();
  const size_t length = JSStringGetLength(s.get());
  const JSChar* units = JSStringGetCharactersPtr(s.get());
  std::string bytes(length, '\0');
  for (size_t k = 0; k < length; ++k) {
    if (units[k] > 0xFF) return std::nullopt;
    bytes[k] = static_cast<char>(units[k]);
  }
  return bytes;
}

// Bytes as a page's binary string.
JSValueRef makeBinaryString(JSContextRef ctx, const std::string& bytes) {
  std::vector<JSChar> units(bytes.size());
  for (size_t k = 0; k < bytes.size(); ++k) units[k] = static_cast<unsigned char>(bytes[k]);
  JsString s(JSStringCreateWithCharacters(units.data(), units.size()));
  return JSValueMakeString(ctx, s.get());
}

JSClassRef globalClass() {
  static JSClassRef cls = createNamedEmptyClass("Window");
  return cls;
}

}  // namespace

void webLog(WebLogLevel level, const std::string& line) {
  WebLogSink s;
  {
    std::lock_guard lock(sinkMutex());
    s = sink();
  }
  if (s) {
    s(level, line);
    return;
  }
  static const char* kNames[] = {"debug", "info", "warning", "error"};
  std::fprintf(stderr, "[web %s] %s\n", kNames[static_cast<int>(level)], line.c_str());
}

void webLog(LineRateLimit& limit, WebLogLevel level, const std::string& line, bool always) {
  if (always) {
    webLog(level, limit.admitAlways(line));
  } else if (auto admitted = limit.admit(line)) {
    webLog(level, *admitted);
  }
}

std::string shownURL(std::string_view url) {
  constexpr size_t kShown = 256;
  if (url.size() <= kShown) return std::string(url);
  size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(url[cut]) & 0xC0) == 0x80) --cut;
  return std::string(url.substr(0, cut)) + "...";
}

// ---- native functions the bootstrap script receives ----

struct Page::Natives {
  static Page* pageOf(JSContextRef ctx) {
    auto* page = static_cast<Page*>(JSObjectGetPrivate(JSContextGetGlobalObject(ctx)));
    return page && !page->overBound_ && !page->isStopped() ? page : nullptr;
  }

#define QB_NATIVE(name)                                                                                 \
  static JSValueRef name(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc, const JSValueRef argv[], \
                         JSValueRef* exception)

  QB_NATIVE(log) {
    (void)exception;
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeUndefined(ctx);
    const int level = intArg(ctx, argc, argv, 0);
    page->log(static_cast<WebLogLevel>(level < 0 || level > 3 ? 1 : level), stringArg(ctx, argc, argv, 1));
    return JSValueMakeUndefined(ctx);
  }

  QB_NATIVE(reportException) {
    (void)exception;
    Page* page = pageOf(ctx);
    if (page && argc > 0) page->logUncaught("Uncaught " + describeException(ctx, argv[0], nullptr));
    return JSValueMakeUndefined(ctx);
  }

  // setTimer(id, delay, repeat): false (no timer) when the page holds
  // kMaxPageLiveTimers live timers already.
  QB_NATIVE(setTimer) {
    (void)exception;
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeBoolean(ctx, false);
    if (page->timers_.size() >= kMaxPageLiveTimers) {
      if (!page->timerCapLogged_) {
        page->timerCapLogged_ = true;
        page->log(WebLogLevel::Warning, "The page " + page->url_ + " asked for more than " +
                                            std::to_string(kMaxPageLiveTimers) + " live timers; further ones are refused");
      }
      return JSValueMakeBoolean(ctx, false);
    }
    const int id = intArg(ctx, argc, argv, 0);
    const double delay = argc > 1 ? JSValueToNumber(ctx, argv[1], nullptr) : 0;
    const bool repeat = argc > 2 && JSValueToBoolean(ctx, argv[2]);
    std::weak_ptr<Page> weak = page->weak_from_this();
    Block fire = [weak, id] {
      if (auto p = weak.lock()) p->fireTimer(id);
    };
    page->timers_[id] = repeat ? Timer::repeating(page->queue_, delay, std::move(fire))
                               : Timer::once(page->queue_, delay, std::move(fire));
    return JSValueMakeBoolean(ctx, true);
  }

  QB_NATIVE(clearTimer) {
    (void)exception;
    if (Page* page = pageOf(ctx)) page->timers_.erase(intArg(ctx, argc, argv, 0));
    return JSValueMakeUndefined(ctx);
  }

  static JSValueRef navigation(JSContextRef ctx, size_t argc, const JSValueRef argv[], JSValueRef* exception,
                               bool newWindow) {
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeUndefined(ctx);
    const std::string given = stringArg(ctx, argc, argv, 0);
    const auto type = static_cast<NavigationType>(intArg(ctx, argc, argv, 1));
    if (newWindow && given.empty()) {
      page->client_.pageOpensWindow("", type);
      return JSValueMakeUndefined(ctx);
    }
    auto url = page->resolve(given);
    if (!url) {
      throwError(ctx, exception, "Invalid URL: " + given);
      return JSValueMakeUndefined(ctx);
    }
    if (newWindow) page->client_.pageOpensWindow(*url, type);
    else page->client_.pageNavigates(*url, type);
    return JSValueMakeUndefined(ctx);
  }
  QB_NATIVE(navigate) { return navigation(ctx, argc, argv, exception, false); }
  QB_NATIVE(openWindow) { return navigation(ctx, argc, argv, exception, true); }

  QB_NATIVE(resolve) {
    (void)exception;
    Page* page = pageOf(ctx);
    const std::string given = stringArg(ctx, argc, argv, 0);
    auto url = page ? page->resolve(given) : std::nullopt;
    return makeString(ctx, url ? *url : given);
  }

  static JSValueRef dropMessage(JSContextRef ctx, Page& page, const std::string& name, size_t bytes) {
    page.log(WebLogLevel::Error, "Message to \"" + name + "\" dropped: " + std::to_string(bytes) +
                                     " bytes, more than the cap of " + std::to_string(kMaxScriptMessageBytes));
    return JSValueMakeUndefined(ctx);
  }

  QB_NATIVE(postMessage) {
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeUndefined(ctx);
    const std::string name = stringArg(ctx, argc, argv, 0);
    Json body;  // undefined and values without a JSON form post null
    size_t bytes = 4;
    if (argc > 1 && JSValueIsString(ctx, argv[1])) {
      // The common case, taken without a JSON round trip.
      JsString text(JSValueToStringCopy(ctx, argv[1], nullptr));
      bytes = JSStringGetLength(text.get()) + 2;
      if (bytes <= kMaxScriptMessageBytes) {
        body = toStd(text.get());
        bytes = body.get_ref<const std::string&>().size() + 2;
      }
      if (bytes > kMaxScriptMessageBytes) return dropMessage(ctx, *page, name, bytes);
    } else if (argc > 1 && !JSValueIsUndefined(ctx, argv[1])) {
      JsString json(JSValueCreateJSONString(ctx, argv[1], 0, exception));
      if (*exception) return JSValueMakeUndefined(ctx);  // a cycle, a throwing toJSON: the page's own error
      if (json.get()) {
        // UTF-8 takes at least one byte per UTF-16 unit: a body over the cap in
        // units is dropped before it is converted.
        bytes = JSStringGetLength(json.get());
        std::string text;
        if (bytes <= kMaxScriptMessageBytes) {
          text = toStd(json.get());
          bytes = text.size();
        }
        if (bytes > kMaxScriptMessageBytes) return dropMessage(ctx, *page, name, bytes);
        auto parsed = parseJson(text);
        if (!parsed) {
          page->log(WebLogLevel::Error, "Message to \"" + name + "\" dropped: " + parsed.error().message);
          return JSValueMakeUndefined(ctx);
        }
        body = std::move(parsed.value());
      }
    }
    if (!page->client_.pagePostsMessage(name, std::move(body))) page->overBound();
    return JSValueMakeUndefined(ctx);
  }

  QB_NATIVE(btoa) {
    auto bytes = binaryArg(ctx, argc, argv, 0);
    if (!bytes) {
      throwError(ctx, exception, "The string contains characters outside of the Latin1 range.", "InvalidCharacterError");
      return JSValueMakeUndefined(ctx);
    }
    return makeString(ctx, pageBase64Encode(*bytes));
  }

  QB_NATIVE(atob) {
    auto text = binaryArg(ctx, argc, argv, 0);
    auto bytes = text ? pageBase64Decode(*text) : std::nullopt;
    if (!bytes) {
      throwError(ctx, exception, "The string is not correctly encoded.", "InvalidCharacterError");
      return JSValueMakeUndefined(ctx);
    }
    return makeBinaryString(ctx, *bytes);
  }

  // document.write: the markup parsed as a document; answers "1" (its nodes
  // go into the document being loaded, its scripts run next) or "0" (it
  // replaces the document, its scripts run after the writing script), then
  // its element tree.
  QB_NATIVE(write) {
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeUndefined(ctx);
    (void)exception;
    const std::string markup = stringArg(ctx, argc, argv, 0);
    // Markup the parser does not take stops the page: a page that could
    // catch the refusal would write it again and again.
    if (markup.size() > kMaxWebResourceBytes) {
      page->refuseMarkup("more than " + std::to_string(kMaxWebResourceBytes) + " bytes");
      return JSValueMakeUndefined(ctx);
    }
    auto parsed = parseHtml(markup, [page] { return page->isInterrupted(); });
    if (!parsed.document) {
      if (!parsed.interrupted) page->refuseMarkup(parsed.reason);
      return JSValueMakeUndefined(ctx);
    }
    const bool inserted = page->client_.pageWritesDocument(std::move(parsed.document->scripts));
    return makeString(ctx, (inserted ? "1" : "0") + parsed.document->treeJson);
  }

  // fetch(id, url): false when the fetch is refused at once (the page has
  // as many waiting for their answer as it may); the promise then rejects.
  QB_NATIVE(fetch) {
    (void)exception;
    Page* page = pageOf(ctx);
    const bool queued =
        page && page->client_.pageFetches(intArg(ctx, argc, argv, 0), stringArg(ctx, argc, argv, 1));
    return JSValueMakeBoolean(ctx, queued);
  }

  // navigator.sendBeacon(url, hasBody, body): true when the beacon is on its
  // way. Only http(s) URLs (resolved against the page) and bodies up to
  // kMaxBeaconBodyBytes are sent; a refusal is logged.
  QB_NATIVE(sendBeacon) {
    (void)exception;
    Page* page = pageOf(ctx);
    if (!page) return JSValueMakeBoolean(ctx, false);
    const std::string given = stringArg(ctx, argc, argv, 0);
    const auto url = page->resolve(given);
    const std::string scheme = url ? urlScheme(*url) : "";
    if (scheme != "http" && scheme != "https") {
      page->logRepeated("Beacon: URL", "Beacon to " + shownURL(given) + " refused: " +
                             (url ? "only http and https URLs are sent" : "not a valid URL"),
                        WebLogLevel::Warning);
      return JSValueMakeBoolean(ctx, false);
    }
    std::optional<std::string> body;
    if (argc > 2 && JSValueToBoolean(ctx, argv[1])) {
      JsString text(JSValueToStringCopy(ctx, argv[2], nullptr));
      // UTF-8 takes at least one byte per UTF-16 unit: a body over the bound
      // in units is refused before it is converted.
      size_t bytes = text.get() ? JSStringGetLength(text.get()) : 0;
      if (bytes <= kMaxBeaconBodyBytes) {
        body = text.get() ? toStd(text.get()) : std::string();
        bytes = body->size();
      }
      if (bytes > kMaxBeaconBodyBytes) {
        page->logRepeated("Beacon: body", "Beacon to " + shownURL(*url) + " refused: a body of " + std::to_string(bytes) +
                                              " bytes, more than " + std::to_string(kMaxBeaconBodyBytes),
                          WebLogLevel::Warning);
        return JSValueMakeBoolean(ctx, false);
      }
    }
    return JSValueMakeBoolean(ctx, page->client_.pageSendsBeacon(*url, std::move(body)));
  }
#undef QB_NATIVE
};

// ---- Page ----

Page::Page(PageClient& client, std::string url, uint64_t generation)
    : client_(client), url_(std::move(url)), generation_(generation) {
  engine::countMade(engine::LiveObject::WebPage, generation_);
}

std::shared_ptr<Page> Page::create(PageClient& client, const Setup& setup) {
  std::shared_ptr<Page> page(new Page(client, setup.url, setup.generation));
  if (!page->setUp(setup)) return nullptr;
  return page;
}

bool Page::setUp(const Setup& setup) {
  engine::configureEngineOnce();
  queue_ = setup.queue;
  budget_ = setup.budget;
  logLimit_ = setup.logLimit ? setup.logLimit : std::make_shared<LineRateLimit>(kWebLogLinesPerSecond, kWebLogBurstLines);
  group_ = JSContextGroupCreate();
  guard_ = std::make_unique<engine::EntryGuard>(group_, setup.limits);
  context_ = JSGlobalContextCreateInGroup(group_, globalClass());
  JSObjectRef global = JSContextGetGlobalObject(context_);
  JSObjectSetPrivate(global, this);

  JSObjectRef natives = JSObjectMake(context_, nullptr, nullptr);
  const std::pair<const char*, JSObjectCallAsFunctionCallback> functions[] = {
      {"log", &Natives::log},           {"reportException", &Natives::reportException},
      {"setTimer", &Natives::setTimer}, {"clearTimer", &Natives::clearTimer},
      {"navigate", &Natives::navigate}, {"openWindow", &Natives::openWindow},
      {"resolve", &Natives::resolve},
      {"postMessage", &Natives::postMessage}, {"fetch", &Natives::fetch},
      {"atob", &Natives::atob},         {"btoa", &Natives::btoa},
      {"write", &Natives::write},       {"sendBeacon", &Natives::sendBeacon},
  };
  for (const auto& [name, callback] : functions) {
    JsString n{std::string(name)};
    JSObjectSetProperty(context_, natives, n.get(), JSObjectMakeFunctionWithCallback(context_, n.get(), callback),
                        kJSPropertyAttributeReadOnly, nullptr);
  }

  Json location = Json::object();
  auto c = urlComponents(url_);
  const std::string scheme = c ? c->scheme : "about";
  const std::string host = c ? c->host + (c->port.empty() ? "" : ":" + c->port) : "";
  const bool web = scheme == "http" || scheme == "https";
  location["href"] = url_;
  location["protocol"] = scheme + ":";
  location["host"] = host;
  location["hostname"] = c ? c->host : "";
  location["port"] = c ? c->port : "";
  location["pathname"] = c ? (c->path.empty() && web ? "/" : c->path) : "blank";
  location["search"] = c && c->hasQuery && !c->query.empty() ? "?" + c->query : "";
  location["hash"] = c && c->hasFragment && !c->fragment.empty() ? "#" + c->fragment : "";
  location["origin"] = web ? scheme + "://" + host : "null";

  JSValueRef exception = nullptr;
  JsString source{std::string(kPageBootstrapScript)};
  JsString sourceURL{std::string("page-bootstrap")};
  JSValueRef factory = JSEvaluateScript(context_, source.get(), nullptr, sourceURL.get(), 1, &exception);
  JSObjectRef factoryObject = factory ? JSValueToObject(context_, factory, nullptr) : nullptr;
  JSValueRef hooks = nullptr;
  if (factoryObject) {
    JSValueRef args[] = {natives, makeString(context_, dumpJson(location))};
    hooks = JSObjectCallAsFunction(context_, factoryObject, nullptr, 2, args, &exception);
  }
  if (!hooks || exception || !JSValueIsObject(context_, hooks) || isStopped()) {
    webLog(WebLogLevel::Error, "The page could not be set up: " +
                                   (exception ? describeException(context_, exception, nullptr) : std::string("?")));
    return false;
  }
  hooks_ = JSValueToObject(context_, hooks, nullptr);
  JSValueProtect(context_, hooks_);
  auto hook = [this](const char* name) { return JSValueToObject(context_, property(context_, hooks_, name), nullptr); };
  fireTimerHook_ = hook("fireTimer");
  buildDocumentHook_ = hook("buildDocument");
  setReadyStateHook_ = hook("setReadyState");
  dispatchHook_ = hook("dispatch");
  settleFetchHook_ = hook("settleFetch");
  setHandlersHook_ = hook("setHandlers");
  return true;
}

Page::~Page() {
  timers_.clear();
  if (context_) {
    JSObjectSetPrivate(JSContextGetGlobalObject(context_), nullptr);
    if (hooks_) JSValueUnprotect(context_, hooks_);
    JSGlobalContextRelease(context_);
  }
  if (group_) JSContextGroupRelease(group_);
  // Counted until the engine's objects are gone, not only the page.
  engine::countReleased(engine::LiveObject::WebPage, generation_);
}

std::optional<std::string> Page::resolve(const std::string& reference) const { return resolveURL(url_, reference); }

void Page::log(WebLogLevel level, const std::string& line, bool always) { webLog(*logLimit_, level, line, always); }

void Page::logRepeated(const std::string& kind, const std::string& line, WebLogLevel level) {
  if (auto admitted = repeatedLines_.admit(kind, line)) log(level, *admitted);
}

bool Page::enter() {
  if (!guard_->begin()) {
    report();
    return false;
  }
  const uint64_t version = client_.messageHandlersVersion();
  if (version != handlersVersion_ && setHandlersHook_) {
    handlersVersion_ = version;
    Json names = Json::array();
    for (auto& name : client_.messageHandlerNames()) names.push_back(std::move(name));
    JSValueRef arg = makeString(context_, dumpJson(names));
    guard_->run(context_, [&] { JSObjectCallAsFunction(context_, setHandlersHook_, nullptr, 1, &arg, nullptr); });
  }
  if (!isStopped()) return true;
  leave();
  return false;
}

void Page::leave() {
  guard_->end();
  report();
}

void Page::report() {
  const engine::StopReason reason = guard_->stopReason();
  if (reason == engine::StopReason::None || reported_) return;
  reported_ = true;
  timers_.clear();
  const auto& limits = guard_->limits();
  // The stop is written whatever the bound of lines (once per page).
  std::string line;
  switch (reason) {
    case engine::StopReason::TimeLimit:
      line = overBudget_ ? "The page " + url_ + " kept its web-content queue busy past its budget (" +
                               std::to_string(static_cast<int64_t>(budget_->burstMs())) +
                               " ms of processor time beyond " +
                               std::to_string(static_cast<int>(budget_->share() * 100)) +
                               "% of the time passed) and was stopped"
                         : "A script of " + url_ + " ran longer than " +
                               std::to_string(static_cast<int64_t>(limits.timeLimitMs)) + " ms and was stopped";
      break;
    case engine::StopReason::MemoryLimit:
      line = "The scripts of " + url_ + " held more than " + std::to_string(limits.memoryLimitBytes) +
             " bytes of memory and were stopped";
      break;
    case engine::StopReason::PendingLimit:
      line = "The page " + url_ + " posted more messages than wait for delivery at once (" +
             std::to_string(kMaxPendingScriptMessages) + " messages, " +
             std::to_string(kMaxPendingScriptMessageBytes) + " bytes) and was stopped";
      break;
    case engine::StopReason::WorkLimit:
      line = "The page " + url_ + " wrote markup the parser does not take (" + markupRefusal_ + ") and was stopped";
      break;
    case engine::StopReason::Interrupted:
    case engine::StopReason::None:
      break;
  }
  if (!line.empty()) log(WebLogLevel::Error, line, true);
  client_.pageStopped(reason);
}

void Page::overBound() {
  if (overBound_) return;
  overBound_ = true;
  guard_->requestStop(engine::StopReason::PendingLimit);
}

void Page::refuseMarkup(const std::string& reason) {
  if (overBound_) return;
  overBound_ = true;
  markupRefusal_ = reason;
  guard_->requestStop(engine::StopReason::WorkLimit);
}

void Page::callHook(JSObjectRef hook, std::initializer_list<JSValueRef> args) {
  if (!hook || !enter()) return;
  std::vector<JSValueRef> argv(args);
  std::string uncaught;
  guard_->run(context_, [&] {
    JSValueRef exception = nullptr;
    JSObjectCallAsFunction(context_, hook, nullptr, argv.size(), argv.data(), &exception);
    uncaught = uncaughtLine(exception);
  });
  if (!uncaught.empty() && !isStopped()) logUncaught(uncaught);
  leave();
}

std::string Page::uncaughtLine(JSValueRef exception) {
  if (!exception || isStopped()) return {};
  return "Uncaught " + describeException(context_, exception, nullptr);
}

void Page::chargeHostText(size_t utf8Bytes) { guard_->chargeHostBytes(context_, engine::hostTextBytes(utf8Bytes)); }

void Page::buildDocument(const std::string& treeJson) {
  chargeHostText(treeJson.size());
  callHook(buildDocumentHook_, {makeString(context_, treeJson)});
}

void Page::runScript(const std::string& source, const std::string& sourceURL, int line) {
  if (!enter()) return;
  JsString s(source);
  JsString url(sourceURL);
  std::string uncaught;
  guard_->run(context_, [&] {
    JSValueRef exception = nullptr;
    JSEvaluateScript(context_, s.get(), nullptr, url.get(), line, &exception);
    uncaught = uncaughtLine(exception);
  });
  if (!uncaught.empty() && !isStopped()) logUncaught(uncaught);
  leave();
}

void Page::setReadyState(const char* state) {
  callHook(setReadyStateHook_, {makeString(context_, state)});
}

void Page::dispatchEvent(const char* target, const char* type) {
  callHook(dispatchHook_, {makeString(context_, target), makeString(context_, type)});
}

void Page::fireTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (!it->second->isValid()) timers_.erase(it);  // a one-shot timer that fired
  ProcessorBudget::Task tick(budget_.get());
  callHook(fireTimerHook_, {JSValueMakeNumber(context_, id)});
  if (!tick.finish()) stopOverBudget();
}

void Page::stopOverBudget() {
  if (isStopped()) return;
  overBudget_ = true;
  guard_->stopBetweenEntries(engine::StopReason::TimeLimit);
  report();
}

void Page::settleFetch(int fetchId, const std::optional<std::string>& text, const std::string& url) {
  chargeHostText((text ? text->size() : 0) + url.size());
  callHook(settleFetchHook_, {JSValueMakeNumber(context_, fetchId), JSValueMakeBoolean(context_, text.has_value()),
                              makeString(context_, text.value_or("")), makeString(context_, url)});
}

Error Page::stoppedError(engine::StopReason reason) {
  switch (reason) {
    case engine::StopReason::TimeLimit:
      return Error{kWebErrorDomain, WebErrorCode::ScriptTimeLimit, "the script ran past the time limit"};
    case engine::StopReason::MemoryLimit:
      return Error{kWebErrorDomain, WebErrorCode::ResourceLimit, "the page held more memory than it may"};
    case engine::StopReason::PendingLimit:
      return Error{kWebErrorDomain, WebErrorCode::ResourceLimit, "the page posted more messages than may wait"};
    case engine::StopReason::WorkLimit:
      return Error{kWebErrorDomain, WebErrorCode::ResourceLimit, "the page wrote markup the parser does not take"};
    case engine::StopReason::Interrupted:
    case engine::StopReason::None:
      break;
  }
  return Error{kWebErrorDomain, WebErrorCode::ContentTerminated, "the page's content was torn down"};
}

ScriptEvaluation Page::evaluate(const std::string& script) {
  ScriptEvaluation out;
  if (!enter()) {
    out.error = stoppedError(stopReason());
    return out;
  }
  JsString s(script);
  bool threw = false;
  std::string text;
  // The value's JSON form and the exception's text and line may run the
  // page's code (toJSON, a getter, toString): inside the entry.
  guard_->run(context_, [&] {
    JSValueRef exception = nullptr;
    JSValueRef value = JSEvaluateScript(context_, s.get(), nullptr, nullptr, 1, &exception);
    if (!exception && !isStopped() && value && !JSValueIsUndefined(context_, value)) {
      auto parsed = valueToJson(context_, value, &exception);
      if (parsed) out.value = std::move(parsed.value());
      else if (!exception) out.error = Error{kWebErrorDomain, WebErrorCode::UnsupportedResultType, "the result has no JSON form"};
    }
    if (exception && !isStopped()) {
      threw = true;
      text = toStd(context_, exception);
      describeException(context_, exception, &out.line);
    }
  });
  if (isStopped()) {
    out.value = nullptr;
    out.line = 0;
    out.error = stoppedError(stopReason());
  } else if (threw) {
    out.value = nullptr;
    out.error = Error{kWebErrorDomain, WebErrorCode::JavaScriptException, text};
  }
  leave();
  return out;
}

}  // namespace platform::web_internal

namespace platform {

WebLogSink setWebLogSink(WebLogSink newSink) {
  std::lock_guard lock(web_internal::sinkMutex());
  return std::exchange(web_internal::sink(), std::move(newSink));
}

}  // namespace platform
