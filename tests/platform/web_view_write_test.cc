// What pages have besides the document they were loaded with: atob and btoa
// over binary strings, and document.write, whose markup is parsed as a
// document and whose scripts run as a load runs them; real pages in a real
// JavaScriptCore context on the test clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/test_environment.h"
#include "platform/web/html.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"

using namespace platform;
using platform::web_internal::parserFailuresForTesting;

namespace {

const std::string kWritePagesFolder = std::string(QB_TESTS_DIR) + "/platform/pages/";

struct WriteNavigations : NavigationDelegate {
  std::vector<std::string> events;
  void didFinishNavigation(WebView&) override { events.push_back("finish"); }
  void didFailNavigation(WebView&, const Error& error) override { events.push_back("fail " + error.message); }
};

class WebViewWriteTest : public ::testing::Test {
 protected:
  WebViewWriteTest() {
    previousSink_ = setWebLogSink([this](WebLogLevel, const std::string& line) { log.push_back(line); });
    view->setNavigationDelegate(delegate);
  }
  ~WebViewWriteTest() override {
    view.reset();
    env.runUntilIdle();
    setWebLogSink(previousSink_);
  }

  ScriptEvaluation evaluate(const std::string& script) {
    std::optional<ScriptEvaluation> out;
    view->evaluateJavaScript(script, [&](const ScriptEvaluation& r) { out = r; });
    EXPECT_TRUE(env.runUntil([&] { return out.has_value(); }));
    env.runUntilIdle();
    return out.value_or(ScriptEvaluation{});
  }
  Json value(const std::string& script) {
    auto r = evaluate(script);
    EXPECT_TRUE(r.ok()) << script << ": " << (r.error ? r.error->message : "");
    return r.value;
  }
  void loadHTML(const std::string& html) {
    const size_t before = delegate->events.size();
    view->loadHTMLString(html, fileURLFromPath(kWritePagesFolder + "written.html"));
    ASSERT_TRUE(env.runUntil([&] { return delegate->events.size() > before; }));
    env.runUntilIdle();
  }

  TestEnvironment env;
  std::vector<std::string> log;  // the test thread runs every queue
  std::shared_ptr<WriteNavigations> delegate = std::make_shared<WriteNavigations>();
  std::shared_ptr<WebView> view = std::make_shared<WebView>(Rect::make(0, 0, 320, 480));

 private:
  WebLogSink previousSink_;
};

TEST_F(WebViewWriteTest, AtobAndBtoaConvertBinaryStringsAndRefuseWhatIsNotBase64) {
  struct Case {
    const char* script;
    Json value;  // null: throws InvalidCharacterError
  };
  const Case cases[] = {
      {"btoa('')", ""},
      {"btoa('hello')", "aGVsbG8="},
      {"btoa(String.fromCharCode(0, 255, 128))", "AP+A"},
      {"btoa(12)", "MTI="},
      {"atob('aGVsbG8=')", "hello"},
      {"atob('aGVsbG8')", "hello"},                         // padding may be left out
      {"atob(' aGVs\\nbG8=\\t')", "hello"},                 // white space is ignored
      {"atob('YR==')", "a"},                                // bits past the data are dropped
      {"atob('')", ""},
      {"Array.from(atob('AP+A')).map(function (c) { return c.charCodeAt(0); })", Json::array({0, 255, 128})},
      {"atob(btoa(String.fromCharCode(200, 1, 2, 3, 4)))", std::string("\xc3\x88\x01\x02\x03\x04")},
      {"atob('a')", nullptr},                               // 4n+1 characters
      {"atob('a=b=')", nullptr},
      {"atob('@@@@')", nullptr},
      {"atob('aGVsbG8===')", nullptr},
      {"atob('\\u0100AAA')", nullptr},
      {"btoa('\\u0100')", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    if (c.value.is_null()) {
      EXPECT_EQ(value(std::string("try { ") + c.script + "; 'no throw' } catch (e) { e.name }"),
                "InvalidCharacterError");
    } else {
      EXPECT_EQ(value(c.script), c.value);
    }
  }
  EXPECT_EQ(value("try { atob() } catch (e) { e.name }"), "TypeError");
}

// The form a page is written into a web view that loaded nothing.
TEST_F(WebViewWriteTest, WritingIntoABlankPageReplacesItsDocumentAndRunsItsScriptsAfterTheWriter) {
  const std::string markup =
      "<html><head><title>Written</title></head><body><p id=x>hi</p>"
      "<script>window.order = (window.order || []).concat('first:' + document.getElementById('x').textContent)"
      "</script><script>window.order.push('second')</script></body></html>";
  std::string escaped;
  for (char c : markup) escaped += c == '\'' ? std::string("\\'") : std::string(1, c);
  // The tree is in place when write returns; the scripts run after the writer.
  EXPECT_EQ(value("document.write(atob(btoa('" + escaped + "')));"
                  "[document.title, document.getElementById('x').textContent, document.readyState, window.order]"),
            Json::parse(R"(["Written", "hi", "loading", null])"));
  EXPECT_EQ(value("[window.order, document.readyState]"), Json::parse(R"([["first:hi", "second"], "complete"])"));
  // A second write replaces the document again.
  value("document.write('<div class=again></div>')");
  EXPECT_EQ(value("[document.querySelectorAll('.again').length, document.getElementById('x')]"),
            Json::parse("[1, null]"));
  EXPECT_TRUE(delegate->events.empty());  // no navigation
}

TEST_F(WebViewWriteTest, AScriptElementThatWritesAddsToTheDocumentAndItsScriptsRunBeforeTheNextOne) {
  loadHTML(
      "<html><body><p id=first></p><script>var order = ['first'];"
      "document.write('<span id=w>w</span><script>order.push(\"written\")<\\/script>'"
      " + '<script src=\"outside.js\"><\\/script>');"
      "order.push('writer done')</script>"
      "<script>order.push('next:' + (typeof outsideLoaded) + ':' + document.getElementById('w').parentNode.localName)"
      "</script></body></html>");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"finish"}));
  EXPECT_EQ(value("order"), Json::parse(R"(["first", "writer done", "written", "next:boolean:body"])"));
  EXPECT_EQ(value("[document.getElementById('first') !== null, document.readyState]"), Json::parse("[true, \"complete\"]"));
}

// Markup the parser does not take stops the page: a page that could catch
// the refusal would write it again and again.
TEST_F(WebViewWriteTest, MarkupThatCannotBeADocumentStopsThePage) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  const auto r = evaluate("for (;;) { try { document.write('" + deep + "'); } catch (e) {} }");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->code, WebErrorCode::ResourceLimit);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) {
                            return line.find("wrote markup the parser does not take (elements nested deeper than "
                                             "4096) and was stopped") != std::string::npos;
                          }),
            1);
}

// A document the parser would spend too long on fails to load; the refusal
// is logged.
TEST_F(WebViewWriteTest, DocumentsTheParserIsSlowOnFailToLoad) {
  std::string attributes = "<div";
  for (int i = 0; i < 2000; ++i) attributes += " a" + std::to_string(i);
  std::string bodies;  // the body takes the attributes of all its start tags
  for (int i = 0; i < 200; ++i) {
    bodies += "<body";
    for (int j = 0; j < 10; ++j) bodies += " b" + std::to_string(i) + "_" + std::to_string(j);
    bodies += ">";
  }
  std::string block;
  for (int i = 0; i < 4000; ++i) block += "<div>";
  for (int i = 0; i < 4000; ++i) block += "</div>";
  std::string blocks;
  for (int i = 0; i < 20; ++i) blocks += block;
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<span></x>";  // a stray end tag closes nothing
  struct Case {
    const std::string* html;
    int code;
    const char* reason;
  };
  const Case cases[] = {
      {&attributes, WebErrorCode::DocumentTooComplex, "an element with more than 1000 attributes"},
      {&bodies, WebErrorCode::DocumentTooComplex, "an element with more than 1000 attributes"},
      {&blocks, WebErrorCode::DocumentTooComplex, "more than 200 ms of the parser's estimated work"},
      {&deep, WebErrorCode::DocumentTooDeep, "elements nested deeper than 4096"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    std::optional<Error> failure;
    struct Failures : NavigationDelegate {
      std::optional<Error>* failure;
      void didFailNavigation(WebView&, const Error& error) override { *failure = error; }
    };
    auto failures = std::make_shared<Failures>();
    failures->failure = &failure;
    view->setNavigationDelegate(failures);
    view->loadHTMLString(*c.html, "");
    ASSERT_TRUE(env.runUntil([&] { return failure.has_value(); }));
    EXPECT_EQ(failure->code, c.code);
    EXPECT_EQ(failure->message, std::string("the document was refused: ") + c.reason);
    EXPECT_NE(std::find(log.begin(), log.end(), std::string("The document about:blank was refused (") + c.reason + ")"),
              log.end());
  }
}

// Markup on which the parser fails an assertion of its own (which would abort
// the process): the load fails as for markup the parser does not take, the
// same markup again is refused without the parser, and a page that writes
// such markup is stopped. The process lives on.
TEST_F(WebViewWriteTest, MarkupTheParserFailsOnIsRefusedAndTheProcessLivesOn) {
  const uint64_t before = parserFailuresForTesting();
  std::vector<std::string> failures;
  struct Failures : NavigationDelegate {
    std::vector<std::string>* failures;
    void didFailNavigation(WebView&, const Error& error) override {
      failures->push_back(std::to_string(error.code) + " " + error.message);
    }
  };
  auto failing = std::make_shared<Failures>();
  failing->failures = &failures;
  view->setNavigationDelegate(failing);
  const std::string cdataInTable = "<table><math><mo><![CDATA[z]]> ";
  for (int i = 1; i <= 2; ++i) {
    view->loadHTMLString(cdataInTable, "");
    ASSERT_TRUE(env.runUntil([&] { return failures.size() == static_cast<size_t>(i); }));
    EXPECT_EQ(failures.back(), std::to_string(WebErrorCode::DocumentTooComplex) +
                                   " the document was refused: markup the parser fails on");
  }
  EXPECT_EQ(parserFailuresForTesting(), before + 1);  // the second load never reached the parser

  const auto r = evaluate("document.write('<table><math><select><mo><select/><td>'); 'written'");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->code, WebErrorCode::ResourceLimit);
  EXPECT_EQ(parserFailuresForTesting(), before + 2);
  EXPECT_NE(std::find_if(log.begin(), log.end(),
                         [](const std::string& line) {
                           return line.find("wrote markup the parser does not take (markup the parser fails on)") !=
                                  std::string::npos;
                         }),
            log.end());
  // A new page loads and runs as before.
  view->setNavigationDelegate(this->delegate);
  loadHTML("<p>quiet</p>");
  EXPECT_EQ(this->delegate->events.back(), "finish");
  EXPECT_EQ(value("1 + 1"), Json(2));
}

}  // namespace
