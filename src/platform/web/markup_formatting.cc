#include "platform/web/markup_formatting.h"

#include <utility>

namespace platform::web_internal::markup {

int32_t FormattingList::add(int formatting, int attributes, uint64_t signature, double& workNs) {
  auto& same = sameName_[static_cast<size_t>(formatting)];
  workNs += kFormattingEntryNs * static_cast<double>(same.count) +
            kFormattingPairNs * static_cast<double>(attributes) * static_cast<double>(same.attributes);
  Alike& alike = alike_[signature];
  while (alike.live >= 3 && !alike.ids.empty()) {
    const int32_t earliest = alike.ids.front();
    alike.ids.pop_front();
    kill(earliest);
  }
  const int32_t id = newEntry(formatting, attributes, signature, markers_);
  list_.push_back(id);
  return id;
}

int32_t FormattingList::newEntry(int formatting, int attributes, uint64_t signature, int64_t markers) {
  auto& same = sameName_[static_cast<size_t>(formatting)];
  entries_.push_back(Entry{formatting, attributes, signature, markers, same.ids.size(), true, true});
  const auto id = static_cast<int32_t>(entries_.size() - 1);
  same.ids.push_back(id);
  ++same.count;
  same.attributes += attributes;
  Alike& alike = alike_[signature];
  alike.ids.push_back(id);
  ++alike.live;
  ++live_;
  return id;
}

void FormattingList::kill(int32_t id, bool compacting) {
  Entry& e = entries_[static_cast<size_t>(id)];
  if (!e.live) return;
  e.live = false;
  auto& same = sameName_[static_cast<size_t>(e.formatting)];
  --same.count;
  same.attributes -= e.attributes;
  --alike_[e.signature].live;
  --live_;
  if (compacting) compact();
}

void FormattingList::endTagWithoutElement(int formatting) {
  auto& ids = sameName_[static_cast<size_t>(formatting)].ids;
  while (!ids.empty() && !entries_[static_cast<size_t>(ids.back())].live) ids.pop_back();
  if (ids.empty()) return;
  const Entry& last = entries_[static_cast<size_t>(ids.back())];
  if (last.markers == markers_ && !last.onStack) kill(ids.back());
}

// Markers aside: the scan errs long.
void FormattingList::reconstruct(double& workNs, double limitNs, std::vector<Reopened>& reopened) {
  if (live_ == 0) return;
  auto entry = [this](size_t k) -> Entry& { return entries_[static_cast<size_t>(list_[k])]; };
  size_t k = list_.size();
  while (k > 0 && !(entry(k - 1).live && entry(k - 1).onStack)) --k;
  for (; k < list_.size() && workNs <= limitNs; ++k) {
    if (!entry(k).live) continue;
    const Entry old = entry(k);
    workNs += kCloneNs + kCloneAttributeNs * static_cast<double>(old.attributes);
    kill(list_[k], false);
    const int32_t clone = newEntry(old.formatting, old.attributes, old.signature, old.markers);
    // The clone takes the old one's place on the list.
    auto& ids = sameName_[static_cast<size_t>(old.formatting)].ids;
    ids.pop_back();
    ids[old.slot] = clone;
    entries_[static_cast<size_t>(clone)].slot = old.slot;
    list_[k] = clone;
    reopened.push_back(Reopened{old.formatting, clone});
  }
}

void FormattingList::compact() {
  if (list_.size() < 64 || list_.size() < 2 * static_cast<size_t>(live_) + 64) return;
  std::vector<int32_t> kept;
  kept.reserve(static_cast<size_t>(live_) + 16);
  for (const int32_t id : list_)
    if (entries_[static_cast<size_t>(id)].live) kept.push_back(id);
  list_ = std::move(kept);
}

}  // namespace platform::web_internal::markup
