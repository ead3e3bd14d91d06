// The test suite's auction filter: which configured instances may take part.
#include <gtest/gtest.h>

#include "core/QBAdapterConfig.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace {

using platform::Json;

std::shared_ptr<QBAdapterConfig> config(const std::string& provider, Json entry) {
  return QBAdapterConfig::create(provider, QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), entry);
}

struct FilterCase {
  const char* name;
  std::optional<std::string> adNetwork;
  bool isBidding;
  Json entry;
  bool expected;
};

class TestSuiteFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(TestSuiteFilterTest, FollowsTheRule) {
  const auto& c = GetParam();
  auto load = QBTestSuiteLoadAdConfig::initWithAdNetwork(c.adNetwork, c.isBidding, true, false);
  auto instance = config("instance-1", c.entry);
  EXPECT_EQ(load->shouldAddAdapterConfigInfo(*instance, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), c.expected);
  EXPECT_EQ(load->shouldAddAdapterConfigInfo(*instance, QBAdUnit::QB_AD_UNIT_BANNER()), c.expected);
}

const FilterCase kCases[] = {
    {"NoNetworkKeepsAll", std::nullopt, true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, true},
    {"EmptyNetworkKeepsAll", "", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "2"}}, true},
    {"OtherNetworkDropped", "Other", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, false},
    {"NameIsCaseSensitive", "tulvo", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, false},
    {"NonBidderWanted", "Tulvo", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, true},
    {"BidderWantedNonBidderGiven", "Tulvo", true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, false},
    {"BidderWanted", "Tulvo", true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "2"}}, true},
    {"NoTypeIsNonBidder", "Tulvo", false, Json{{"providerLoadName", "Tulvo"}}, true},
    {"DefaultInstanceNameWins", "TulvoMain",  false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", "TulvoMain"}}, true},
    {"ReflectionNameNoLongerMatches", "Tulvo", false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", "TulvoMain"}}, false},
};

INSTANTIATE_TEST_SUITE_P(Rule, TestSuiteFilterTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
