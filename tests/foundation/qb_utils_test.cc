#include "foundation/QBUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "foundation/QBKeyValueStorageProvider.h"
#include "foundation/QBUserDefaultsUtilities.h"
#include "foundation_test_support.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

class QBUtilsTest : public foundationtest::FoundationTest {
 protected:
  QBUtilsTest() : FoundationTest(1'700'000'000'123), savedRoot(platform::dataRoot()) { platform::setDataRoot(dir.path()); }
  ~QBUtilsTest() override {
    platform::setDataRoot(savedRoot);
    platform::UserDefaults::resetStandardForTesting();
    QBUtils::resetSessionIdForTesting();
  }

  qbtest::TempDir dir;
  std::string savedRoot;
};

TEST_F(QBUtilsTest, SessionIdIsOneUuidUntilReset) {
  const std::string id = QBUtils::UUIDForSession();
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
      << id;
  EXPECT_EQ(QBUtils::UUIDForSession(), id);
  QBUtils::resetSessionIdForTesting();
  EXPECT_NE(QBUtils::UUIDForSession(), id);
}

TEST_F(QBUtilsTest, TimeIsTheWallClockInMillisecondsAndDiskSpaceWholeMebibytes) {
  EXPECT_EQ(QBUtils::timeInMilliSeconds(), "1700000000123");
  platform::DeviceFacts f;
  f.freeDiskBytes = (uint64_t{5} << 20) + 1000;
  platform::setDeviceFactsForTesting(f);
  EXPECT_EQ(QBUtils::freeDiskSpace(), 5u);
}

TEST_F(QBUtilsTest, TransIdIsSha256OfThePartsJoinedWithoutSeparator) {
  // printf '1700000000000abc123instanceA' | sha256sum
  EXPECT_EQ(QBUtils::transIdFromParts("1700000000000", "abc123", "instanceA"),
            "6981e838fe45367037a39d4144f64a56eeef56e199817b139949c49c349823d8");
  // printf '' | sha256sum
  EXPECT_EQ(QBUtils::transIdFromParts("", "", ""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(QBUtilsTest, AppFactsAndUserIdHaveNoFallbacks) {
  platform::setAppInfo({{"CFBundleDisplayName", "Demo"}, {"CFBundleVersion", "210"}});
  EXPECT_EQ(QBUtils::getAppName(), "Demo");
  EXPECT_EQ(QBUtils::getAppVersion(), std::nullopt);  // no CFBundleVersion fallback here
  platform::setAppInfo({{"CFBundleDisplayName", ""}});
  EXPECT_EQ(QBUtils::getAppName(), std::nullopt);
  EXPECT_EQ(QBUtils::userIdForNetworks(""), std::nullopt);
}

TEST_F(QBUtilsTest, PatternsMatchAnywhereUnlessAnchored) {
  EXPECT_FALSE(QBUtils::matchesPattern("abc-123", "^[0-9a-zA-Z]+$"));
  EXPECT_TRUE(QBUtils::matchesPattern("abc-123", "[0-9]+"));
  EXPECT_FALSE(QBUtils::matchesPattern("abc", "("));  // invalid pattern
  std::string longText(100'000, 'a');
  longText += '!';  // appended, not "+": g++ 12 -O2 warns falsely on the temporary
  EXPECT_FALSE(QBUtils::matchesPattern(longText, "^(a+)+$"));  // linear time
}

TEST_F(QBUtilsTest, UserDefaultsGettersFallBackForAbsentOrMistypedValues) {
  using D = QBUserDefaultsUtilities;
  EXPECT_EQ(D::getStringFromUserDefaultsWithKey("QBNSdkVersion", "-1"), "-1");
  D::saveStringToUserDefaultsWithKey("QBNSdkVersion", "7.3.1");
  EXPECT_EQ(D::getStringFromUserDefaultsWithKey("QBNSdkVersion", "-1"), "7.3.1");
  EXPECT_EQ(QBUtils::getStringFromUserDefaults("QBNSdkVersion", "-1"), "7.3.1");

  D::saveIntegerToUserDefaultsWithKey("count", 7);
  D::saveObjectToUserDefaultsWithKey("float", 2.9);
  D::saveObjectToUserDefaultsWithKey("huge", 1e300);
  EXPECT_EQ(D::getIntegerFromUserDefaultsWithKey("float", -1), 2);
  EXPECT_EQ(D::getIntegerFromUserDefaultsWithKey("huge", -1), -1);
  EXPECT_EQ(D::getIntegerFromUserDefaultsWithKey("QBNSdkVersion", -1), -1);
  EXPECT_EQ(D::getStringFromUserDefaultsWithKey("count", "d"), "d");

  EXPECT_TRUE(QBUtils::getBoolFromUserDefaults("QBNSdkVersion", true));

  // Written through to the file of the data root.
  platform::UserDefaults::resetStandardForTesting();
  EXPECT_EQ(D::getStringFromUserDefaultsWithKey("QBNSdkVersion", "-1"), "7.3.1");
}

// Each store in its own file: a damaged file is logged and empties that store
// only; the settings and the other stores keep their values.
TEST_F(QBUtilsTest, KeyValueStoresKeepTheirOwnFilesAndLogADamagedOne) {
  auto mediation = QBKeyValueStorageProvider::storageWithIdentifier("mediation");
  auto events = QBKeyValueStorageProvider::storageWithIdentifier("events");
  const Json config = {{"providerOrder", Json::array({"a", "b"})}};
  mediation->setValue("config", config);
  events->setValue("config", "other");
  QBUserDefaultsUtilities::saveStringToUserDefaultsWithKey("setting", "s");
  EXPECT_EQ(platform::UserDefaults(platform::userDefaultsSuitePath("com.plovermark.mediation")).dictionaryRepresentation(),
            (Json{{"com.plovermark.mediation.config", config}}));
  EXPECT_EQ(platform::UserDefaults::standard().dictionaryRepresentation(), (Json{{"setting", "s"}}));

  const std::string eventsFile = platform::userDefaultsSuitePath("com.plovermark.events");
  ASSERT_TRUE(platform::writeFileAtomically(eventsFile, "[").ok());
  platform::UserDefaults::resetStandardForTesting();
  EXPECT_EQ(events->getValue("config"), std::nullopt);
  EXPECT_EQ(mediation->getValue("config"), config);
  EXPECT_EQ(QBUserDefaultsUtilities::getStringFromUserDefaultsWithKey("setting", ""), "s");
  const std::string logged = "user defaults store " + eventsFile + " was corrupt (not a JSON object) - set aside as " +
                             eventsFile + ".corrupt, the store starts empty";
  EXPECT_EQ(console.countContaining(logged), 1u);
}

}  // namespace
