#include "mediation/QBAuctionInstanceParts.h"

#include "platform/json.h"

QBAuctionInstanceParts::QBAuctionInstanceParts(const std::vector<std::string>& names) {
  texts_.reserve(names.size());
  for (const auto& name : names) {
    if (texts_.count(name) != 0) continue;
    Texts texts;
    texts.quoted = quote(name);
    texts.nonBidder = makeNonBidderEntry(texts.quoted);
    texts_.emplace(name, std::move(texts));
  }
}

const std::string* QBAuctionInstanceParts::quotedName(const std::string& name) const {
  auto it = texts_.find(name);
  return it == texts_.end() ? nullptr : &it->second.quoted;
}

const std::string* QBAuctionInstanceParts::nonBidderEntry(const std::string& name) const {
  auto it = texts_.find(name);
  return it == texts_.end() ? nullptr : &it->second.nonBidder;
}

std::string QBAuctionInstanceParts::quote(const std::string& name) { return platform::quoteJson(name); }

std::string QBAuctionInstanceParts::makeNonBidderEntry(const std::string& quotedName) {
  return "{\"instance\":" + quotedName + ",\"isBidder\":false}";
}
