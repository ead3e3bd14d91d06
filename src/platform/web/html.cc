#include "platform/web/html.h"

#include <gumbo.h>

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <array>
#include <cctype>
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/json.h"

namespace platform::web_internal {

namespace {

std::atomic<bool> scanning{true};
std::atomic<double> parseTimeLimitMs{kHtmlParseTimeLimitMs};

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// gumbo's allocations for one parse. Each block is linked into a list, so a
// parse ended half-way (a longjmp out of gumbo, which keeps nothing but its
// allocations) leaves nothing behind. Every so many allocations it looks at
// the interruption and the processor time; past a bound it ends the parse.
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
    // The signal mask is kept too: a failed assertion of the parser leaves
    // through the abort handler, with the abort signal blocked.
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

  // The parse under way on the calling thread (null: none).
  static ParseMemory*& current() {
    thread_local ParseMemory* parse = nullptr;
    return parse;
  }
  // The parser failed one of its own assertions, which would abort the
  // process: the parse ends here instead (from the abort handler).
  [[noreturn]] void parserFailed() { stop(End::ParserFailed); }

  static void* allocate(void* self, size_t size) { return static_cast<ParseMemory*>(self)->allocate(size); }
  static void deallocate(void* self, void* p) { static_cast<ParseMemory*>(self)->deallocate(p); }

 private:
  struct alignas(16) Block {
    Block* prev;
    Block* next;
    size_t size;
  };

  static double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  }

  void* allocate(size_t size) {
    if (++allocations_ % 64 == 0) check();
    if (held_ + size > kMaxHtmlParseBytes) stop(End::TooLarge);
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block) stop(End::TooLarge);
    block->size = size;
    block->prev = &head_;
    block->next = head_.next;
    head_.next->prev = block;
    head_.next = block;
    held_ += size;
    return block + 1;
  }

  void deallocate(void* p) {
    if (!p) return;
    Block* block = static_cast<Block*>(p) - 1;
    block->prev->next = block->next;
    block->next->prev = block->prev;
    held_ -= block->size;
    std::free(block);
  }

  // The processor time is read only once the parse has lasted the limit in
  // real time (it cannot have used more than that).
  void check() {
    if (interrupted_ && interrupted_()) stop(End::Interrupted);
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startWall_).count();
    const double limitMs = parseTimeLimitMs.load();
    if (wallMs >= limitMs && threadCpuMs() - startCpuMs_ >= limitMs) stop(End::TooLong);
  }

  [[noreturn]] void stop(End why) {
    end_ = why;
    siglongjmp(jump_, 1);
  }

  void releaseAll() {
    while (head_.next != &head_) deallocate(head_.next + 1);
  }

  const std::function<bool()>& interrupted_;
  const std::chrono::steady_clock::time_point startWall_;
  const double startCpuMs_;
  sigjmp_buf jump_{};
  Block head_{};
  size_t held_ = 0;
  uint64_t allocations_ = 0;
  End end_ = End::None;
};

// The parser (the distribution's gumbo, built with its assertions on) stops
// the process with abort() when an assertion of its own fails, as it does on
// some misnested markup ("<table><math><mo><![CDATA[z]]>"). A page must not
// end the application: while a parse runs on a thread, the abort signal that
// thread raises ends the parse instead, through the parse's own way out,
// which frees everything the parse made. Any other abort goes on as before,
// to the handler that was there (or the default action).
struct sigaction& abortHandlerBefore() {
  static struct sigaction& before = *new struct sigaction();
  return before;
}

void onAbort(int signal, siginfo_t* info, void* context) {
  if (ParseMemory* parse = ParseMemory::current()) parse->parserFailed();
  const struct sigaction& before = abortHandlerBefore();
  if (before.sa_flags & SA_SIGINFO) {
    before.sa_sigaction(signal, info, context);
  } else if (before.sa_handler != SIG_IGN && before.sa_handler != SIG_DFL) {
    before.sa_handler(signal);
  } else if (before.sa_handler == SIG_DFL) {
    // Not a parse: the process ends as it would have.
    sigaction(SIGABRT, &before, nullptr);
    raise(SIGABRT);
  }
}

void containParserAborts() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &onAbort;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGABRT, &action, &abortHandlerBefore());
  });
}

// Markup the parser failed on lately (by hash): the same markup again (a page
// that reloads itself) is refused without the parser, which writes a line on
// standard error at each failure. Nothing is hashed until the parser has
// failed once.
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
  containParserAborts();
  ParseMemory memory(interrupted);
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // the error list copies the open-element stack for every error
  options.allocator = &ParseMemory::allocate;
  options.deallocator = &ParseMemory::deallocate;
  options.userdata = &memory;
  GumboOutput* output = memory.parse(options, html);
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
        out.reason = "a parse holding more than " + std::to_string(kMaxHtmlParseBytes >> 20) + " MiB";
        break;
    }
    return out;
  }
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

void setMarkupBoundsForTesting(bool scan, double timeLimitMs) {
  scanning.store(scan);
  parseTimeLimitMs.store(timeLimitMs);
}

}  // namespace platform::web_internal
