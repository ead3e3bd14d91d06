#include "ownnetwork/publisher/QBNLoadLedger.h"

#include "ownnetwork/api/QuillborneAdInstance.h"

const char* QBNLoadLedger::verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Deliver: return "deliver";
    case Verdict::DropWithdrawn: return "withdrawn";
    case Verdict::DropSuperseded: return "superseded";
    case Verdict::DropStale: return "stale";
  }
  return "unknown";
}

void QBNLoadLedger::eraseIfEmpty(std::map<Key, Entry>::iterator it) {
  if (it != entries_.end() && it->second.empty()) entries_.erase(it);
}

bool QBNLoadLedger::sendOrHold(const Key& key, const std::shared_ptr<QuillborneAdInstance>& instance, uint64_t load,
                               const QBNControllerAPIData& command, bool pageAnswers) {
  std::optional<Waiting> givenUp;  // released outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = entries_[key];
  if (!pageAnswers) {
    entry.owed.reset();
    givenUp = std::exchange(entry.waiting, std::nullopt);
  }
  if (entry.owed) {
    givenUp = std::exchange(entry.waiting, Waiting{Owed{instance, load}, command});
    return false;
  }
  entry.owed = Owed{instance, load};
  return true;
}

void QBNLoadLedger::beginWithdrawal(const Key& key) {
  std::optional<Waiting> givenUp;
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = entries_[key];
  ++entry.withdrawals;
  entry.owed.reset();
  givenUp = std::exchange(entry.waiting, std::nullopt);
}

void QBNLoadLedger::endWithdrawal(const Key& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.withdrawals == 0) return;
  --it->second.withdrawals;
  eraseIfEmpty(it);
}

bool QBNLoadLedger::isWithdrawing(const Key& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(key);
  return it != entries_.end() && it->second.withdrawals > 0;
}

QBNLoadLedger::Answer QBNLoadLedger::onLoadAnswer(const Key& key) {
  Answer answer;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end()) return answer;
  Entry& entry = it->second;
  if (entry.withdrawals > 0) {
    answer.verdict = Verdict::DropWithdrawn;
    return answer;
  }
  if (entry.waiting) {
    // The answer of the load the page owed: the one that waited supersedes
    // it, and is owed from now on.
    answer.verdict = Verdict::DropSuperseded;
    Waiting waiting = std::move(*entry.waiting);
    entry.waiting.reset();
    entry.owed = waiting.owed;
    answer.release = std::move(waiting.command);
    return answer;
  }
  if (entry.owed) {
    const Owed owed = *entry.owed;
    entry.owed.reset();
    eraseIfEmpty(it);
    const auto instance = owed.instance.lock();
    if (instance && owed.load != 0 && instance->latestLoadRequest() != owed.load) {
      answer.verdict = Verdict::DropStale;
      return answer;
    }
    answer.load = owed.load;
    return answer;
  }
  eraseIfEmpty(it);
  return answer;
}

bool QBNLoadLedger::hasRecordForTesting(const Key& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.count(key) != 0;
}
