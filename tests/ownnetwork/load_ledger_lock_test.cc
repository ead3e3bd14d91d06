// The load ledger's lock covers its own records only: the instance a load
// answer is taken for is asked for its newest load, and let go, after the
// lock, so that nothing the instance does as it goes (its destructor) runs
// under it. Real mode: a second thread takes the lock while the ledger holds
// the instance.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "ownnetwork/services/QBNProductType.h"

namespace qbtest {
namespace {

// A bound against a hang: the lock is free at once, or held until the answer
// is through.
constexpr auto kLockWait = std::chrono::seconds(10);

TEST(LoadLedgerLockTest, TheInstanceAnAnswerIsTakenForIsHeldAndLetGoOutsideTheLock) {
  QBNLoadLedger ledger;
  const QBNLoadLedger::Key key{QBNProductType::Interstitial, "is-lock"};
  auto listener = std::make_shared<handlertest::RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is-lock", listener).build();
  ASSERT_TRUE(instance);
  const std::weak_ptr<QuillborneAdInstance> weak = instance;
  ASSERT_TRUE(ledger.sendOrHold(key, instance, instance->noteLoadRequested(), QBNControllerAPIData("loadInterstitial"),
                                true, nullptr));

  // While the ledger holds the instance, the application lets it go (the
  // ledger's hold is the last), and another thread asks the ledger.
  std::mutex mutex;
  std::condition_variable changed;
  bool asked = false;
  bool lockFree = false;
  std::thread asker;
  QBNLoadLedger::setInstanceHeldHookForTesting([&] {
    instance.reset();
    asker = std::thread([&] {
      ledger.isWithdrawing(key);
      std::lock_guard lock(mutex);
      asked = true;
      changed.notify_all();
    });
    std::unique_lock lock(mutex);
    lockFree = changed.wait_for(lock, kLockWait, [&] { return asked; });
  });
  const auto answer = ledger.onLoadAnswer(key);
  QBNLoadLedger::setInstanceHeldHookForTesting(nullptr);
  if (asker.joinable()) asker.join();

  EXPECT_TRUE(lockFree) << "the ledger's lock was held while it held the instance";
  EXPECT_EQ(answer.verdict, QBNLoadLedger::Verdict::Deliver);
  EXPECT_EQ(answer.load, 1u);
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(ledger.hasRecordForTesting(key));
}

}  // namespace
}  // namespace qbtest
