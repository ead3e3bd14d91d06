#pragma once
// Rules for the metadata the application sets (key plus values). Pure
// functions, thread-safe.
//
// Keys are compared without case. The CCPA key is "do_not_sell"; the
// mediation-only keys, kept by the mediation and not handed to the networks
// as regular metadata, are "is_child_directed" and "is_test_suite".
#include <optional>
#include <string>
#include <vector>

class QBMetaDataUtils {
 public:
  static constexpr const char* kCCPAMetaDataKey = "do_not_sell";
  static constexpr const char* kChildDirectedMetaDataKey = "is_child_directed";
  static constexpr const char* kTestSuiteMetaDataKey = "is_test_suite";

  // YES when `key` is the CCPA do-not-sell key (any case) and `value` is not
  // empty.
  static bool isValidCCPAMetaDataWithKey(const std::string& key, const std::string& value);
  // YES for "is_child_directed" and "is_test_suite" (any case).
  static bool isMediationOnlyMetaDataKey(const std::string& key);
  // YES when `key` is a mediation-only key and `value` is not empty.
  static bool isValidMediationOnlyMetaDataWithKey(const std::string& key, const std::string& value);
  // A metadata key may hold at most kMaxKeyLength characters, none of them a
  // space or control character; an empty key is invalid.
  static constexpr size_t kMaxKeyLength = 64;
  static bool isValidMetaDataKey(const std::string& key);
  // "true"/"yes" -> true and "false"/"no" -> false (any case); none otherwise.
  static std::optional<bool> booleanValue(const std::string& value);
  // `text` in lower case (ASCII letters only), as keys are stored.
  static std::string lowercase(const std::string& text);
};
