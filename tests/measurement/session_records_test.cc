// The records a session is made from: the context's initialisers (their
// checks in order), its outputs, the configuration, the verification script
// resource, the VAST properties and the event filter (from many threads).
#include <atomic>
#include <set>
#include <thread>

#include "measurement/session/OMIDQuilbrnAdSessionConfiguration.h"
#include "measurement/session/OMIDQuilbrnAdSessionContext.h"
#include "measurement/session/OMIDQuilbrnEventFilter.h"
#include "measurement/session/OMIDQuilbrnVASTProperties.h"
#include "measurement_support.h"
#include "platform/device.h"
#include "platform/uuid.h"
#include "platform/web/web_view.h"

namespace measurementtest {
namespace {

using platform::Json;
namespace C = OMIDQuilbrnErrorCode;

using Resources = std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>>;

class SessionRecordsTest : public MeasurementTest {
 protected:
  std::shared_ptr<OMIDQuilbrnPartner> partner = OMIDQuilbrnPartner::initWithName("Quilbrn", "7");
  std::shared_ptr<platform::WebView> webView = std::make_shared<platform::WebView>();
  Resources resources = {OMIDQuilbrnVerificationScriptResource::initWithURL("https://v.example/a.js", "vendor-a",
                                                                             "{\"k\":1}")};
};

// An identifier of `units` UTF-16 units written with characters of two units
// (an emoji) and one unit of two bytes ("é").
std::string identifierOfUnits(size_t units) {
  std::string text;
  for (size_t i = 0; i + 2 <= units; i += 2) text += "\xF0\x9F\x98\x80";
  if (units % 2) text += "\xC3\xA9";
  return text;
}

// Every initialiser's checks, in their order: each row breaks everything up
// to its check and expects that check's code.
TEST_F(SessionRecordsTest, InitialisersCheckInOrder) {
  enum Kind { Html, JavaScript, Native };
  struct Case {
    const char* what;
    Kind kind;
    bool active;
    bool webView;
    bool partner;
    Resources resources;
    std::optional<std::string> script;
    std::optional<std::string> identifier;
    int code;
  };
  const std::string tooLong = identifierOfUnits(257);
  const std::vector<Case> cases = {
      {"html: not active before all", Html, false, false, false, {}, std::nullopt, tooLong, C::NotActivated},
      {"html: web view before partner", Html, true, false, false, {}, std::nullopt, tooLong, C::NoWebView},
      {"html: partner before identifier", Html, true, true, false, {}, std::nullopt, tooLong, C::NoPartner},
      {"html: identifier", Html, true, true, true, {}, std::nullopt, tooLong, C::IdentifierTooLong},
      {"html: good", Html, true, true, true, {}, std::nullopt, identifierOfUnits(256), 0},
      {"js: not active", JavaScript, false, true, true, {}, std::nullopt, std::nullopt, C::NotActivated},
      {"js: web view", JavaScript, true, false, false, {}, std::nullopt, std::nullopt, C::NoWebView},
      {"js: good", JavaScript, true, true, true, {}, std::nullopt, std::nullopt, 0},
      {"native: not active before all", Native, false, false, false, {}, "", tooLong, C::NotActivated},
      {"native: resources before partner", Native, true, false, false, {}, "", tooLong, C::NoResources},
      {"native: partner before script", Native, true, false, false, resources, "", tooLong, C::NoPartner},
      {"native: empty script before identifier", Native, true, false, true, resources, "", tooLong, C::EmptyScript},
      {"native: missing script passes", Native, true, false, true, resources, std::nullopt, tooLong,
       C::IdentifierTooLong},
      {"native: good", Native, true, false, true, resources, "var s;", identifierOfUnits(256), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.active) OMIDQuilbrnSDK::sharedInstance()->activate();
    else OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    platform::Error error;
    std::shared_ptr<OMIDQuilbrnAdSessionContext> context;
    auto p = c.partner ? partner : nullptr;
    auto w = c.webView ? webView : nullptr;
    if (c.kind == Html) context = OMIDQuilbrnAdSessionContext::initWithPartner(p, w, std::nullopt, c.identifier, &error);
    if (c.kind == JavaScript) {
      context = OMIDQuilbrnAdSessionContext::initWithPartnerJavaScriptWebView(p, w, std::nullopt, c.identifier, &error);
    }
    if (c.kind == Native) {
      context = OMIDQuilbrnAdSessionContext::initWithPartner(p, c.script, c.resources, std::nullopt, c.identifier, &error);
    }
    if (c.code == 0) {
      ASSERT_TRUE(context);
      EXPECT_EQ(error.code, 0);
      EXPECT_EQ(context->type(), c.kind == Html ? 0u : c.kind == Native ? 1u : 2u);
      continue;
    }
    EXPECT_FALSE(context);
    EXPECT_EQ(error.domain, "com.omid.library");
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.code == C::IdentifierTooLong ? OMIDQuilbrnError::identifierTooLongMessage(257)
                                                           : OMIDQuilbrnError::messageForCode(c.code));
    // Without an error out-pointer the call still fails.
    if (c.kind == Html) {
      EXPECT_FALSE(OMIDQuilbrnAdSessionContext::initWithPartner(p, w, std::nullopt, c.identifier, nullptr));
    }
  }
}

// The 256 limit counts UTF-16 units: 256 emoji-halves pass (1,024 bytes), one
// more unit fails and the message gives the units.
TEST_F(SessionRecordsTest, IdentifierLimitCountsUtf16Units) {
  for (size_t units : {size_t{255}, size_t{256}, size_t{257}, size_t{258}}) {
    SCOPED_TRACE(units);
    platform::Error error;
    const std::string identifier = identifierOfUnits(units);
    auto context = OMIDQuilbrnAdSessionContext::initWithPartner(partner, webView, std::nullopt, identifier, &error);
    EXPECT_EQ(context != nullptr, units <= 256);
    if (!context) {
      EXPECT_EQ(error.message, OMIDQuilbrnError::identifierTooLongMessage(units));
    }
  }
  // 256 ASCII bytes pass, 257 fail.
  EXPECT_TRUE(OMIDQuilbrnAdSessionContext::initWithPartner(partner, webView, std::nullopt, std::string(256, 'x'), nullptr));
  EXPECT_FALSE(OMIDQuilbrnAdSessionContext::initWithPartner(partner, webView, std::nullopt, std::string(257, 'x'), nullptr));
}

TEST_F(SessionRecordsTest, ContextOutputs) {
  platform::DeviceFacts facts;
  facts.hardwareModel = "x86_64";
  platform::setDeviceFactsForTesting(facts);
  OMIDQuilbrnDevice::resetForTesting();
  auto html = OMIDQuilbrnAdSessionContext::initWithPartner(partner, webView, std::nullopt, std::nullopt, nullptr);
  const Json expected = {{"environment", "app"},
                         {"adSessionType", "html"},
                         {"supports", {"clid", "vlid"}},
                         {"omidNativeInfo", {{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}},
                         {"app", OMIDQuilbrnSDK::sharedInstance()->appInfo()},
                         {"deviceInfo", {{"deviceType", "x86_64"}, {"os", "iOS"}, {"osVersion", "17.0"}}},
                         {"deviceCategory", "mobile"}};
  EXPECT_EQ(html->toJSON(), expected);
  EXPECT_EQ(html->webView(), webView);

  auto withBoth = OMIDQuilbrnAdSessionContext::initWithPartnerJavaScriptWebView(partner, webView, "https://c.example/",
                                                                                "ref-1", nullptr);
  Json both = expected;
  both["adSessionType"] = "javascript";
  both["contentUrl"] = "https://c.example/";
  both["customReferenceData"] = "ref-1";
  EXPECT_EQ(withBoth->toJSON(), both);

  // Two resources with the same URL get two injection identifiers.
  const Resources three = {
      OMIDQuilbrnVerificationScriptResource::initWithURL("https://v.example/a.js", "vendor-a", "pa"),
      OMIDQuilbrnVerificationScriptResource::initWithURL("https://v.example/a.js", "vendor-b", "pb"),
      OMIDQuilbrnVerificationScriptResource::initWithURL("https://v.example/c.js")};
  auto native = OMIDQuilbrnAdSessionContext::initWithPartner(partner, std::nullopt, three, std::nullopt, std::nullopt,
                                                             nullptr);
  ASSERT_TRUE(native);
  EXPECT_EQ(native->typeString(), "native");
  EXPECT_FALSE(native->script().has_value());
  EXPECT_EQ(native->resourcesJSON(), (Json{{"vendor-a", "pa"}, {"vendor-b", "pb"}}));
  const auto& injected = native->injectedResources();
  ASSERT_EQ(injected.size(), 3u);
  std::set<std::string> ids;
  for (const auto& [id, resource] : injected) {
    EXPECT_TRUE(platform::Uuid::fromString(id).has_value()) << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(native->injectedResourcesJSON(),
            (Json{{injected[0].first, {{"verificationParameters", "pa"}, {"resourceUrl", "https://v.example/a.js"},
                                       {"vendorKey", "vendor-a"}}},
                  {injected[1].first, {{"verificationParameters", "pb"}, {"resourceUrl", "https://v.example/a.js"},
                                       {"vendorKey", "vendor-b"}}},
                  {injected[2].first, {{"resourceUrl", "https://v.example/c.js"}}}}));
  platform::resetDeviceFactsForTesting();
}

TEST_F(SessionRecordsTest, ConfigurationChecksInOrder) {
  struct Case {
    unsigned creative, impression, owner, mediaOwner;
    int code;
  };
  const Case cases[] = {
      {0, 0, 0, 0, C::BadCreativeType},        {6, 1, 1, 1, C::BadCreativeType},
      {2, 0, 0, 0, C::BadImpressionType},      {2, 9, 2, 2, C::BadImpressionType},
      {2, 6, 3, 2, C::ImpressionOwnerNone},    {2, 6, 0, 2, C::ImpressionOwnerNone},
      {1, 6, 2, 2, C::DefinedByJavaScriptNeedsJavaScriptOwner},
      {2, 1, 2, 2, C::DefinedByJavaScriptNeedsJavaScriptOwner},
      {2, 6, 2, 2, 0},                         {1, 1, 1, 0, 0},
      {5, 8, 7, 9, 0},  // owners above 3 are not refused
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.creative << "/" << c.impression << "/" << c.owner);
    platform::Error error;
    auto configuration =
        OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(c.creative, c.impression, c.owner, c.mediaOwner, true, &error);
    EXPECT_EQ(error.code, c.code);
    ASSERT_EQ(configuration != nullptr, c.code == 0);
    if (!configuration) continue;
    EXPECT_EQ(configuration->mediaEventsOwner(), c.mediaOwner == 0 ? 3u : c.mediaOwner);
    EXPECT_TRUE(configuration->isolateVerificationScripts());
  }
}

TEST(OMIDQuilbrnRecords, VerificationScriptResourceAndVastProperties) {
  using R = OMIDQuilbrnVerificationScriptResource;
  EXPECT_TRUE(R::initWithURL("https://v/a.js", "k", "p"));
  EXPECT_FALSE(R::initWithURL("", "k", "p"));
  EXPECT_FALSE(R::initWithURL("https://v/a.js", "", "p"));
  EXPECT_FALSE(R::initWithURL("https://v/a.js", "k", std::nullopt));
  auto bare = R::initWithURL("https://v/a.js");
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->vendorKey());
  EXPECT_FALSE(R::initWithURL(""));

  EXPECT_EQ(OMIDQuilbrnVASTProperties::initWithSkipOffset(5.5, true, OMIDQuilbrnPositionMidroll).toJSON(),
            (Json{{"skippable", true}, {"skipOffset", 5.5}, {"autoPlay", true}, {"position", "midroll"}}));
  EXPECT_EQ(OMIDQuilbrnVASTProperties::initWithAutoPlay(false, OMIDQuilbrnPositionStandalone).toJSON(),
            (Json{{"skippable", false}, {"autoPlay", false}, {"position", "standalone"}}));
  EXPECT_EQ(OMIDQuilbrnVASTProperties::initWithSkippable(false, 3, true, 9).positionString(), "preroll");
  EXPECT_EQ(OMIDQuilbrnVASTProperties::initWithSkippable(false, 3, true, 2).positionString(), "postroll");
}

TEST(OMIDQuilbrnEventFilter, EachCodeOnceAndNothingAfterTheFinal) {
  OMIDQuilbrnEventFilter filter(32);
  EXPECT_TRUE(filter.acceptAnyEventWithRequiredEventCodes(0));
  EXPECT_FALSE(filter.acceptAnyEventWithRequiredEventCodes(1));
  EXPECT_TRUE(filter.acceptEventWithCode(1));
  EXPECT_FALSE(filter.acceptEventWithCode(1));
  EXPECT_TRUE(filter.acceptAnyEventWithRequiredEventCodes(1));
  EXPECT_FALSE(filter.acceptEventWithCode(16, 1));  // blocked by the start
  EXPECT_TRUE(filter.acceptEventWithCode(8));
  EXPECT_FALSE(filter.isFinalEventAccepted());
  EXPECT_TRUE(filter.acceptEventWithCode(32));
  EXPECT_TRUE(filter.isFinalEventAccepted());
  EXPECT_FALSE(filter.acceptEventWithCode(2));  // a first impression after the final code
  EXPECT_FALSE(filter.acceptAnyEventWithRequiredEventCodes(0));
}

// Eight threads ask for the same code at once, many rounds: exactly one wins
// each round (run under the thread sanitizer too).
TEST(OMIDQuilbrnEventFilterRealMode, OneCodeFromEightThreadsIsAcceptedOnce) {
  constexpr int kThreads = 8, kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    OMIDQuilbrnEventFilter filter(32);
    std::atomic<int> ready{0};
    std::atomic<int> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        ++ready;
        while (ready.load() < kThreads) std::this_thread::yield();
        if (filter.acceptEventWithCode(2)) ++accepted;
        filter.acceptAnyEventWithRequiredEventCodes(2);
      });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(accepted.load(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace measurementtest
