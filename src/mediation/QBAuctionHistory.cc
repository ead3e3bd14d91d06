#include "mediation/QBAuctionHistory.h"

#include <algorithm>

#include "mediation/QBAuctionInstanceParts.h"

std::shared_ptr<QBAuctionHistory> QBAuctionHistory::initWithWaterfall(std::vector<std::string> names,
                                                                      int64_t historyLimit) {
  std::shared_ptr<QBAuctionHistory> history(new QBAuctionHistory(std::max<int64_t>(historyLimit, 0)));
  for (auto& name : names) {
    const bool seen = std::any_of(history->history_.begin(), history->history_.end(),
                                  [&](const auto& entry) { return entry.first == name; });
    if (!seen) history->history_.emplace_back(std::move(name), std::vector<int>{});
  }
  return history;
}

void QBAuctionHistory::storeWaterfallPerformance(const std::map<std::string, int>& performance) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [name, code] : performance) {
    auto it = std::find_if(history_.begin(), history_.end(),
                           [&name = name](const auto& entry) { return entry.first == name; });
    if (it == history_.end()) {
      history_.emplace_back(name, std::vector<int>{});
      it = std::prev(history_.end());
    }
    auto& codes = it->second;
    codes.push_back(code);
    const size_t limit = static_cast<size_t>(limit_);
    if (codes.size() > limit) codes.erase(codes.begin(), codes.begin() + static_cast<long>(codes.size() - limit));
  }
}

std::vector<int> QBAuctionHistory::historyForInstance(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [entryName, codes] : history_) {
    if (entryName == name) return codes;
  }
  return {};
}

platform::Json QBAuctionHistory::asJson() const {
  std::lock_guard<std::mutex> lock(mutex_);
  platform::Json out = platform::Json::object();
  for (const auto& [name, codes] : history_) out[name] = codes;
  return out;
}

void QBAuctionHistory::appendJson(std::string& out, const QBAuctionInstanceParts* parts) const {
  std::lock_guard<std::mutex> lock(mutex_);
  out += '{';
  bool first = true;
  for (const auto& [name, codes] : history_) {
    if (!first) out += ',';
    first = false;
    const std::string* quoted = parts ? parts->quotedName(name) : nullptr;
    if (quoted) {
      out += *quoted;
    } else {
      out += QBAuctionInstanceParts::quote(name);
    }
    out += ":[";
    for (size_t i = 0; i < codes.size(); ++i) {
      if (i > 0) out += ',';
      out += std::to_string(codes[i]);
    }
    out += ']';
  }
  out += '}';
}
