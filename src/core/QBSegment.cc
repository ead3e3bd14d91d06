#include "quillborne/QBSegment.h"

#include <algorithm>
#include <cmath>

namespace {

bool isNameText(const std::string& text, size_t maxLength) {
  if (text.empty() || text.size() > maxLength) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

}  // namespace

bool QBSegment::setSegmentName(const std::string& name) {
  if (!isNameText(name, kMaxNameLength)) return false;
  segmentName_ = name;
  return true;
}

bool QBSegment::setLevel(int level) {
  if (level < 0) return false;
  level_ = level;
  return true;
}

bool QBSegment::setUserCreationDate(int64_t millisecondsSince1970) {
  if (millisecondsSince1970 < 0) return false;
  userCreationDate_ = millisecondsSince1970;
  return true;
}

bool QBSegment::setIapTotal(double total) {
  if (!std::isfinite(total) || total < 0) return false;
  iapTotal_ = total;
  return true;
}

bool QBSegment::setCustomValue(const std::string& value, const std::string& key) {
  if (!isNameText(key, kMaxNameLength) || value.size() > kMaxCustomValueLength) return false;
  for (auto& entry : custom_) {
    if (entry.first == key) {
      entry.second = value;
      return true;
    }
  }
  if (custom_.size() >= kMaxCustomParameters) return false;
  custom_.emplace_back(key, value);
  return true;
}

std::optional<std::string> QBSegment::customValue(const std::string& key) const {
  for (const auto& entry : custom_) {
    if (entry.first == key) return entry.second;
  }
  return std::nullopt;
}

bool QBSegment::isEmpty() const {
  return !segmentName_ && !level_ && !isPaying_ && !userCreationDate_ && !iapTotal_ && custom_.empty();
}
