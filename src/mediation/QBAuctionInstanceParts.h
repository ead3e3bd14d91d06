#pragma once
// The pieces of the auction request that depend on an instance's name alone,
// serialized once per configuration instead of on every auction: the name as
// a JSON string (the key of its "auctionHistory" entry) and the non-bidder
// entry of "instances". Built from the configured instance names; the
// request writer falls back to serializing a name that is not among them, so
// parts of an older configuration never change what is sent, they only save
// work for the names they know.
//
// Immutable once built; safe to share between threads.
#include <string>
#include <unordered_map>
#include <vector>

class QBAuctionInstanceParts {
 public:
  explicit QBAuctionInstanceParts(const std::vector<std::string>& names);

  // `name` as a JSON string literal ("\"name\""); null for a name the parts
  // were not built for.
  const std::string* quotedName(const std::string& name) const;
  // {"instance":"<name>","isBidder":false}; null for an unknown name.
  const std::string* nonBidderEntry(const std::string& name) const;

  // The same texts for any name, built on the spot.
  static std::string quote(const std::string& name);
  static std::string makeNonBidderEntry(const std::string& quotedName);

 private:
  struct Texts {
    std::string quoted;
    std::string nonBidder;
  };
  std::unordered_map<std::string, Texts> texts_;
};
