// Markup the HTML parser would spend too long on, in real mode (each web
// view's pages on a content queue of their own): a page that writes it is
// stopped before the parse runs, and its web view ends when released; with
// the scan out of the way, the parse's own bounds end it. Then the scan
// against what the parser makes of tricky markup.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/web/html.h"
#include "platform/web/markup_scan.h"
#include "platform/web/web_view.h"
#include "platform_support.h"

using namespace platform;
using namespace platform::web_internal;

namespace webmarkup {

using Events = platformtest::PageEvents;

// A bound against a hang, not a measure: a refusal needs no processor time
// of the page's, but a machine whose every core is busy may give its queue
// little.
constexpr int64_t kWaitMs = 120'000;

// A page that makes `markup` (a script expression) and writes it again and
// again, catching whatever the write throws.
std::string writingPage(const std::string& markup) {
  return "<script>webkit.messageHandlers.native.postMessage('writing'); var m = " + markup +
         "; for (;;) { try { document.write(m); } catch (e) {} }</script>";
}

const char kManyAttributes[] = "'<b'; for (var i = 0; i < 100000; i++) m += ' a' + i; m += '>'";
const char kDeepBlocks[] = "('<div>'.repeat(4000) + '</div>'.repeat(4000)).repeat(50)";

class WebViewMarkupTest : public ::testing::Test {
 protected:
  ~WebViewMarkupTest() override {
    setMarkupBoundsForTesting(true);
    view.reset();
    drainContentQueues();
  }

  void open() {
    WebViewConfiguration configuration;
    configuration.userContentController->addScriptMessageHandler(events, "native");
    view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480), configuration);
    view->setNavigationDelegate(events);
  }

  // What every content queue holds now has run, and what that posted to the
  // main queue; false when the queues did not drain in time.
  bool drainContentQueues(int64_t ms = 20'000) {
    bool drained = false;
    afterWebContentForTesting([&drained] { mainQueue()->async([&drained] { drained = true; }); });
    return runMainUntil([&] { return drained; }, ms);
  }

  std::shared_ptr<Events> events = std::make_shared<Events>();
  std::shared_ptr<WebView> view;
  platformtest::WebLogRecorder log;
};

// Each is one parse of minutes (100,000 attributes on one element: some 40 s)
// or seconds (15 MB of blocks 4,000 deep) that nothing could interrupt: the
// scan refuses it, the page is stopped for it as for any bound (the load it
// runs in fails), and its web view ends when released.
TEST_F(WebViewMarkupTest, APageWritingMarkupTheParserIsSlowOnIsStopped) {
  struct Case {
    const char* markup;
    const char* reason;
  };
  const Case cases[] = {
      {kManyAttributes, "an element with more than 1000 attributes"},
      {kDeepBlocks, "more than 200 ms of the parser's estimated work"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    events = std::make_shared<Events>();
    open();
    view->loadHTMLString(writingPage(c.markup), "");
    ASSERT_TRUE(runMainUntil([&] { return events->ended(); }, kWaitMs));
    EXPECT_EQ(events->events,
              (std::vector<std::string>{"message writing", "fail " + std::to_string(WebErrorCode::ResourceLimit)}));
    EXPECT_EQ(log.count(std::string("wrote markup the parser does not take (") + c.reason + ") and was stopped"), 1u);
    view.reset();
    ASSERT_TRUE(drainContentQueues());
    EXPECT_EQ(liveWebPagesForTesting(), 0u);
  }
}

// What the scan would let through by mistake the parse's own bound ends: the
// page is stopped as for markup refused before it. A web view released while
// its page's parse runs (with that bound lifted too) ends the parse.
TEST_F(WebViewMarkupTest, TheParseItselfIsBoundedAndEndsWithItsWebView) {
  setMarkupBoundsForTesting(false);
  open();
  view->loadHTMLString(writingPage(kManyAttributes), "");
  ASSERT_TRUE(runMainUntil([&] { return events->ended(); }, kWaitMs));
  EXPECT_EQ(events->events,
            (std::vector<std::string>{"message writing", "fail " + std::to_string(WebErrorCode::ResourceLimit)}));
  EXPECT_EQ(log.count("wrote markup the parser does not take (a parse longer than 500 ms) and was stopped"), 1u);
  view.reset();
  ASSERT_TRUE(drainContentQueues());

  setMarkupBoundsForTesting(false, 600'000);
  events = std::make_shared<Events>();
  open();
  view->loadHTMLString(writingPage(kManyAttributes), "");
  ASSERT_TRUE(runMainUntil([&] { return events->heard("message writing"); }, kWaitMs));
  // The page posted just before its write: the parse runs, or is about to.
  EXPECT_EQ(liveWebPagesForTesting(), 1u);
  view.reset();
  EXPECT_TRUE(drainContentQueues()) << "the parse outlived its web view";
  EXPECT_EQ(liveWebPagesForTesting(), 0u);
}

// Text the scan cannot read for sure (raw text in a template or near foreign
// content, which the parser may take as raw text or as markup): an opener in
// it that would hide the rest of the document from the scan (a comment, a
// quoted value) hides nothing, and a document nested deeper than the bound
// behind it is refused before it is parsed.
const char* const kUnsureOpeners[] = {
    "<template><textarea><!--</textarea>",
    "<svg><foreignObject><textarea><!--</textarea>",
    "<template><textarea><a title=\"</textarea>",
    "<math><mi><xmp><!--</xmp>",
};

std::string repeated(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(WebViewMarkupTest, ADocumentDeepBehindTextTheScanIsUnsureOfIsRefused) {
  for (const char* opener : kUnsureOpeners) {
    SCOPED_TRACE(opener);
    events = std::make_shared<Events>();
    open();
    view->loadHTMLString(std::string(opener) + repeated("<x>", 5000) + "<b>" + std::string(1000, 'y'), "");
    ASSERT_TRUE(runMainUntil([&] { return !events->events.empty(); }, kWaitMs));
    EXPECT_EQ(events->events, (std::vector<std::string>{"fail " + std::to_string(WebErrorCode::DocumentTooDeep)}));
    view.reset();
    ASSERT_TRUE(drainContentQueues());
  }
  EXPECT_EQ(log.count("was refused (elements nested deeper than 4096)"), std::size(kUnsureOpeners));
}

// ---- the scan ----

// The depth of the element tree the page gets (below its cap of 256).
int treeDepth(const Json& node) {
  if (!node.is_object()) return 0;
  int deepest = 0;
  for (const auto& child : node["c"]) deepest = std::max(deepest, treeDepth(child));
  return deepest + 1;
}

// Markup whose nesting a simple count of tags gets wrong: stray and
// misnested end tags, tags that close nothing or close more, self-closing
// tags that are not, quotes and comments that hide a ">", raw text with tags
// in it, foreign content. Each repeated; the scan's depth must never fall
// short of the tree's (html, head and body counted in both).
TEST(MarkupScanTest, TheScanErrsHighOnWhatTheParserMakes) {
  const char* pieces[] = {
      "<span></x>",
      "<span/>",
      "<div/>",
      "<span><div></span>",
      "<b><div></b>",
      "<a><div>",
      "<b><p></b>x",
      "<i><table><tr><td></i><span>",
      "<table><tr><td><span>",
      "<table><tbody><td><span>",
      "<span a='>' b=\">\"></div>",
      "<span><!-- </span> --!>",
      "<span><!--></span>",
      "<span><? </span> >",
      "<span><script><!--<script></script></span></script>--></script>",
      "<span><style></span></style>",
      "<span><textarea></span></textarea>",
      "<svg><g><title><span></g></svg>",
      "<svg><style><span>",
      "<math><mi><span></math>",
      "<select><span></span><option>",
      "<p><button><p><div>",
      "<li><ul><li><div>",
      "<form><div></form><span>",
      "<h1><span><h2>",
      "<div><b id=1><i id=2></div>x<span>",
      "<nobr><nobr>",
      "<object><b></object>x",
      "<template><td><span>",
      "<frameset><span>",
      // Found by comparing the scan with the parser on random markup.
      "<noscript><ul></noscript>",
      "<optgroup><optgroup>",
      "<tr><i></tr><p>",
      "<td><i></td><p>",
      "<h1><select></h2><style><input><i>",
      "<template><col><title><template><i>",
      "<math><svg/n><mi><b><i>",
      "<p><select><hr><template><u>",
      "<script/><style></script><i>",
      // Text the scan is unsure of (raw text in a template or near foreign
      // content, a CDATA section): what opens a comment, a quoted value or
      // raw text there may be raw text to the parser, which ends it at the
      // raw text's end tag and parses what follows.
      "<template><textarea><!--</textarea><x><x><x>",
      "<svg><foreignObject><textarea><!--</textarea><x><x><x>",
      "<template><textarea><a title=\"</textarea><x><x><x>",
      "<math><mi><xmp><!--</xmp><x><x><x>",
      "<template><title><!--</title><x><x><x>-->",
      "<svg><![CDATA[ > <!-- ]]><x><x><x>",
      "<select><style><script a='>'></style><!--</script></select><x><x><x>",
      "<template><title><textarea a='</title><textarea><!x</textarea b=\"'></textarea><!--\"><x><x><x>",
      "<template><script><!--<script></script>--><!--</script><x><x><x>",
      "<svg><script><!--<script>--!><b><script><!x</script b=\"></script><!--\"><x><x><x>-->",
      // Foreign content the parser has left where the scan cannot tell (a
      // font with attributes breaks out of it; an svg read in raw text).
      "<svg><font color=red><style><!--</style><x><x><x>",
      "<math><mi><xmp><div><svg></xmp><style><!--</style><x><x><x>",
      // Raw text ends where the parser ends it: at an end tag whose quoted
      // values may hold a ">", after a script's "<!-->".
      "<textarea></textarea a='><!--'><x><x><x>",
      "<x><textarea></textarea a='></x>'>",
      "<script><!--><script></script><x><x><x>",
      "<script><!---><script></script><x><x><x>",
  };
  for (const char* piece : pieces) {
    SCOPED_TRACE(piece);
    std::string html;
    for (int i = 0; i < 30; ++i) html += piece;
    const auto scan = scanMarkup(html);
    const auto parsed = parseHtml(html);
    ASSERT_TRUE(parsed.document.has_value()) << parsed.reason;
    const auto tree = parseJson(parsed.document->treeJson);
    ASSERT_TRUE(tree.ok());
    const int depth = treeDepth(tree.value());
    ASSERT_LT(depth, kMaxTreeDepth) << "too deep to measure";
    EXPECT_GE(scan.depth, depth);
  }
}

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The project's own pages and ad-like markup pass with room to spare.
TEST(MarkupScanTest, RealPagesPassWithRoom) {
  for (const char* page : {"controller.html", "testsuite.html", "ad_unit.html"}) {
    SCOPED_TRACE(page);
    // Appended in place: the same path as a sum of strings draws a false
    // -Warray-bounds from g++ 12 when this file is compiled alone.
    std::string path = QB_TESTS_DIR "/support/pages/";
    path += page;
    const std::string html = fileText(path);
    ASSERT_FALSE(html.empty());
    const auto scan = scanMarkup(html);
    EXPECT_EQ(markupRefusal(scan), MarkupRefusal::None);
    EXPECT_LT(scan.depth, 40);
    EXPECT_LT(scan.workMs, 10);
  }
  std::string ads;
  for (int i = 0; i < 200; ++i)
    ads += "<div class=\"slot\" data-id=\"" + std::to_string(i) +
           "\"><a href=\"https://example.com/c?i=1&amp;j=2\" target=_blank><img src=a.png width=300 height=250>"
           "<font color=red><b>Sponsored</b></font></a><p>text<p>more text<ul><li>one<li>two</ul></div>\n";
  const auto scan = scanMarkup(ads);
  EXPECT_EQ(markupRefusal(scan), MarkupRefusal::None);
  EXPECT_LT(scan.depth, 40);
  EXPECT_LT(scan.workMs, 25);
}

// The documents of the parser's worst case behind text the scan is unsure
// of (a parse of 110 s, 200,005 elements deep): refused by the scan alone.
TEST(MarkupScanTest, TextItIsUnsureOfHidesNoneOfTheDocument) {
  const std::string rest = repeated("<x>", 200'000) + "<b>" + std::string(1'800'000, 'y');
  for (const char* opener : kUnsureOpeners) {
    SCOPED_TRACE(opener);
    const auto scan = scanMarkup(opener + rest);
    EXPECT_NE(markupRefusal(scan), MarkupRefusal::None) << scan.depth << " deep, " << scan.workMs << " ms";
  }
}

// A CDATA section in an inline SVG leaves the scan unsure of itself only.
TEST(MarkupScanTest, InlineSvgWithCdataPassesWithRoom) {
  const std::string icons = repeated(
      "<div class=icon><svg viewBox=\"0 0 10 10\"><style><![CDATA[.a{fill:red}]]></style>"
      "<path class=a d=\"M0 0h10v10z\"/></svg><span>label</span></div>\n",
      200);
  const auto scan = scanMarkup(icons);
  EXPECT_EQ(markupRefusal(scan), MarkupRefusal::None);
  EXPECT_LT(scan.depth, 40);
}

// Each bound holds at its edge.
TEST(MarkupScanTest, EachBoundHoldsAtItsEdge) {
  auto element = [](int attributes, const std::string& before = "") {
    std::string html = "<div" + before;
    for (int i = 0; i < attributes; ++i) html += " a" + std::to_string(i);
    return html + ">";
  };
  EXPECT_EQ(markupRefusal(scanMarkup(element(1000))), MarkupRefusal::None);
  EXPECT_EQ(markupRefusal(scanMarkup(element(1001))), MarkupRefusal::TooComplex);
  // Duplicates count: the parser compares each with those before it.
  std::string duplicates = "<div";
  for (int i = 0; i < 1001; ++i) duplicates += " a";
  EXPECT_EQ(markupRefusal(scanMarkup(duplicates + ">")), MarkupRefusal::TooComplex);
  // A ">" in a quoted value ends no tag.
  EXPECT_EQ(markupRefusal(scanMarkup(element(1001, " q=\">\" r='>'"))), MarkupRefusal::TooComplex);

  auto nested = [](int n) {
    std::string html;
    for (int i = 0; i < n; ++i) html += "<div>";
    return html;
  };
  // html, head and body count.
  EXPECT_EQ(markupRefusal(scanMarkup(nested(kMaxHtmlDepth - 3))), MarkupRefusal::None);
  EXPECT_EQ(markupRefusal(scanMarkup(nested(kMaxHtmlDepth - 2))), MarkupRefusal::TooDeep);

  EXPECT_EQ(markupRefusal(scanMarkup(std::string(1'000'000, 'x'))), MarkupRefusal::None);
  EXPECT_EQ(markupRefusal(scanMarkup(std::string(4'000'000, 'x'))), MarkupRefusal::TooComplex);
}

// The parser looks for the element of a stray end tag down every open
// element that is not special: 100,000 end tags of an element nobody knows,
// under 4,000 open spans, take it seconds, and the scan counts that walk.
TEST(MarkupScanTest, StrayEndTagsOfUnknownElementsAreChargedTheirWalk) {
  std::string html;
  for (int i = 0; i < 4000; ++i) html += "<span>";
  for (int i = 0; i < 100'000; ++i) html += "</x>";
  std::string reason;
  EXPECT_EQ(markupRefusal(scanMarkup(html), &reason), MarkupRefusal::TooComplex);
  EXPECT_EQ(reason, "more than 200 ms of the parser's estimated work");
}

}  // namespace webmarkup
