#pragma once
// The parser's list of active formatting elements (a, b, font, ...: those
// open in the text) as the markup scan keeps it. The parser compares each new
// one with those of its name (at most three alike stay), and makes again
// every one that was closed implicitly at the next text or element. The scan
// errs long: markers (cells, objects) never end in it, and only an end tag
// after the last of them takes an element off the list. Internal to the web
// view.
#include <array>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "platform/web/markup_tags.h"

namespace platform::web_internal::markup {

class FormattingList {
 public:
  // An element made again, to put on the stack.
  struct Reopened {
    int formatting;  // index of its name
    int32_t id;
  };

  // Adds an element (`formatting`: index of its name) whose `attributes`
  // hash together to `signature`; the earliest alike goes when three are
  // there. Adds to `workNs` what the parser spends comparing it; answers its
  // id.
  int32_t add(int formatting, int attributes, uint64_t signature, double& workNs);
  // A marker: what comes before it is out of reach of an end tag.
  void addMarker() { ++markers_; }
  // The element of `id` left the stack.
  void closed(int32_t id) {
    if (entries_[static_cast<size_t>(id)].live) entries_[static_cast<size_t>(id)].onStack = false;
  }
  // The end tag of the element of `id` popped it: it leaves the list, unless
  // a marker came after it.
  void ended(int32_t id) {
    if (entries_[static_cast<size_t>(id)].markers == markers_) kill(id);
  }
  // An end tag of that name popped nothing: the last element of the name
  // leaves the list when it is no longer open and no marker came after it.
  void endTagWithoutElement(int formatting);
  bool empty() const { return live_ == 0; }
  // The elements closed since the last one open, made again in order
  // (appended to `reopened`), adding their work to `workNs` until it passes
  // `limitNs`.
  void reconstruct(double& workNs, double limitNs, std::vector<Reopened>& reopened);

 private:
  struct Entry {
    int formatting;
    int attributes;
    uint64_t signature;
    int64_t markers;  // markers seen before it: it is after the last one while none came since
    size_t slot;      // its place in sameName_[formatting].ids
    bool live;
    bool onStack;
  };
  struct SameName {
    int64_t count = 0;         // live entries of the name
    int64_t attributes = 0;    // and their attributes
    std::vector<int32_t> ids;  // in the list's order (dead ones left behind)
  };
  struct Alike {
    int64_t live = 0;
    std::deque<int32_t> ids;  // oldest first (dead ones left behind)
  };

  int32_t newEntry(int formatting, int attributes, uint64_t signature, int64_t markers);
  // `compacting`: the list may be compacted now (not while it is walked).
  void kill(int32_t id, bool compacting = true);
  // Drops the dead from the list once they outnumber the live.
  void compact();

  std::vector<int32_t> list_;  // ids of entries, in order (dead ones until compacted)
  int64_t markers_ = 0;        // markers put on the list so far
  std::vector<Entry> entries_;
  int64_t live_ = 0;
  std::array<SameName, kFormattingNames> sameName_{};
  std::unordered_map<uint64_t, Alike> alike_;
};

}  // namespace platform::web_internal::markup
