// QBError's code table and factories, the per-ad-unit error codes and the
// QBAdUnit value type.
#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/QBAdUnitErrorsWrapper.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBError.h"

namespace {

const QBAdUnit kRv = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO();
const QBAdUnit kIs = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();
const QBAdUnit kOw = QBAdUnit::QB_AD_UNIT_OFFERWALL();
const QBAdUnit kBn = QBAdUnit::QB_AD_UNIT_BANNER();

TEST(QBErrorTest, PlaceholdersAreFilledInOrderInTheEmptyDomain) {
  QBError error = QBError::createError(1038, {"NSRangeException", "index 3 beyond bounds"});
  EXPECT_EQ(error.domain(), "");
  EXPECT_EQ(error.code(), 1038);
  EXPECT_EQ(error.localizedDescription(), "showAd - exception = NSRangeException index 3 beyond bounds");

  EXPECT_EQ(QBError::createError(509, std::vector<std::string>{kRv.value()}).message(),
            "rewardedVideo Show Fail - No ads to show");
  EXPECT_EQ(QBError::createError(510, {"time out"}).message(), "time out");
}

TEST(QBErrorTest, MissingParametersLeaveEmptyPlaceholdersAndExtraOnesAreIgnored) {
  EXPECT_EQ(QBError::createError(1038, {"OnlyName"}).message(), "showAd - exception = OnlyName ");
  EXPECT_EQ(QBError::createError(524).message(), "placement  is capped");
  EXPECT_EQ(QBError::createError(524, {"Home", "extra", "more"}).message(), "placement Home is capped");
}

TEST(QBErrorTest, MessageFormKeepsTheMessageAndUnknownCodesGetTheGenericOne) {
  EXPECT_EQ(QBError::createError(524, std::string("keeps %@ as is")).message(), "keeps %@ as is");
  EXPECT_EQ(QBError::createError(99999, "text").message(), "text");
  EXPECT_EQ(QBError::createError(4242, {"a"}).message(), QBError::kUnknownErrorMessage);
  EXPECT_EQ(QBError::fillTemplate("%@%@-%@", {"%@", "b"}), "%@b-");  // never re-expands a parameter
}

TEST(QBErrorTest, OtherDomainsAndDescription) {
  QBError error = QBError::createErrorWithDomain("Quillborne", 510, "failed");
  EXPECT_EQ(error.description(), "Error Domain=Quillborne Code=510 \"failed\"");
  EXPECT_EQ(error, QBError("Quillborne", 510, "failed"));
  EXPECT_NE(error, QBError::createError(510, "failed"));
}

TEST(QBErrorTest, TableHoldsTheTextsTheLibraryReports) {
  const std::vector<std::pair<int, std::string>> expected = {
      {520, "No internet connection"},
      {616, "quillborne unsupported banner size"},
      {1010, "winner instance missing from waterfall - %@"},
      {1020, "show called with empty default placement"},
      {1022, "can't show ad while an ad is already showing"},
      {1024, "no auction candidates"},
      {1027, "load cannot be invoked while showing an ad"},
      {1057, "loaded ads are expired"},
  };
  for (const auto& [code, text] : expected) EXPECT_EQ(QBError::messageTemplateForCode(code), text) << code;
  for (int code : {501, 502, 508, 526}) EXPECT_TRUE(QBError::messageTemplateForCode(code).has_value()) << code;
}

struct WrapperRow {
  const char* name;
  int (*op)(const QBAdUnit&);
  int interstitial;
  int rewardedVideo;
};

const WrapperRow kWrapperRows[] = {
    {"loadDuringShow", &QBAdUnitErrorsWrapper::loadDuringShow, 1037, 1027},
    {"loadFailedNoCandidates", &QBAdUnitErrorsWrapper::loadFailedNoCandidates, 1035, 1024},
    {"initFailed", &QBAdUnitErrorsWrapper::initFailed, 1041, 1040},
    {"showFailed", &QBAdUnitErrorsWrapper::showFailed, 1039, 1038},
    {"showDuringShow", &QBAdUnitErrorsWrapper::showDuringShow, 1036, 1022},
    {"emptyDefaultPlacement", &QBAdUnitErrorsWrapper::emptyDefaultPlacement, 1020, 1021},
};

TEST(QBAdUnitErrorsWrapperTest, CodesPerAdUnitAndEachHasAMessage) {
  for (const auto& row : kWrapperRows) {
    EXPECT_EQ(row.op(kIs), row.interstitial) << row.name;
    EXPECT_EQ(row.op(kRv), row.rewardedVideo) << row.name;
    EXPECT_EQ(row.op(kBn), 510) << row.name;
    EXPECT_EQ(row.op(kOw), 510) << row.name;
    // A code the wrapper hands out must give a real message, not the generic one.
    EXPECT_TRUE(QBError::messageTemplateForCode(row.interstitial).has_value()) << row.name;
    EXPECT_TRUE(QBError::messageTemplateForCode(row.rewardedVideo).has_value()) << row.name;
  }
}

TEST(QBAdUnitTest, ValuesEqualityAndIds) {
  EXPECT_EQ(kRv.value(), "rewardedVideo");
  EXPECT_EQ(kIs.value(), "interstitial");
  EXPECT_EQ(kOw.value(), "offerwall");
  EXPECT_EQ(kBn.value(), "banner");
  EXPECT_EQ(QBAdUnit::fromValue("interstitial"), kIs);

  EXPECT_EQ(kOw.getAdUnitId(), 1);
  EXPECT_EQ(kIs.getAdUnitId(), 2);
  EXPECT_EQ(kRv.getAdUnitId(), 3);
  EXPECT_EQ(kBn.getAdUnitId(), 4);

  EXPECT_FALSE(QBAdUnit::fromValue("rewardedvideo").has_value());
  std::unordered_set<QBAdUnit> units = {kRv, kIs, kOw, kBn, QBAdUnit::QB_AD_UNIT_BANNER()};
  EXPECT_EQ(units.size(), 4u);
}

}  // namespace
