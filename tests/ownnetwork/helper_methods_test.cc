#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/services/PMEUrlHandler.h"
#include "ownnetwork/services/QBNAdSize.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "platform/ui/application.h"
#include "platform/ui/view_controller.h"

namespace {

using platform::Json;
using H = PMAHelperMethods;
using Pairs = std::vector<std::pair<std::string, std::string>>;

class HelperMethodsTest : public qbtest::OwnNetworkTest {};

TEST_F(HelperMethodsTest, PercentEncodingKeepsOnlyUnreservedCharacters) {
  for (const auto& [text, escaped] : Pairs{
           {"AZaz09-._~", "AZaz09-._~"},
           {"!*'();:@&=+$,/?%#[]\" ", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%22%20"},
           {"<>\\^`{|}\n", "%3C%3E%5C%5E%60%7B%7C%7D%0A"},
           {"\xC3\xA9\xE2\x82\xAC", "%C3%A9%E2%82%AC"}}) {
    EXPECT_EQ(H::encodeToPercentEscapeString(text), escaped) << text;
  }
  EXPECT_EQ(H::encodeToPercentEscapeString(Json(5)), "");
  EXPECT_EQ(H::encodeToPercentEscapeString(Json("a b")), "a%20b");
}

TEST_F(HelperMethodsTest, PercentDecodingTurnsPlusIntoSpaceAndKeepsMalformedEscapes) {
  for (const auto& [text, decoded] : Pairs{{"a+b%20c", "a b c"},
                                           {"%E2%82%AC%e2%82%ac", "\xE2\x82\xAC\xE2\x82\xAC"},
                                           {"%2B", "+"},
                                           {"100%", "100%"},
                                           {"a%2", "a%2"},
                                           {"%zz%41", "%zzA"},
                                           {"%FF%41", "%FFA"},  // a byte that starts no UTF-8 character
                                           {"%C3%A9%C3", "\xC3\xA9%C3"}}) {
    EXPECT_EQ(H::decodeFromPercentEscapeString(text), decoded) << text;
  }
}

TEST_F(HelperMethodsTest, DictionaryEscapesDecodeParseAndEncode) {
  const Json input = {{"obj", "%7B%22k%22%3A1%7D"}, {"arr", "%5B1%5D"}, {"sum", "1+1%3D2"},
                      {"num", "123"},               {"raw", 5},        {"bad", "%zz%20"}};
  EXPECT_EQ(H::decodeByReplacingPercentEscapes(input),
            (Json{{"obj", {{"k", 1}}}, {"arr", {1}}, {"sum", "1+1=2"}, {"num", "123"}, {"raw", 5}, {"bad", "%zz "}}));
  EXPECT_EQ(H::decodeByReplacingPercentEscapes(Json{{"q", "a%26b%3Dc%C3%A9"}}, std::string("&\xC3\xA9")),
            (Json{{"q", "a%26b=c%C3%A9"}}));
  EXPECT_EQ(H::decodeByReplacingPercentEscapes(Json(nullptr)), Json::object());

  const Json nested = {{"s", "a b"}, {"n", 1}, {"arr", {"a b"}}, {"o", {{"t", "x/y"}, {"p", "1+1%3D"}}}};
  EXPECT_EQ(H::deepEncodeValuesInDictionary(nested, false),
            (Json{{"s", "a%20b"}, {"n", 1}, {"arr", {"a b"}}, {"o", {{"t", "x%2Fy"}, {"p", "1%2B1%253D"}}}}));
  EXPECT_EQ(H::deepEncodeValuesInDictionary(nested, true)["o"]["p"], "1%201%3D");

  EXPECT_EQ(H::encodeToPercentEscapeStringWithDomain("https://h/p?", Json{{"a", "1 2"}, {"b", "x&y"}}),
            "https://h/p?a=1%202&b=x%26y");
  EXPECT_EQ(H::encodeToPercentEscapeStringWithDomain("https://h/p", Json{{"n", 5}}), "https://h/p&n=");
}

TEST_F(HelperMethodsTest, QueryStringsSplitAndJoinWithoutCoding) {
  const std::vector<std::pair<std::string, Json>> cases = {{"a=1&b&c=2=3", {{"a", "1"}, {"c", "2"}}},
                                                           {"a=1&a=2&b=%20+", {{"a", "2"}, {"b", "%20+"}}},
                                                           {"=x&k=&&", {{"", "x"}, {"k", ""}}}};
  for (const auto& [query, parsed] : cases) EXPECT_EQ(H::dictionaryFromQueryStringParameters(query), parsed) << query;
  EXPECT_EQ(H::queryStringfromDictionary(Json{{"a", "x y"}, {"n", 1007}, {"t", true}, {"d", 1.5}}),
            "a=x y&n=1007&t=1&d=1.5");
}

TEST_F(HelperMethodsTest, JsonHelpersGiveTheirErrorTextsAndDomains) {
  platform::Error error;
  EXPECT_EQ(H::dictionaryFromJsonString(std::nullopt, &error), std::nullopt);
  EXPECT_EQ(error, (platform::Error{"PMAErrorDomain", 0, "cannot serialize json string - empty string param"}));
  for (const char* bad : {"{bad", "5", ""}) {
    error = {};
    EXPECT_EQ(H::dictionaryFromJsonString(std::string(bad), &error), std::nullopt) << bad;
    EXPECT_EQ(error.domain, kPMAOSAPIErrorDomain) << bad;
    EXPECT_FALSE(error.message.empty()) << bad;
  }
  EXPECT_EQ(H::dictionaryFromJsonString(std::string("[1,{\"a\":2}]"), &error), Json::parse("[1,{\"a\":2}]"));

  EXPECT_EQ(H::decodeJSONObject(std::nullopt, kPMAUTF8StringEncoding, &error), std::nullopt);
  EXPECT_EQ(error, (platform::Error{"com.quilbrn.erros", 0, "unable to decode string to JSON - string object is nil"}));
  EXPECT_EQ(H::decodeJSONObject(std::string("5"), kPMAUTF8StringEncoding, &error), Json(5));
  EXPECT_EQ(H::decodeJSONObject(std::string("\"\xC3\xA9\""), kPMAASCIIStringEncoding, &error), std::nullopt);

  EXPECT_EQ(H::uriDecodeJsonAndConvertToDictionary(std::string("%7B%22a%22%3A%22b+c%22%7D"), &error),
            (Json{{"a", "b c"}}));
  error = {};
  EXPECT_EQ(H::uriDecodeJsonAndConvertToDictionary(std::string("nope"), &error), Json::object());
  EXPECT_EQ(error.domain, kPMAOSAPIErrorDomain);
}

TEST_F(HelperMethodsTest, FailuresWithoutAnErrorOutAreLoggedAndSerialisationFailuresPrinted) {
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(2);
  EXPECT_EQ(H::dictionaryFromJsonString(std::nullopt), std::nullopt);
  EXPECT_EQ(H::JSONStringFromDictionary(Json{{"a", 1}}, nullptr), "{\"a\":1}");
  EXPECT_EQ(H::JSONStringFromDictionary(Json("text"), nullptr), std::nullopt);
  EXPECT_EQ(H::JSONStringFromDictionary(Json{{"x", std::nan("")}}, nullptr), std::nullopt);
  const std::string prefix = "PMAHelperMethods convertDictionaryIntoJSON JSON Error Error Domain=PMAOSAPIErrorDomain ";
  EXPECT_EQ(console.lines(),
            (std::vector<std::string>{"dictionaryFromJsonString: | failed to create dictionary, error: Error "
                                      "Domain=PMAErrorDomain Code=0 \"cannot serialize json string - empty string param\"",
                                      prefix + "Code=0 \"Invalid top-level type in JSON write\"",
                                      prefix + "Code=0 \"Invalid number value (not finite) in JSON write\""}));
}

TEST_F(HelperMethodsTest, ErrorBuildersAndSmallConversions) {
  EXPECT_EQ(H::errorWithReason(std::nullopt, 7, std::nullopt),
            (platform::Error{"PMAErrorDomain", 7, "internal error - unknown reason"}));
  EXPECT_EQ(H::buildErrorMessageFromError(std::nullopt, "dflt"), "dflt");
  EXPECT_EQ(H::buildErrorMessageFromError(platform::Error{"D", 1, ""}, "dflt"), "dflt");
  EXPECT_EQ(H::buildErrorMessageFromError(platform::Error{"D", 1, "why"}, "dflt"), "why");
  EXPECT_TRUE(H::areKeysExistInDictionary(Json{{"a", 1}, {"b", nullptr}}, {"a", "b"}));
  EXPECT_FALSE(H::areKeysExistInDictionary(Json{{"a", 1}}, {"a", "c"}));
  EXPECT_EQ(H::stringFromData("\xFF", kPMAUTF8StringEncoding), std::nullopt);
  EXPECT_EQ(H::stringFromData("\xE9t", kPMAISOLatin1StringEncoding), "\xC3\xA9t");
  EXPECT_EQ(H::getDeviceApiLevelFromDeviceOsVersion("17.1.2"), "17");
  EXPECT_EQ(H::getDeviceApiLevelFromDeviceOsVersion("17"), "");
  EXPECT_EQ(H::productTypeByPMAType(3), "OfferWall");
  EXPECT_EQ(H::productTypeByPMAType(5), std::nullopt);
  EXPECT_FALSE(QBNAdSize("b", 320, 0).isDrawable());
  EXPECT_FALSE(QBNAdSize("b", 320, 0).isZero());
  EXPECT_EQ(QBNOMIDManager::getOmidLibInfo(),
            (Json{{"omidVersion", "1.4.2-Quilbrn"}, {"omidPartnerName", "Quilbrn"}, {"omidPartnerVersion", "7"}}));
}

TEST_F(HelperMethodsTest, LooseValuesReadAsTheirBooleanAndInteger) {
  const std::vector<std::pair<Json, std::optional<bool>>> bools = {
      {true, true},   {0, false},      {0.5, true},     {"true", true}, {"YES", true}, {"007", true},
      {" -1", true},  {"false", false}, {"no", false},  {"", false},    {nullptr, std::nullopt}};
  for (const auto& [value, expected] : bools) EXPECT_EQ(qbnjson::boolValue(value), expected) << value.dump();
  const std::vector<std::pair<Json, int64_t>> ints = {
      {"42abc", 42}, {" -7", -7}, {"x1", 0}, {2.9, 2}, {true, 1}, {"99999999999999999999", INT64_MAX}};
  for (const auto& [value, expected] : ints) EXPECT_EQ(qbnjson::integerValue(value), expected) << value.dump();
}

TEST_F(HelperMethodsTest, ColoursFromHexText) {
  using C = platform::Color;
  const std::vector<std::pair<std::string, C>> cases = {
      {"#fff", C{1, 1, 1, 1}},
      {"00000080", C{0, 0, 0, 128 / 255.0}},
      {"#1a2B3c", C{0x1a / 255.0, 0x2b / 255.0, 0x3c / 255.0, 1}},
      {"#ff", C{0, 0, 0, 1}},         // two digits: only the alpha byte
      {"zz", C{0, 0, 0, 0}},          // no digits
      {"123456789", C{1, 1, 1, 1}}};  // past 32 bits: all ones
  for (const auto& [text, colour] : cases) EXPECT_EQ(H::colorWithHexString(text), colour) << text;
  EXPECT_EQ(H::colorWithHex(0x336699), (C{0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0, 1}));
}

TEST_F(HelperMethodsTest, CloseButtonFrameFromPosition) {
  const platform::Rect frame = platform::Rect::make(100, 100, 320, 480);  // its origin is not added
  const std::vector<std::pair<Json, platform::Point>> cases = {
      {"top-left", {10, 10}},       {"top-right", {280, 10}},         {"bottom-left", {10, 440}},
      {"bottom-right", {280, 440}}, {{{"x", "5"}, {"y", 7}}, {5, 7}}, {{{"x", 5}}, {0, 0}},
      {"middle", {0, 0}}};
  for (const auto& [position, origin] : cases) {
    const Json params = {{"width", 30}, {"height", "30"}, {"margin", 10}, {"position", position}};
    EXPECT_EQ(H::frameForButtonFromParamsDictionary(params, frame), (platform::Rect{origin, {30, 30}})) << position;
  }
}

TEST_F(HelperMethodsTest, GeneralParamsAndTheIpadCheckFromTheDevice) {
  setDevice([](platform::DeviceFacts& f) {
    f.osVersion = "17";
    f.vendorId = "VENDOR";
    f.isAdvertisingTrackingEnabled = true;
    f.advertisingId = std::nullopt;
    f.carrierName = "Carrier";
  });
  EXPECT_EQ(H::getGeneralParamsDic(),
            (Json{{"deviceOEM", "Apple"}, {"deviceModel", "iPhone15,2"}, {"deviceOs", "ios"},
                  {"deviceOSVersion", "17"}, {"deviceApiLevel", "17"}, {"bundleId", "com.example.host"},
                  {"SDKVersion", "7.3.1"}, {"deviceIds[IDFV]", "VENDOR"}, {"deviceIds[IFA]", ""},
                  {"isLimitAdTrackingEnabled", "false"}, {"mobileCarrier", "Carrier"}}));

  using I = platform::UserInterfaceIdiom;
  for (const auto& c : std::vector<std::tuple<std::string, I, bool>>{{"iPad13,1", I::Phone, true},
                                                                      {"IPAD7,5", I::Unspecified, true},
                                                                      {"iPad13,1", I::Pad, false},
                                                                      {"iPhone15,2", I::Phone, false}}) {
    setDevice([&](platform::DeviceFacts& f) {
      f.hardwareModel = std::get<0>(c);
      f.interfaceIdiom = std::get<1>(c);
    });
    EXPECT_EQ(H::isIphoneAppOnIpadDevice(), std::get<2>(c)) << std::get<0>(c);
  }
}

TEST_F(HelperMethodsTest, LogWritesWhenThreeMinusTheModeIsAtMostTheLevelUnsigned) {
  auto& log = PlovermarkLogManager::sharedManager();
  // mode -> which of the levels 0..4 are written
  for (const auto& [mode, written] : std::vector<std::pair<int64_t, std::string>>{
           {0, "....."}, {1, "..XXX"}, {2, ".XXXX"}, {3, "XXXXX"}, {4, "....."}, {-1, "....X"}}) {
    log.setRequiredDebugMode(mode);
    std::string seen;
    for (uint64_t level = 0; level < 5; ++level) {
      const size_t before = console.lines().size();
      log.log("line", level, 5);
      seen += console.lines().size() > before ? 'X' : '.';
    }
    EXPECT_EQ(seen, written) << "mode " << mode;
  }
  console.clear();
  log.logWithNetworkPrefix("hello", 0, 1);  // mode -1 from the table: level 0 is not written
  log.setRequiredDebugMode(3);
  log.logWithNetworkPrefix("hello", 0, 1);
  EXPECT_EQ(console.lines(), std::vector<std::string>{"[QuillborneNetwork | SDK | hello]"});
}

struct PresentingController : platform::ViewController {
  void present(const std::shared_ptr<PresentingController>& other) {
    setPresentedViewController(other);
    other->setPresentingViewController(sharedController());
  }
};

TEST_F(HelperMethodsTest, TopMostControllerFollowsPresentedControllersFromTheKeyWindow) {
  auto& app = platform::Application::shared();
  app.resetForTesting();
  EXPECT_EQ(H::topMostController(), nullptr);
  auto window = std::make_shared<platform::Window>();
  auto root = std::make_shared<PresentingController>();
  auto top = std::make_shared<PresentingController>();
  window->setRootViewController(root);
  app.setKeyWindow(window);
  EXPECT_EQ(H::topMostController(), root);
  root->present(std::make_shared<PresentingController>());
  std::static_pointer_cast<PresentingController>(root->presentedViewController())->present(top);
  EXPECT_EQ(H::topMostController(), top);
  app.resetForTesting();
}

TEST_F(HelperMethodsTest, UrlHandlerOpensThroughTheApplicationAndAnswersNoForNoUrl) {
  auto& app = platform::Application::shared();
  app.resetForTesting();
  std::vector<bool> answers;
  PMEUrlHandler::openURL(std::nullopt, [&](bool ok) { answers.push_back(ok); });
  EXPECT_EQ(answers, std::vector<bool>{false});  // at once
  app.setOpenURLAnswer([](const std::string& url) { return url.rfind("https:", 0) == 0; });
  PMEUrlHandler::openURL(std::string("https://example.com/a?b=1"), [&](bool ok) { answers.push_back(ok); });
  PMEUrlHandler::openURL(std::string("itms-apps://x"), [&](bool ok) { answers.push_back(ok); });
  env.runUntilIdle();
  EXPECT_EQ(answers, (std::vector<bool>{false, true, false}));
  ASSERT_EQ(app.openURLRequests().size(), 2u);
  EXPECT_EQ(app.openURLRequests()[0].url, "https://example.com/a?b=1");
  app.resetForTesting();
}

}  // namespace
