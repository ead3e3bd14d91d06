#pragma once
// What the controller page still owes for the loads of ad instances, so that
// a load given up on never answers a later load of the same instance.
//
// A load answer ("loadInterstitialSuccess", "loadBannerFail", ...) names only
// its demand source, by id; the page protocol carries no load id, and a
// controller page from the network's server sends none. So the publisher
// keeps, per product type and demand-source id:
//  * the one load the page owes an answer: a newer load of the same demand
//    source waits until that answer has come (the answer is then dropped:
//    the newer load supersedes it) and goes to the page after it, so two
//    loads of one demand source are never on their way at once and an answer
//    always belongs to the load on record;
//  * the withdrawals (a banner's destroy, "destroyBanner") the page has not
//    taken yet: until the channel reports that the page ran the withdrawal's
//    line, every load answer of the demand source was sent before the page
//    took it and belongs to a withdrawn load, and is dropped; the page
//    answers no withdrawn load after it.
// An answer is dropped too when its load is no longer the newest the instance
// was asked for (a newer one is on its way to the publisher): the mediation
// gave that load up. docs/own-network.md ("Loads given up on") tells the
// scheme.
//
// Any thread: one lock, never held while anything else is called.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"

class QuillborneAdInstance;

class QBNLoadLedger {
 public:
  // Product type and demand-source id.
  using Key = std::pair<int64_t, std::string>;

  enum class Verdict {
    Deliver,         // the answer of the load on record (or of no load on record)
    DropWithdrawn,   // sent before the page took a withdrawal of the demand source
    DropSuperseded,  // a newer load waited for it
    DropStale,       // a newer load of the instance was asked for since
  };
  // "deliver", "withdrawn", "superseded", "stale".
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

  // A load of `instance` numbered `load`, to be sent as `command`. True: it
  // goes now and is owed from now on. False: it waits behind the load the
  // page owes (replacing one that waited already, which is given up).
  // `pageAnswers`: whether the page still runs; once the fallback controller
  // answers in its place, what the page owed is forgotten and the load goes.
  bool sendOrHold(const Key& key, const std::shared_ptr<QuillborneAdInstance>& instance, uint64_t load,
                  const QBNControllerAPIData& command, bool pageAnswers);
  // A withdrawal of the demand source goes to the page: nothing is owed any
  // more and a waiting load is given up.
  void beginWithdrawal(const Key& key);
  // The page has taken one withdrawal.
  void endWithdrawal(const Key& key);
  bool isWithdrawing(const Key& key) const;
  // A load answer ("...Success" or "...Fail") of the demand source arrived.
  Answer onLoadAnswer(const Key& key);

  // Whether anything is on record for the key. Tests only.
  bool hasRecordForTesting(const Key& key) const;

 private:
  struct Owed {
    std::weak_ptr<QuillborneAdInstance> instance;
    uint64_t load = 0;
  };
  struct Waiting {
    Owed owed;
    QBNControllerAPIData command;
  };
  struct Entry {
    std::optional<Owed> owed;
    std::optional<Waiting> waiting;
    int withdrawals = 0;
    bool empty() const { return !owed && !waiting && withdrawals == 0; }
  };

  void eraseIfEmpty(std::map<Key, Entry>::iterator it);

  mutable std::mutex mutex_;
  std::map<Key, Entry> entries_;
};
