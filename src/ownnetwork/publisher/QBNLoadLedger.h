#pragma once
// What the controller page still owes for the loads of ad instances, so that
// a load given up on does not answer a later load of the same instance.
//
// A load answer ("loadInterstitialSuccess", "loadBannerFail", ...) names only
// its demand source, by id; the page protocol carries no load id, and a
// controller page from the network's server sends none. So the publisher
// keeps, per product type and demand-source id:
//  * the one load the page owes an answer: a newer load of the same demand
//    source waits until that answer has come (the answer is then dropped:
//    the newer load supersedes it) and goes to the page after it, so two
//    loads of one demand source are never on their way at once and an answer
//    always belongs to the load on record. A load newer still takes the
//    waiting one's place (the mediation gave that one up; it is never sent);
//  * how long the owed answer is waited for: kOwedAnswerWaitMs from when the
//    first load began to wait behind it. The loads that take its place later
//    keep that deadline, so loads asked for again and again never stretch
//    it. Then the owed answer counts as lost and the load waiting goes to
//    the page; an answer that comes when no load is owed any more is the
//    lost load's, and dropped. An answer later than that which comes while
//    the next load is on its way is taken as that load's: nothing tells the
//    two apart. A page that misses one answer costs that load and at most
//    the loads asked for during the wait, never the instance's later loads;
//  * the withdrawals (a banner's destroy, "destroyBanner") the page has not
//    taken yet: until the channel reports that the page ran the withdrawal's
//    line, every load answer of the demand source was sent before the page
//    took it and belongs to a withdrawn load, and is dropped; the page
//    answers no withdrawn load after it.
// An answer is dropped too when its load is no longer the newest the instance
// was asked for (a newer one is on its way to the publisher): the mediation
// gave that load up. Once the fallback controller answers in the page's
// place, no load waits. docs/own-network.md ("Loads given up on") tells the
// scheme.
//
// Any thread: one lock, never held while anything else is called. The waits'
// deadlines are timers on the main queue, owned by the ledger.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"

class QuillborneAdInstance;
namespace platform {
class Timer;
}

class QBNLoadLedger {
 public:
  // Product type and demand-source id.
  using Key = std::pair<int64_t, std::string>;
  // Sends a load whose wait ended without the answer it waited for.
  using Send = std::function<void(const QBNControllerAPIData&)>;

  // How long the answer the page owes is waited for, from when the first
  // load began to wait behind it (by then the mediation gave the owed load up
  // at least this long ago).
  static constexpr int64_t kOwedAnswerWaitMs = 5'000;

  enum class Verdict {
    Deliver,         // the answer of the load on record (or of no load on record)
    DropWithdrawn,   // sent before the page took a withdrawal of the demand source
    DropSuperseded,  // a newer load waited for it
    DropStale,       // a newer load of the instance was asked for since
    DropLost,        // the late answer of a load whose answer was counted as lost
  };
  // "deliver", "withdrawn", "superseded", "stale", "lost".
  static const char* verdictName(Verdict verdict);

  struct Answer {
    Verdict verdict = Verdict::Deliver;
    // The number of the load answered (QuillborneAdInstance::
    // latestLoadRequest() when it was asked for); 0 without a load on record.
    uint64_t load = 0;
    // The load that waited for this answer: it goes to the page now and is
    // owed from now on.
    std::optional<QBNControllerAPIData> release;
  };

  QBNLoadLedger();
  ~QBNLoadLedger();  // cancels the deadlines of the waits
  QBNLoadLedger(const QBNLoadLedger&) = delete;
  QBNLoadLedger& operator=(const QBNLoadLedger&) = delete;

  // A load of `instance` numbered `load`, to be sent as `command`. True: it
  // goes now and is owed from now on. False: it waits behind the load the
  // page owes, until that answer comes or, at the latest, kOwedAnswerWaitMs
  // after the wait began; then `sendAfterWait` sends it, on the main queue. A
  // load that waited already is given up and never sent; this one takes its
  // place, under the same deadline. `pageAnswers`: whether the page still
  // runs; once the fallback controller answers in its place, what the page
  // owed is forgotten and the load goes.
  bool sendOrHold(const Key& key, const std::shared_ptr<QuillborneAdInstance>& instance, uint64_t load,
                  const QBNControllerAPIData& command, bool pageAnswers, Send sendAfterWait);
  // A withdrawal of the demand source goes to the page: nothing is owed any
  // more and a waiting load is given up.
  void beginWithdrawal(const Key& key);
  // The page has taken one withdrawal.
  void endWithdrawal(const Key& key);
  bool isWithdrawing(const Key& key) const;
  // A load answer ("...Success" or "...Fail") of the demand source arrived.
  Answer onLoadAnswer(const Key& key);
  // The fallback controller answers in the page's place from now on: every
  // load that waits goes now (the returned commands, in no particular
  // order), owed from now on; the answer it waited for counts as lost. A
  // load owed with none waiting stays owed (the fallback may still answer
  // it from the controller's queue).
  std::vector<QBNControllerAPIData> takeOver();

  // Whether anything is on record for the key. Tests only.
  bool hasRecordForTesting(const Key& key) const;
  // Whether the ledger's lock is free now: takes it if it can, and lets it
  // go at once. Never waits. Tests only, from a thread that does not hold it.
  bool lockIsFreeForTesting() const;
  // Called while onLoadAnswer holds the instance whose load the answer is
  // taken for (nullptr: none). Process-wide; tests only.
  static void setInstanceHeldHookForTesting(std::function<void()> hook);

 private:
  struct Owed {
    std::weak_ptr<QuillborneAdInstance> instance;
    uint64_t load = 0;
  };
  struct Waiting {
    Owed owed;
    QBNControllerAPIData command;
    // When the owed answer counts as lost; destroyed (cancelled) with the
    // wait.
    std::shared_ptr<platform::Timer> deadline;
  };
  struct Entry {
    std::optional<Owed> owed;
    std::optional<Waiting> waiting;
    uint64_t wait = 0;  // number of the current (or last) wait
    // Answers the page may still send for loads counted as lost.
    int lost = 0;
    int withdrawals = 0;
    bool empty() const { return !owed && !waiting && withdrawals == 0 && lost == 0; }
  };
  struct Book {
    std::mutex mutex;
    std::map<Key, Entry> entries;
    uint64_t waits = 0;
    bool fallback = false;
  };

  static void eraseIfEmpty(Book& book, std::map<Key, Entry>::iterator it);
  // The owed answer counts as lost: the waiting load is owed now; returns
  // its command.
  static QBNControllerAPIData countOwedAsLost(Entry& entry, std::optional<Waiting>& gone);
  // A wait's deadline: when the wait numbered `wait` is still on, the owed
  // answer counts as lost and the waiting load goes.
  static void deadlinePassed(const std::weak_ptr<Book>& weakBook, const Key& key, uint64_t wait, const Send& send);

  std::shared_ptr<Book> book_ = std::make_shared<Book>();
};
