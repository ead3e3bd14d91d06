// The load ledger's lock covers its own records only: the instance a load
// answer is taken for is asked for its newest load, and let go, after the
// lock, so that nothing the instance does as it goes (its destructor) runs
// under it. Where the ledger holds the instance (its hook), the application
// lets it go: the instance lives on in the ledger's hold, and the lock is
// free, as another thread finds without waiting; once the answer is through,
// the instance is gone.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/publisher/QBNLoadLedger.h"
#include "ownnetwork/services/QBNProductType.h"

namespace qbtest {
namespace {

TEST(LoadLedgerLockTest, TheInstanceAnAnswerIsTakenForIsHeldAndLetGoOutsideTheLock) {
  QBNLoadLedger ledger;
  const QBNLoadLedger::Key key{QBNProductType::Interstitial, "is-lock"};
  auto listener = std::make_shared<handlertest::RecordingAdListener>();
  auto instance = QuillborneAdInstanceBuilder("is-lock", listener).build();
  ASSERT_TRUE(instance);
  const std::weak_ptr<QuillborneAdInstance> weak = instance;
  ASSERT_TRUE(ledger.sendOrHold(key, instance, instance->noteLoadRequested(), QBNControllerAPIData("loadInterstitial"),
                                true, nullptr));

  int held = 0;
  bool aliveInTheLedgersHold = false;
  bool lockFree = false;
  QBNLoadLedger::setInstanceHeldHookForTesting([&] {
    ++held;
    instance.reset();
    aliveInTheLedgersHold = !weak.expired();
    std::thread([&] { lockFree = ledger.lockIsFreeForTesting(); }).join();
  });
  const auto answer = ledger.onLoadAnswer(key);
  QBNLoadLedger::setInstanceHeldHookForTesting(nullptr);

  ASSERT_EQ(held, 1);
  EXPECT_TRUE(aliveInTheLedgersHold) << "the instance was gone where the ledger holds it outside its lock";
  EXPECT_TRUE(lockFree) << "the ledger's lock was held while it held the instance";
  EXPECT_TRUE(weak.expired()) << "the ledger kept the instance after the answer";
  EXPECT_EQ(answer.verdict, QBNLoadLedger::Verdict::Deliver);
  EXPECT_EQ(answer.load, 1u);
  EXPECT_FALSE(ledger.hasRecordForTesting(key));
}

}  // namespace
}  // namespace qbtest
