#include "core/QBMetaDataUtils.h"

#include <algorithm>

std::string QBMetaDataUtils::lowercase(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

bool QBMetaDataUtils::isValidCCPAMetaDataWithKey(const std::string& key, const std::string& value) {
  return lowercase(key) == kCCPAMetaDataKey && !value.empty();
}

bool QBMetaDataUtils::isMediationOnlyMetaDataKey(const std::string& key) {
  const std::string lower = lowercase(key);
  return lower == kChildDirectedMetaDataKey || lower == kTestSuiteMetaDataKey;
}

bool QBMetaDataUtils::isValidMediationOnlyMetaDataWithKey(const std::string& key, const std::string& value) {
  return isMediationOnlyMetaDataKey(key) && !value.empty();
}

bool QBMetaDataUtils::isValidMetaDataKey(const std::string& key) {
  if (key.empty() || key.size() > kMaxKeyLength) return false;
  return std::none_of(key.begin(), key.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; });
}

std::optional<bool> QBMetaDataUtils::booleanValue(const std::string& value) {
  const std::string lower = lowercase(value);
  if (lower == "true" || lower == "yes") return true;
  if (lower == "false" || lower == "no") return false;
  return std::nullopt;
}
