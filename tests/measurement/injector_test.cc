// The script injector: where the script element goes in a document, comments
// skipped, self-closing tags opened, and documents built to make a
// backtracking pattern take exponential time or overflow its stack.
#include "measurement/injector/OMIDQuilbrnScriptInjector.h"
#include "measurement/sdk/OMIDQuilbrnError.h"
#include "measurement_support.h"

namespace measurementtest {
namespace {

constexpr char kScript[] = "var measured = '<b>';";
constexpr char kElement[] = "<script type=\"text/javascript\">var measured = '<b>';</script>";

std::string inject(const std::string& html) {
  auto out = OMIDQuilbrnScriptInjector::injectScriptContent(kScript, html, nullptr);
  EXPECT_TRUE(out);
  return out.value_or("");
}

TEST(OMIDQuilbrnScriptInjector, PlacesTheScriptAtTheEarliestPlace) {
  // "^" marks where the script is expected.
  struct Case {
    const char* what;
    std::string html;  // with ^
  };
  const std::vector<Case> cases = {
      {"head after html", "<!DOCTYPE html><html lang=\"en\"><head>^<title>t</title></head><body></body></html>"},
      {"body without head", "<html><body class=\"ad\">^<div></div></body></html>"},
      {"upper-case head keeps its case", "<HTML><HEAD>^</HEAD></HTML>"},
      {"head only inside a comment", "<html><!-- <head> --><body>^<p>x</p></body></html>"},
      {"head inside a comment across lines", "<html>^<!--\n<head>\r\n<body>\n--><p>x</p></html>"},
      {"comment with spaces before its dashes", "<html>^<! \t--<head>-- ><p></p></html>"},
      {"first of head and body wins", "<body>^<head></head></body>"},
      {"last html tag", "<html a><html b>^<p></p>"},
      {"html after the declaration", "<!doctype html><html>^<p></p>"},
      {"declaration only", "<!DOCTYPE html>^<p>ad</p>"},
      {"last declaration", "<!DOCTYPE a><!DOCTYPE b>^x"},
      {"no tags", "^<p>just a fragment</p>"},
      {"empty document", "^"},
      {"header is no head", "<html>^<header>title</header><p></p></html>"},
      {"bodyguard is no body", "<html>^<bodyguard></bodyguard>"},
      {"htmlx is no html", "^<htmlx>"},
      {"head with a line break before >", "<head\n data-x=\"1\"\n>^</head>"},
      {"a tag reaching into a comment is none", "<html>^<head <!-- > -->x"},
      {"unterminated comment hides nothing", "<html><!-- <head>^</head>"},
      {"a dash inside a comment", "<html>^<!-- a-b <head> -->"},
      {"three dashes do not close", "<!-- x ---><head>^"},
      {"an empty comment", "<!----><body>^"},
      {"non-ASCII around", "<html>\xC3\xA9<head>^\xE2\x82\xAC</head>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string html = c.html;
    const size_t mark = html.find('^');
    ASSERT_NE(mark, std::string::npos);
    html.erase(mark, 1);
    std::string expected = html;
    expected.insert(mark, kElement);
    EXPECT_EQ(inject(html), expected);
  }
}

// `before`, the script element, then `after`, in one buffer reserved first:
// the same text as a sum of strings draws a false -Warray-bounds from g++ 12
// when this file is compiled alone.
std::string withElement(std::string_view before, std::string_view after) {
  std::string text;
  text.reserve(before.size() + sizeof kElement + after.size());
  text.append(before).append(kElement).append(after);
  return text;
}

TEST(OMIDQuilbrnScriptInjector, SelfClosingTagsOpen) {
  EXPECT_EQ(inject("<html><body/></html>"), withElement("<html><body>", "</body></html>"));
  EXPECT_EQ(inject("<HEAD x=1 /><p/>"), withElement("<HEAD x=1 >", "</HEAD><p/>"));
  EXPECT_EQ(inject("<html/>"), withElement("<html>", "</html>"));
  EXPECT_EQ(inject("<!DOCTYPE html/>"), withElement("<!DOCTYPE html/>", ""));  // a declaration stays
}

TEST(OMIDQuilbrnScriptInjector, EmptyScriptIsRefused) {
  platform::Error error;
  EXPECT_FALSE(OMIDQuilbrnScriptInjector::injectScriptContent("", "<html></html>", &error));
  EXPECT_EQ(error.code, OMIDQuilbrnErrorCode::EmptyScript);
  EXPECT_EQ(error.message, "Script can not be empty.");
  EXPECT_FALSE(OMIDQuilbrnScriptInjector::injectScriptContent("", "<html></html>", nullptr));
  // The script is not escaped: a script holding "</script>" goes in as it is.
  EXPECT_EQ(*OMIDQuilbrnScriptInjector::injectScriptContent("a</script>b", "", nullptr),
            "<script type=\"text/javascript\">a</script>b</script>");
}

TEST(OMIDQuilbrnScriptInjector, CommentsAndTheirEnd) {
  using Range = OMIDQuilbrnScriptInjector::Range;
  const std::string html = "a<!-- x -->b<!--\n-->c<!--";
  EXPECT_EQ(OMIDQuilbrnScriptInjector::commentsInHtml(html),
            (std::vector<Range>{{1, 10}, {12, 8}, {html.size(), 0}}));
  EXPECT_EQ(OMIDQuilbrnScriptInjector::commentsInHtml(""), (std::vector<Range>{{0, 0}}));
  EXPECT_EQ(OMIDQuilbrnScriptInjector::tagFromHtml("<BoDy>", Range{0, 6}), "body");
}

// Documents that make a backtracking comment pattern take exponential time
// or run out of stack (an unterminated comment over many line breaks, many
// openings without an end, many tags without ">"): each is one linear pass.
TEST(OMIDQuilbrnScriptInjector, HostileDocumentsTakeOnePass) {
  const std::vector<std::string> documents = {
      "<!--" + std::string(200'000, '\n') + "<head>",
      "<!--" + std::string(100'000, '-') + "x<head>",
      [] {
        std::string many;
        for (int i = 0; i < 50'000; ++i) many += "<!--\r\n-";
        return many + "<body>";
      }(),
      [] {
        std::string many;
        for (int i = 0; i < 50'000; ++i) many += "<head <body ";
        return many;
      }(),
      "<html>" + std::string(1 << 20, 'a') + "<head>",
  };
  for (const auto& html : documents) {
    const std::string out = inject(html);
    EXPECT_EQ(out.size(), html.size() + sizeof(kElement) - 1);
  }
  // The unterminated comment hides nothing: the head after it is found.
  EXPECT_EQ(inject(documents[0]), documents[0] + kElement);
}

}  // namespace
}  // namespace measurementtest
