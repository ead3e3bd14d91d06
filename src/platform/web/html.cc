#include "platform/web/html.h"

#include <gumbo.h>

#include <malloc.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/json.h"
#include "platform/web/page.h"
#include "platform/web/parse_watch.h"

// The C library's assertion routine (assert.h declares it only where
// assertions are on).
extern "C" void __assert_fail(const char* assertion, const char* file, unsigned int line,
                              const char* function) noexcept __attribute__((noreturn));

namespace platform::web_internal {

namespace {

std::atomic<bool> scanning{true};
std::atomic<double> parseTimeLimitMs{kHtmlParseTimeLimitMs};
std::atomic<size_t> maxParseBytes{kMaxHtmlParseBytes};
std::atomic<bool> ticking{true};
std::atomic<bool> ticksInParser{true};
std::atomic<unsigned> allocatorLooks{64};

// Tests: told when a parse begins and ends.
std::mutex observerMutex;
std::function<void(const HtmlParseReport&)> parseObserver;
std::atomic<bool> observed{false};

void report(const HtmlParseReport& what) {
  if (!observed.load()) return;
  std::function<void(const HtmlParseReport&)> observer;
  {
    std::lock_guard lock(observerMutex);
    observer = parseObserver;
  }
  if (observer) observer(what);
}

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// A parse that goes without ticks is bounded by its allocator's looks alone
// (one that runs long without allocating can run past its time limit): said
// in the log once for each reason, and each time the application has taken
// the ticks' signal.
void sayWhyWithoutTicks(const ParseTicker& ticker) {
  static std::atomic<unsigned> said{0};
  const auto once = [](TicksOff off) {
    const unsigned bit = 1u << static_cast<unsigned>(off);
    return (said.fetch_or(bit) & bit) == 0;
  };
  const std::string without =
      "): a parse is then bounded by its allocations alone, and one that runs long without allocating may run past "
      "its time limit";
  if (ticker.movedFrom() != 0)
    webLog(WebLogLevel::Warning,
           "The HTML parse ticks' signal " + std::to_string(ticker.movedFrom()) +
               " has had another handler since they took it (the application's): " +
               (ticker.signal() != 0 ? "later parses tick on signal " + std::to_string(ticker.signal())
                                     : std::string("no other signal is free")));
  switch (ticker.off()) {
    case TicksOff::None:
      break;
    case TicksOff::NoFreeSignal:
      if (once(ticker.off()))
        webLog(WebLogLevel::Warning,
               "HTML parses go without ticks (every real-time signal has a handler or is blocked on the parsing "
               "thread" + without);
      break;
    case TicksOff::SignalBlocked:
      if (once(ticker.off()))
        webLog(WebLogLevel::Warning, "HTML parses on a thread that blocks signal " + std::to_string(ticker.signal()) +
                                         " go without ticks (the parse ticks' signal, never unblocked" + without);
      break;
    case TicksOff::NoTimer:
      if (once(ticker.off()))
        webLog(WebLogLevel::Warning, "HTML parses go without ticks (the parse timer could not be made: " +
                                         std::string(std::strerror(ticker.error())) + without);
      break;
  }
}

// gumbo's allocations for one parse. Each block is linked into a list, so a
// parse ended half-way (a long jump out of gumbo, which keeps nothing but its
// allocations) leaves nothing behind. The parse ends
// - from the parse ticks (a signal every kParseTickMs of the thread's
//   processor time while gumbo runs): past its time limit, or once
//   `interrupted` answers true, at once when the tick lands in gumbo's own
//   code, else at gumbo's next call out (the allocator, or a string routine
//   of the C library's: leaveIfDue);
// - from the allocator: past the memory bound, and at every 64th call the
//   same looks as a tick's (a thread the ticks cannot reach);
// - from gumbo's failed assertion (onParserAssertion).
class ParseMemory {
 public:
  enum class End { None, Interrupted, TooLong, TooLarge, ParserFailed };

  explicit ParseMemory(const std::function<bool()>& interrupted)
      : interrupted_(interrupted), startWall_(std::chrono::steady_clock::now()), startCpuMs_(threadCpuMs()) {
    head_.prev = head_.next = &head_;
  }
  // Frees what the parse still holds (its whole output, when it ended).
  ~ParseMemory() { releaseAll(); }
  ParseMemory(const ParseMemory&) = delete;
  ParseMemory& operator=(const ParseMemory&) = delete;

  // Parses, or answers null when the parse was ended (end() says why).
  GumboOutput* parse(const GumboOptions& options, std::string_view html) {
    // Made before the jump point, so it is still there after a jump.
    const ParseTicker ticker(ticking.load() ? kParseTickMs : 0);
    sayWhyWithoutTicks(ticker);
    ticker_ = &ticker;
    // The signal mask is kept too: a tick leaves with its signal blocked.
    if (sigsetjmp(jump_, 1) != 0) {
      current() = nullptr;
      releaseAll();
      return nullptr;
    }
    current() = this;
    GumboOutput* output = gumbo_parse_with_options(&options, html.data(), html.size());
    current() = nullptr;
    return output;
  }
  End end() const { return end_; }
  double processorMs() const { return threadCpuMs() - startCpuMs_; }

  // The parse under way on the calling thread (null: none).
  static ParseMemory*& current() {
    thread_local ParseMemory* parse = nullptr;
    return parse;
  }
  // gumbo failed one of its own assertions: the parse ends here (from
  // onParserAssertion, called by gumbo).
  [[noreturn]] void parserFailed() { stop(End::ParserFailed); }

  // A tick of the parse's thread (onParseTick, in the signal's handler:
  // only what may be done there). `inParser`: the tick interrupted gumbo's
  // own code, which may be left at once.
  void tick(bool inParser) {
    const End why = overdue();
    if (why != End::None && inParser) stop(why);
    if (why != End::None) due_ = 1;  // gumbo's next call out ends it
    ticker_->rearm(kParseTickMs);
  }

  // gumbo called out (a string routine of the C library's): the parse under
  // way on the thread ends here when a tick found it overdue.
  static void leaveIfDue() {
    ParseMemory* parse = current();
    if (parse != nullptr && parse->due_) parse->check();
  }

  static void* allocate(void* self, size_t size) { return static_cast<ParseMemory*>(self)->allocate(size); }
  static void deallocate(void* self, void* p) { static_cast<ParseMemory*>(self)->deallocate(p); }

 private:
  // The list's links, before each block gumbo gets (16 bytes: what malloc
  // aligns to).
  struct alignas(16) Block {
    Block* prev;
    Block* next;
  };

  static double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  }

  // What the process holds for a block: what malloc made usable of it and
  // the header before it, so that the bound is the parse's resident size
  // rather than the sum of what gumbo asked for (many small blocks take
  // twice that and more).
  static size_t footprint(Block* block) { return malloc_usable_size(block) + sizeof(size_t); }

  void* allocate(size_t size) {
    if (due_ || (looks_ != 0 && ++allocations_ % looks_ == 0)) check();
    if (held_ + sizeof(Block) + sizeof(size_t) + size > maxParseBytes_) stop(End::TooLarge);
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) stop(End::TooLarge);
    block->prev = &head_;
    block->next = head_.next;
    head_.next->prev = block;
    head_.next = block;
    held_ += footprint(block);
    return block + 1;
  }

  void deallocate(void* p) {
    if (!p) return;
    Block* block = static_cast<Block*>(p) - 1;
    block->prev->next = block->next;
    block->next->prev = block->prev;
    held_ -= footprint(block);
    std::free(block);
  }

  // Interrupted, or past the time limit. The processor time is read only
  // once the parse has lasted the limit in real time (it cannot have used
  // more than that).
  End overdue() const {
    if (interrupted_ && interrupted_()) return End::Interrupted;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startWall_).count();
    const double limitMs = parseTimeLimitMs.load();
    if (wallMs >= limitMs && threadCpuMs() - startCpuMs_ >= limitMs) return End::TooLong;
    return End::None;
  }

  void check() {
    if (const End why = overdue(); why != End::None) stop(why);
    due_ = 0;
  }

  [[noreturn]] void stop(End why) {
    end_ = why;
    siglongjmp(jump_, 1);
  }

  void releaseAll() {
    while (head_.next != &head_) deallocate(head_.next + 1);
  }

  const std::function<bool()>& interrupted_;
  const size_t maxParseBytes_ = maxParseBytes.load();
  const unsigned looks_ = allocatorLooks.load();
  const ParseTicker* ticker_ = nullptr;
  const std::chrono::steady_clock::time_point startWall_;
  const double startCpuMs_;
  sigjmp_buf jump_{};
  Block head_{};
  size_t held_ = 0;
  uint64_t allocations_ = 0;
  volatile sig_atomic_t due_ = 0;
  End end_ = End::None;
};

// The parse ticks' handler: on a thread with a parse under way, that parse
// looks whether it must end.
void onParseTick(int, siginfo_t*, void* context) {
  ParseMemory* parse = ParseMemory::current();
  if (!parse) return;  // a late tick of a parse that has ended
  const int savedErrno = errno;
  parse->tick(ticksInParser.load(std::memory_order_relaxed) && inParserCode(interruptedAddress(context)));
  errno = savedErrno;
}

// The parser (the distribution's gumbo, built with its assertions on) would
// stop the process with abort() when an assertion of its own fails, as it
// does on some misnested markup ("<table><math><mo><![CDATA[z]]>"). A page
// must not end the application: gumbo's calls of the C library's assertion
// routine come here (redirectParserAssertions: gumbo's own calls, nothing
// else), which ends the parse under way on the thread through the parse's
// own way out. Without one (gumbo called by someone else) the routine goes
// on as the C library's.
[[noreturn]] void onParserAssertion(const char* assertion, const char* file, unsigned int line,
                                    const char* function) {
  if (ParseMemory* parse = ParseMemory::current()) parse->parserFailed();
  __assert_fail(assertion, file, line, function);
}

// gumbo's calls of the C library's string routines come here: the routine,
// then the parse's end when a tick that landed outside gumbo's own code
// found it overdue. (A parse whose time goes to comparing long attributes
// would otherwise wait for a tick that lands in gumbo itself.)
template <typename T>
T thenLeaveIfDue(T value) {
  ParseMemory::leaveIfDue();
  return value;
}

// Once, before the first parse: the ticks' handler and gumbo's calls out.
void watchParses() {
  static std::once_flag once;
  std::call_once(once, [] {
    setParseTickHandler(&onParseTick);
    ParserCall calls[] = {
        {"__assert_fail", reinterpret_cast<void*>(&onParserAssertion)},
        {"strcasecmp", reinterpret_cast<void*>(+[](const char* a, const char* b) {
           return thenLeaveIfDue(strcasecmp(a, b));
         })},
        {"strncasecmp", reinterpret_cast<void*>(+[](const char* a, const char* b, size_t n) {
           return thenLeaveIfDue(strncasecmp(a, b, n));
         })},
        {"strcmp", reinterpret_cast<void*>(+[](const char* a, const char* b) {
           return thenLeaveIfDue(std::strcmp(a, b));
         })},
        {"strncmp", reinterpret_cast<void*>(+[](const char* a, const char* b, size_t n) {
           return thenLeaveIfDue(std::strncmp(a, b, n));
         })},
        {"strlen", reinterpret_cast<void*>(+[](const char* a) { return thenLeaveIfDue(std::strlen(a)); })},
        {"strcpy", reinterpret_cast<void*>(+[](char* a, const char* b) { return thenLeaveIfDue(std::strcpy(a, b)); })},
        {"memcmp", reinterpret_cast<void*>(+[](const void* a, const void* b, size_t n) {
           return thenLeaveIfDue(std::memcmp(a, b, n));
         })},
        {"memcpy", reinterpret_cast<void*>(+[](void* a, const void* b, size_t n) {
           return thenLeaveIfDue(std::memcpy(a, b, n));
         })},
        {"memmove", reinterpret_cast<void*>(+[](void* a, const void* b, size_t n) {
           return thenLeaveIfDue(std::memmove(a, b, n));
         })},
        {"memset", reinterpret_cast<void*>(+[](void* a, int c, size_t n) {
           return thenLeaveIfDue(std::memset(a, c, n));
         })},
    };
    rebindParserCalls(calls, static_cast<int>(std::size(calls)));
    if (!calls[0].bound)
      std::fputs("quillborne: the HTML parser's assertions could not be contained: markup it fails on ends the "
                 "process\n",
                 stderr);
  });
}

// Markup the parser failed on lately (by hash): the same markup again (a page
// that reloads itself) is refused without running the parser into its failed
// assertion again. Nothing is hashed until the parser has failed once.
class FailedMarkup {
 public:
  static FailedMarkup& shared() {
    static FailedMarkup& failed = *new FailedMarkup();
    return failed;
  }
  bool contains(std::string_view html) {
    if (failures_.load() == 0) return false;
    const size_t hash = std::hash<std::string_view>{}(html);
    std::lock_guard lock(mutex_);
    return std::find(hashes_.begin(), hashes_.end(), hash) != hashes_.end();
  }
  void add(std::string_view html) {
    const size_t hash = std::hash<std::string_view>{}(html);
    std::lock_guard lock(mutex_);
    hashes_[failures_++ % hashes_.size()] = hash;
  }
  // Parses that ended on a failed assertion, since the process started.
  uint64_t failures() const { return failures_.load(); }

 private:
  std::mutex mutex_;
  std::array<size_t, 64> hashes_{};
  std::atomic<uint64_t> failures_{0};
};

void refuseAsParserFailure(HtmlParse& out) {
  out.refusal = MarkupRefusal::TooComplex;
  out.parserFailed = true;
  out.reason = "markup the parser fails on";
}

std::string tagName(const GumboElement& element) {
  if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
  GumboStringPiece piece = element.original_tag;
  gumbo_tag_from_original_text(&piece);
  return lower(std::string_view(piece.data, piece.length));
}

const char* attribute(const GumboElement& element, const char* name) {
  const GumboAttribute* a = gumbo_get_attribute(&element.attributes, name);
  return a ? a->value : nullptr;
}

// Classic scripts only: no type, or a JavaScript MIME type.
bool isClassicScript(const GumboElement& element) {
  const char* type = attribute(element, "type");
  if (!type) return true;
  std::string t = lower(type);
  t.erase(0, t.find_first_not_of(" \t\n\r\f"));
  t.erase(t.find_last_not_of(" \t\n\r\f") + 1);
  static constexpr std::array<std::string_view, 6> kTypes = {
      "", "text/javascript", "application/javascript", "application/x-javascript", "text/ecmascript",
      "application/ecmascript"};
  return std::find(kTypes.begin(), kTypes.end(), t) != kTypes.end();
}

// Writes the element tree as JSON text directly (a JSON value per node first
// took as long again as gumbo's parse).
struct TreeWriter {
  std::string out;
  int nodes = 0;

  void element(const GumboNode& node, int depth) {
    const GumboElement& e = node.v.element;
    out += "{\"t\":";
    out += quoteJson(tagName(e));
    out += ",\"a\":[";
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      if (i > 0) out += ',';
      out += '[';
      out += quoteJson(lower(a->name));
      out += ',';
      out += quoteJson(a->value);
      out += ']';
    }
    out += "],\"c\":[";
    bool first = true;
    if (depth < kMaxTreeDepth) {
      for (unsigned i = 0; i < e.children.length && nodes < kMaxTreeNodes; ++i) {
        const auto* child = static_cast<const GumboNode*>(e.children.data[i]);
        const bool isElement = child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE;
        const bool isText = child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
                            child->type == GUMBO_NODE_CDATA;
        if (!isElement && !isText) continue;
        ++nodes;
        if (!first) out += ',';
        first = false;
        if (isElement) element(*child, depth + 1);
        else out += quoteJson(child->v.text.text);
      }
    }
    out += "]}";
  }
};

void collectScripts(const GumboNode* root, std::vector<HtmlScript>& out) {
  // Document order is a pre-order walk; an explicit stack keeps deep trees off
  // the call stack.
  std::vector<const GumboNode*> stack{root};
  while (!stack.empty()) {
    const GumboNode* node = stack.back();
    stack.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
    const GumboElement& e = node->v.element;
    if (e.tag == GUMBO_TAG_SCRIPT) {
      if (!isClassicScript(e)) continue;
      HtmlScript script;
      script.line = static_cast<int>(e.start_pos.line);
      if (const char* src = attribute(e, "src")) {
        script.hasSrc = true;
        script.src = src;
      } else if (e.children.length > 0) {
        const auto* text = static_cast<const GumboNode*>(e.children.data[0]);
        if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_WHITESPACE) {
          script.text = text->v.text.text;
          script.line = static_cast<int>(text->v.text.start_pos.line);
        }
      }
      out.push_back(std::move(script));
      continue;
    }
    for (unsigned i = e.children.length; i-- > 0;) stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
  }
}

}  // namespace

HtmlParse parseHtml(std::string_view html, const std::function<bool()>& interrupted) {
  HtmlParse out;
  if (scanning.load()) out.refusal = markupRefusal(scanMarkup(html), &out.reason);
  if (out.refusal != MarkupRefusal::None) return out;
  if (FailedMarkup::shared().contains(html)) {
    refuseAsParserFailure(out);
    return out;
  }
  watchParses();
  ParseMemory memory(interrupted);
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // the error list copies the open-element stack for every error
  options.allocator = &ParseMemory::allocate;
  options.deallocator = &ParseMemory::deallocate;
  options.userdata = &memory;
  report(HtmlParseReport{});
  GumboOutput* output = memory.parse(options, html);
  out.processorMs = memory.processorMs();
  if (!output) {
    switch (memory.end()) {
      case ParseMemory::End::Interrupted:
        out.interrupted = true;
        break;
      case ParseMemory::End::TooLong:
        out.refusal = MarkupRefusal::TooComplex;
        out.reason = "a parse longer than " + std::to_string(static_cast<int>(parseTimeLimitMs.load())) + " ms";
        break;
      case ParseMemory::End::ParserFailed:
        FailedMarkup::shared().add(html);
        refuseAsParserFailure(out);
        break;
      case ParseMemory::End::TooLarge:
      case ParseMemory::End::None:
        out.refusal = MarkupRefusal::TooComplex;
        out.reason = "a parse holding more than " + std::to_string(maxParseBytes.load() >> 20) + " MiB";
        break;
    }
    report(HtmlParseReport{true, out.interrupted, out.refusal, out.reason, out.processorMs});
    return out;
  }
  report(HtmlParseReport{true, false, MarkupRefusal::None, {}, out.processorMs});
  HtmlDocument doc;
  TreeWriter tree;
  tree.element(*output->root, 0);
  doc.treeJson = std::move(tree.out);
  collectScripts(output->root, doc.scripts);
  // The parse's memory goes with `memory`, block by block: gumbo's own
  // destruction walks the tree recursively, as deep as it nests.
  out.document = std::move(doc);
  return out;
}

uint64_t parserFailuresForTesting() { return FailedMarkup::shared().failures(); }

void setMarkupBoundsForTesting(bool scan, double timeLimitMs, size_t parseBytes) {
  scanning.store(scan);
  parseTimeLimitMs.store(timeLimitMs);
  maxParseBytes.store(parseBytes);
}

void setParseWatchForTesting(const ParseWatchForTesting& watch) {
  ticking.store(watch.ticks);
  ticksInParser.store(watch.ticksInParser);
  allocatorLooks.store(watch.allocatorLooks);
}

void setParseObserverForTesting(std::function<void(const HtmlParseReport&)> observer) {
  std::lock_guard lock(observerMutex);
  observed.store(static_cast<bool>(observer));
  parseObserver = std::move(observer);
}

}  // namespace platform::web_internal
