// QBError's code table and factories, the per-ad-unit error codes and the
// QBAdUnit value type.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

TEST(QBErrorTest, MessagesFillPlaceholdersInOrderInTheEmptyDomain) {
  QBError error = QBError::createError(1038, {"NSRangeException", "index 3 beyond bounds"});
  EXPECT_EQ(error.domain(), "");
  EXPECT_EQ(error.code(), 1038);
  EXPECT_EQ(error.localizedDescription(), "showAd - exception = NSRangeException index 3 beyond bounds");

  const std::pair<QBError, std::string> cases[] = {
      {QBError::createError(509, std::vector<std::string>{kRv.value()}), "rewardedVideo Show Fail - No ads to show"},
      {QBError::createError(510, {"time out"}), "time out"},
      // Missing parameters leave empty placeholders; extra ones are ignored.
      {QBError::createError(1038, {"OnlyName"}), "showAd - exception = OnlyName "},
      {QBError::createError(524), "placement  is capped"},
      {QBError::createError(524, {"Home", "extra", "more"}), "placement Home is capped"},
      // The message form keeps the message; unknown codes get the generic one.
      {QBError::createError(524, std::string("keeps %@ as is")), "keeps %@ as is"},
      {QBError::createError(99999, "text"), "text"},
      {QBError::createError(4242, {"a"}), QBError::kUnknownErrorMessage},
      {QBError::createError(1010, {"A1"}), "winner instance missing from waterfall - A1"},
      {QBError::createError(520), "No internet connection"},
  };
  for (const auto& [made, message] : cases) EXPECT_EQ(made.message(), message) << made.code();
  EXPECT_EQ(QBError::fillTemplate("%@%@-%@", {"%@", "b"}), "%@b-");  // never re-expands a parameter

  QBError other = QBError::createErrorWithDomain("Quillborne", 510, "failed");
  EXPECT_EQ(other.description(), "Error Domain=Quillborne Code=510 \"failed\"");
  EXPECT_EQ(other, QBError("Quillborne", 510, "failed"));
  EXPECT_NE(other, QBError::createError(510, "failed"));
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

TEST(QBAdUnitTest, ValuesIdsAndEquality) {
  const std::tuple<QBAdUnit, std::string, int> units[] = {
      {kOw, "offerwall", 1}, {kIs, "interstitial", 2}, {kRv, "rewardedVideo", 3}, {kBn, "banner", 4}};
  for (const auto& [unit, value, id] : units) {
    EXPECT_EQ(unit.value(), value);
    EXPECT_EQ(unit.getAdUnitId(), id) << value;
    EXPECT_EQ(QBAdUnit::fromValue(value), unit);
  }
  EXPECT_FALSE(QBAdUnit::fromValue("rewardedvideo").has_value());
  std::unordered_set<QBAdUnit> set = {kRv, kIs, kOw, kBn, QBAdUnit::QB_AD_UNIT_BANNER()};
  EXPECT_EQ(set.size(), 4u);
}

}  // namespace
