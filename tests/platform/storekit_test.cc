// The store stand-in: UUID texts, product parameters, how loads answer and
// the user's close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch.h"
#include "platform/storekit/storekit_control.h"
#include "platform/test_environment.h"
#include "platform/uuid.h"

using namespace platform;

namespace {

TEST(UuidTest, ReadsTheCanonicalFormInEitherCaseAndShowsItUpperCase) {
  const struct {
    const char* text;
    const char* shown;  // null: not a UUID
  } cases[] = {
      {"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"e621e1f8c36c495a93fc0c247a3e6e5f", nullptr},        {"{e621e1f8-c36c-495a-93fc-0c247a3e6e5f}", nullptr},
      {"e621e1f8-c36c-495a-93fc-0c247a3e6e5", nullptr},     {"e621e1f-8c36c-495a-93fc-0c247a3e6e5f", nullptr},
      {"g621e1f8-c36c-495a-93fc-0c247a3e6e5f", nullptr},    {"", nullptr},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto uuid = Uuid::fromString(c.text);
    ASSERT_EQ(uuid.has_value(), c.shown != nullptr);
    if (uuid) {
      EXPECT_EQ(uuid->UUIDString(), c.shown);
    }
  }
}

TEST(StoreProductParametersTest, KeepsOrderReplacesInPlaceAndShowsAUuidAsItsText) {
  auto params = StoreProductParameters::fromJson(Json{{"id", 1}, {"adNetworkNonce", "x"}, {"b", true}});
  params.set("adNetworkNonce", *Uuid::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));
  params.set("c", Json("new"));
  params.erase("b");
  EXPECT_EQ(dumpJson(params.toJson()), R"({"id":1,"adNetworkNonce":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","c":"new"})");
  EXPECT_TRUE(std::holds_alternative<Uuid>(*params.find("adNetworkNonce")));
  EXPECT_TRUE(StoreProductParameters::fromJson(Json::array({1})).empty());
}

class RecordingStoreDelegate : public StoreProductViewControllerDelegate {
 public:
  void productViewControllerDidFinish(const std::shared_ptr<StoreProductViewController>& controller) override {
    closed.push_back(controller);
  }
  std::vector<std::shared_ptr<StoreProductViewController>> closed;
};

class StoreKitTest : public ::testing::Test {
 protected:
  StoreKitTest() { control.resetForTesting(); }
  ~StoreKitTest() override { control.resetForTesting(); }

  struct Answer {
    int calls = 0;
    bool result = false;
    std::optional<Error> error;
    bool onMain = false;
  };
  StoreLoadCompletion recordInto(Answer& answer) {
    return [&answer](bool result, std::optional<Error> error) {
      ++answer.calls;
      answer.result = result;
      answer.error = std::move(error);
      answer.onMain = isMainThread();
    };
  }

  TestEnvironment env;
  StoreKitControl& control = StoreKitControl::shared();
  std::shared_ptr<StoreProductViewController> store = std::make_shared<StoreProductViewController>();
  StoreProductParameters params = StoreProductParameters::fromJson(Json{{"id", 42}});
};

TEST_F(StoreKitTest, LoadsAnswerAsTheControlSaysOnceAndNeverInlineUnlessAsked) {
  const struct {
    StoreLoadAnswer answer;
    bool inline_;
    bool onMain;
  } cases[] = {
      {{}, false, false},
      {{false, Error{kStoreKitErrorDomain, 5, "no product"}, 0, StoreLoadThread::MainQueue}, false, true},
      {{false, std::nullopt, 250, StoreLoadThread::GlobalQueue}, false, false},
      {{true, std::nullopt, 0, StoreLoadThread::Inline}, true, true},
  };
  for (const auto& c : cases) {
    control.setLoadAnswer(c.answer);
    Answer answer;
    store->loadProductWithParameters(params, recordInto(answer));
    EXPECT_EQ(answer.calls, c.inline_ ? 1 : 0);
    env.advance(static_cast<int64_t>(c.answer.delayMs));
    EXPECT_EQ(answer.calls, 1);
    EXPECT_EQ(answer.result, c.answer.success);
    EXPECT_EQ(answer.error, c.answer.error);
    EXPECT_EQ(answer.onMain, c.onMain);
  }
  auto loads = control.loads();
  ASSERT_EQ(loads.size(), 4u);
  EXPECT_EQ(loads[0].controller.lock(), store);
  EXPECT_EQ(loads[0].parameters, params);
  EXPECT_TRUE(loads[0].onMainThread);
}

TEST_F(StoreKitTest, AHeldLoadIsAnsweredOnTheThreadThatCompletesIt) {
  control.setHoldLoads(true);
  std::atomic<int> calls{0};
  std::thread::id answeredOn;
  store->loadProductWithParameters(params, [&](bool result, std::optional<Error>) {
    answeredOn = std::this_thread::get_id();
    if (result) ++calls;
  });
  env.runUntilIdle();
  EXPECT_EQ(calls.load(), 0);
  std::thread::id worker;
  std::thread thread([&] {
    worker = std::this_thread::get_id();
    EXPECT_TRUE(control.completeLoad(0, true));
    EXPECT_FALSE(control.completeLoad(0, true));  // once only
  });
  thread.join();
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(answeredOn, worker);
  EXPECT_TRUE(control.loads()[0].answered);
}

TEST_F(StoreKitTest, TheUsersCloseReachesTheDelegate) {
  EXPECT_FALSE(StoreKitControl::closeByUser(store));
  auto delegate = std::make_shared<RecordingStoreDelegate>();
  store->setDelegate(delegate);
  EXPECT_TRUE(StoreKitControl::closeByUser(store));
  ASSERT_EQ(delegate->closed.size(), 1u);
  EXPECT_EQ(delegate->closed[0], store);
}

}  // namespace
