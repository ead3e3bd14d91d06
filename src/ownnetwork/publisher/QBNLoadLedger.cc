#include "ownnetwork/publisher/QBNLoadLedger.h"

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "platform/dispatch.h"

const char* QBNLoadLedger::verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Deliver: return "deliver";
    case Verdict::DropWithdrawn: return "withdrawn";
    case Verdict::DropSuperseded: return "superseded";
    case Verdict::DropStale: return "stale";
    case Verdict::DropLost: return "lost";
  }
  return "unknown";
}

namespace {

std::mutex& hookMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void()>& hookSlot() {
  static std::function<void()> hook;
  return hook;
}

std::function<void()> instanceHeldHook() {
  std::lock_guard<std::mutex> lock(hookMutex());
  return hookSlot();
}

}  // namespace

void QBNLoadLedger::setInstanceHeldHookForTesting(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex());
  hookSlot() = std::move(hook);
}

QBNLoadLedger::QBNLoadLedger() = default;

QBNLoadLedger::~QBNLoadLedger() {
  std::map<Key, Entry> entries;  // their deadlines go outside the lock
  std::lock_guard<std::mutex> lock(book_->mutex);
  entries.swap(book_->entries);
}

void QBNLoadLedger::eraseIfEmpty(Book& book, std::map<Key, Entry>::iterator it) {
  if (it != book.entries.end() && it->second.empty()) book.entries.erase(it);
}

QBNControllerAPIData QBNLoadLedger::countOwedAsLost(Entry& entry, std::optional<Waiting>& gone) {
  gone = std::exchange(entry.waiting, std::nullopt);
  ++entry.lost;
  entry.owed = gone->owed;
  return gone->command;
}

bool QBNLoadLedger::sendOrHold(const Key& key, const std::shared_ptr<QuillborneAdInstance>& instance, uint64_t load,
                               const QBNControllerAPIData& command, bool pageAnswers, Send sendAfterWait) {
  std::optional<Waiting> gone;  // given up; its deadline goes outside the lock
  std::optional<QBNControllerAPIData> replaced;  // given up; goes outside the lock too
  uint64_t wait = 0;
  {
    std::lock_guard<std::mutex> lock(book_->mutex);
    Entry& entry = book_->entries[key];
    if (!pageAnswers || book_->fallback) {
      // The fallback answers in the page's place: the owed answer counts as
      // lost (the fallback may still answer a load that never reached the
      // page).
      if (entry.owed) ++entry.lost;
      entry.owed.reset();
      gone = std::exchange(entry.waiting, std::nullopt);
    }
    if (!entry.owed) {
      entry.owed = Owed{instance, load};
      return true;
    }
    if (entry.waiting) {
      // The mediation gave up the load that waited as well: this one takes
      // its place behind the owed answer, under the wait's deadline, which
      // stays where the first load of the wait set it.
      entry.waiting->owed = Owed{instance, load};
      replaced = std::exchange(entry.waiting->command, command);
      return false;
    }
    wait = entry.wait = ++book_->waits;
    entry.waiting = Waiting{Owed{instance, load}, command, nullptr};
  }
  // Made outside the lock; a wait that ended meanwhile drops it again.
  auto deadline = platform::Timer::once(
      platform::mainQueue(), static_cast<double>(kOwedAnswerWaitMs),
      [weakBook = std::weak_ptr<Book>(book_), key, wait, send = std::move(sendAfterWait)] {
        deadlinePassed(weakBook, key, wait, send);
      });
  std::lock_guard<std::mutex> lock(book_->mutex);
  auto it = book_->entries.find(key);
  if (it != book_->entries.end() && it->second.waiting && it->second.wait == wait) {
    it->second.waiting->deadline = std::move(deadline);
  }
  return false;
}

void QBNLoadLedger::deadlinePassed(const std::weak_ptr<Book>& weakBook, const Key& key, uint64_t wait,
                                   const Send& send) {
  const auto book = weakBook.lock();
  if (!book) return;
  std::optional<Waiting> gone;
  std::optional<QBNControllerAPIData> command;
  {
    std::lock_guard<std::mutex> lock(book->mutex);
    auto it = book->entries.find(key);
    if (it == book->entries.end() || !it->second.waiting || it->second.wait != wait) return;
    command = countOwedAsLost(it->second, gone);
  }
  if (send) send(*command);
}

void QBNLoadLedger::beginWithdrawal(const Key& key) {
  std::optional<Waiting> gone;
  std::lock_guard<std::mutex> lock(book_->mutex);
  Entry& entry = book_->entries[key];
  ++entry.withdrawals;
  entry.owed.reset();
  entry.lost = 0;  // the page answers no withdrawn load once it took the withdrawal
  gone = std::exchange(entry.waiting, std::nullopt);
}

void QBNLoadLedger::endWithdrawal(const Key& key) {
  std::lock_guard<std::mutex> lock(book_->mutex);
  auto it = book_->entries.find(key);
  if (it == book_->entries.end() || it->second.withdrawals == 0) return;
  --it->second.withdrawals;
  eraseIfEmpty(*book_, it);
}

bool QBNLoadLedger::isWithdrawing(const Key& key) const {
  std::lock_guard<std::mutex> lock(book_->mutex);
  auto it = book_->entries.find(key);
  return it != book_->entries.end() && it->second.withdrawals > 0;
}

QBNLoadLedger::Answer QBNLoadLedger::onLoadAnswer(const Key& key) {
  std::optional<Waiting> gone;
  std::optional<Owed> answered;  // the load on record, read after the lock
  Answer answer;
  {
    std::lock_guard<std::mutex> lock(book_->mutex);
    auto it = book_->entries.find(key);
    if (it == book_->entries.end()) return answer;
    Entry& entry = it->second;
    if (entry.withdrawals > 0) {
      answer.verdict = Verdict::DropWithdrawn;
      return answer;
    }
    if (entry.waiting) {
      // The answer of the load the page owed: the one that waited supersedes
      // it, and is owed from now on.
      answer.verdict = Verdict::DropSuperseded;
      gone = std::exchange(entry.waiting, std::nullopt);
      entry.owed = gone->owed;
      answer.release = std::move(gone->command);
      return answer;
    }
    if (entry.owed) {
      // With answers of lost loads still possible, the first answer after the
      // load went is taken as its own: nothing tells the two apart.
      answered = std::exchange(entry.owed, std::nullopt);
    } else if (entry.lost > 0) {
      --entry.lost;
      answer.verdict = Verdict::DropLost;
    }
    eraseIfEmpty(*book_, it);
  }
  if (!answered) return answer;
  // The instance is asked for its newest load, and let go (its last holder
  // may be this), after the lock.
  const auto instance = answered->instance.lock();
  if (const auto hook = instanceHeldHook()) hook();
  if (instance && answered->load != 0 && instance->latestLoadRequest() != answered->load) {
    answer.verdict = Verdict::DropStale;
    return answer;
  }
  answer.load = answered->load;
  return answer;
}

std::vector<QBNControllerAPIData> QBNLoadLedger::takeOver() {
  std::vector<Waiting> gone;
  std::vector<QBNControllerAPIData> commands;
  std::lock_guard<std::mutex> lock(book_->mutex);
  book_->fallback = true;
  for (auto& [key, entry] : book_->entries) {
    if (!entry.waiting) continue;
    std::optional<Waiting> waited;
    commands.push_back(countOwedAsLost(entry, waited));
    gone.push_back(std::move(*waited));
  }
  return commands;
}

bool QBNLoadLedger::hasRecordForTesting(const Key& key) const {
  std::lock_guard<std::mutex> lock(book_->mutex);
  return book_->entries.count(key) != 0;
}

bool QBNLoadLedger::lockIsFreeForTesting() const {
  std::unique_lock<std::mutex> lock(book_->mutex, std::try_to_lock);
  return lock.owns_lock();
}
