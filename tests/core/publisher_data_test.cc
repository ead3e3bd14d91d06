#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/QBConfigurations.h"
#include "core/QBConversionValue.h"
#include "core/QBMetaDataUtils.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "platform/storage.h"
#include "quillborne/QBImpressionData.h"
#include "support/temp_dir.h"

namespace {

class PublisherDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    platform::setDataRoot(dir.path());
    TearDown();
  }
  void TearDown() override {
    QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
    QBConfigurations::getConfigurations().resetForTesting();
    platform::UserDefaults::resetStandardForTesting();
  }
  qbtest::TempDir dir;
};

TEST_F(PublisherDataTest, ConversionValueNeverLowersAndSurvivesReopening) {
  auto cv = QuillborneObjectPublisherDataHolder::sharedInstance().getConversionValueObject();
  EXPECT_EQ(cv->getConversionValue(), std::nullopt);
  EXPECT_TRUE(cv->setCurrentConversionValue(0));
  EXPECT_TRUE(cv->setCurrentConversionValue(5));
  EXPECT_FALSE(cv->setCurrentConversionValue(3));
  EXPECT_FALSE(cv->setCurrentConversionValue(64));
  EXPECT_EQ(cv->getConversionValue(), 5);

  // A new process: the store is read again from its file.
  platform::UserDefaults::resetStandardForTesting();
  QuillborneObjectPublisherDataHolder::sharedInstance().resetForTesting();
  auto reopened = QuillborneObjectPublisherDataHolder::sharedInstance().getConversionValueObject();
  EXPECT_EQ(reopened->getConversionValue(), 5);
  EXPECT_EQ(platform::UserDefaults::standard().integer(QBConversionValue::kUserDefaultsKey), 5);
  EXPECT_FALSE(reopened->setCurrentConversionValue(4));
}

TEST_F(PublisherDataTest, ConcurrentConversionValuesKeepTheHighest) {
  auto cv = QuillborneObjectPublisherDataHolder::sharedInstance().getConversionValueObject();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([cv, t] {
      for (int v = 0; v < 60; ++v) cv->setCurrentConversionValue((v * 7 + t * 13) % 60);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(cv->getConversionValue(), 59);
}

TEST_F(PublisherDataTest, MetaDataKeysAndTheMediationOnlyCopy) {
  EXPECT_TRUE(QBMetaDataUtils::isValidCCPAMetaDataWithKey("Do_Not_Sell", "x"));
  EXPECT_FALSE(QBMetaDataUtils::isValidCCPAMetaDataWithKey("do_not_sell", ""));
  EXPECT_FALSE(QBMetaDataUtils::isValidCCPAMetaDataWithKey("do_not_sell_", "true"));
  EXPECT_TRUE(QBMetaDataUtils::isMediationOnlyMetaDataKey("IS_CHILD_DIRECTED"));
  EXPECT_EQ(QBMetaDataUtils::booleanValue("False"), false);
  EXPECT_EQ(QBMetaDataUtils::booleanValue("1"), std::nullopt);
  EXPECT_FALSE(QBMetaDataUtils::isValidMetaDataKey("a b"));

  auto& holder = QuillborneObjectPublisherDataHolder::sharedInstance();
  holder.setMediationMetaData("Is_Test_Suite", {"enable"});
  auto copy = holder.getMediationMetaData();
  copy["is_test_suite"] = {"changed"};
  EXPECT_EQ(holder.getMediationMetaData(),
            (QuillborneObjectPublisherDataHolder::MetaData{{"is_test_suite", {"enable"}}}));
}

class CountingListener : public QBImpressionDataDelegate {
 public:
  CountingListener(std::vector<int>* log, int id) : log_(log), id_(id) {}
  void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> data) override {
    if (data) log_->push_back(id_);
  }
  std::vector<int>* log_;
  int id_;
};

TEST_F(PublisherDataTest, ImpressionListenersAreWeakUniqueAndToldInOrder) {
  auto delegates = QuillborneObjectPublisherDataHolder::sharedInstance().getImpressionDataDelegates();
  std::vector<int> log;
  auto a = std::make_shared<CountingListener>(&log, 1);
  auto b = std::make_shared<CountingListener>(&log, 2);
  auto c = std::make_shared<CountingListener>(&log, 3);
  EXPECT_TRUE(delegates->addDelegate(a));
  EXPECT_TRUE(delegates->addDelegate(b));
  EXPECT_FALSE(delegates->addDelegate(a));
  EXPECT_FALSE(delegates->addDelegate(nullptr));
  EXPECT_TRUE(delegates->addDelegate(c));
  b.reset();  // gone: drops out by itself, never called
  EXPECT_EQ(delegates->count(), 2u);

  auto data = QBImpressionData::initWithJsonText(R"({"auctionId": "x"})");
  delegates->impressionDataDidSucceed(data);
  delegates->impressionDataDidSucceed(nullptr);
  EXPECT_EQ(log, (std::vector<int>{1, 3}));
  EXPECT_TRUE(delegates->removeDelegate(a));
  EXPECT_FALSE(delegates->removeDelegate(a));
  delegates->impressionDataDidSucceed(data);
  EXPECT_EQ(log, (std::vector<int>{1, 3, 3}));
}

}  // namespace
