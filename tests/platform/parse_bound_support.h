#pragma once
// What the tests of the parse's bounds share: markup whose parse walks a deep
// tree without allocating, the thread's processor clock, and cases that run
// in a process of their own.
#include <gtest/gtest.h>

#include <time.h>

#include <cstdlib>
#include <string>

namespace parsebound {

// Textarea text in a template that opens a comment (the parser takes it as
// the textarea's text), then `depth` elements and a formatting element, then
// `text` characters: every one walks the open elements for the formatting
// element. At a depth of 8,000 and 2 MB of text the parse runs some 5 s.
inline std::string walkingMarkup(int depth, size_t text) {
  std::string html = "<template><textarea><!--</textarea>";
  for (int i = 0; i < depth; ++i) html += "<x>";
  html += "<b>";
  html.append(text, 'a');
  return html;
}

inline double threadCpuMs(clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Processor time a parse may run past its limit or its stop: the ticks come
// every kParseTickMs, and one that lands outside the parser's own code
// leaves the end to the parser's next call out (or the next tick). The
// thread sanitizer holds a signal that lands in code it does not instrument
// (gumbo) until the thread's next call it intercepts (the parse's next
// allocation, which comes later and later as a text's buffer doubles):
// there a tick may come as late as the parse has run.
#if defined(__SANITIZE_THREAD__)
constexpr double kMarginMs = 1'000;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr double kMarginMs = 1'000;
#else
constexpr double kMarginMs = 150;
#endif
#else
constexpr double kMarginMs = 150;
#endif

// The child of a death test ends: 0 when all went as it should, else 1.
[[noreturn]] inline void exitWith(bool ok) { std::_Exit(ok ? 0 : 1); }

// Each case runs in a process of its own.
class InAChildTest : public ::testing::Test {
 protected:
  InAChildTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
}  // namespace parsebound
