// The test suite's auction filter: which configured instances may take part.
#include <gtest/gtest.h>

#include "core/QBAdapterConfig.h"
#include "testsuite/QBTestSuiteLoadAdConfig.h"

namespace {

using platform::Json;

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
  auto instance = QBAdapterConfig::create("instance-1", QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), c.entry);
  EXPECT_EQ(load->shouldAddAdapterConfigInfo(*instance, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), c.expected);
  EXPECT_EQ(load->shouldAddAdapterConfigInfo(*instance, QBAdUnit::QB_AD_UNIT_BANNER()), c.expected);
}

const FilterCase kCases[] = {
    {"NoNetworkKeepsAll", std::nullopt, true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, true},
    {"EmptyNetworkKeepsAll", "", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "2"}}, true},
    {"NameIsCaseSensitive", "tulvo", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, false},
    {"NonBidderWanted", "Tulvo", false, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, true},
    {"BidderWantedNonBidderGiven", "Tulvo", true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "1"}}, false},
    {"BidderWanted", "Tulvo", true, Json{{"providerLoadName", "Tulvo"}, {"instanceType", "2"}}, true},
    {"NoTypeIsNonBidder", "Tulvo", false, Json{{"providerLoadName", "Tulvo"}}, true},
    {"DefaultInstanceNameWins", "TulvoMain", false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", "TulvoMain"}}, true},
    {"ReflectionNameNoLongerMatches", "Tulvo", false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", "TulvoMain"}}, false},
    // A default instance name that is present is the name, even when empty.
    {"AnEmptyDefaultInstanceNameIsTheName", "Tulvo", false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", ""}}, false},
    {"ADefaultInstanceNameThatIsNoTextIsAbsent", "Tulvo", false,
     Json{{"providerLoadName", "Tulvo"}, {"providerDefaultInstance", nullptr}}, true},
};

INSTANTIATE_TEST_SUITE_P(Rule, TestSuiteFilterTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
