#pragma once
// The application's user segment, sent with every auction request.
//
// Every field is optional; a setter whose argument is out of range refuses it
// (returns false and changes nothing):
//   segment name   1 to 32 characters of letters, digits, '_' and '-'
//   level          0 or more
//   isPaying       any
//   user creation date  milliseconds since 1970, 0 or more
//   IAP total      a finite amount, 0 or more
//   custom values  at most kMaxCustomParameters keys; a key is 1 to 32
//                  characters of letters, digits, '_' and '-', a value at most
//                  64 characters; setting a key again replaces its value and
//                  does not count twice
// Plain value: copyable; a copy is safe to read from several threads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QBSegment {
 public:
  static constexpr size_t kMaxCustomParameters = 5;
  static constexpr size_t kMaxNameLength = 32;
  static constexpr size_t kMaxCustomValueLength = 64;

  bool setSegmentName(const std::string& name);
  bool setLevel(int level);
  void setIsPaying(bool isPaying) { isPaying_ = isPaying; }
  bool setUserCreationDate(int64_t millisecondsSince1970);
  bool setIapTotal(double total);
  // Sets the custom value of `key`.
  bool setCustomValue(const std::string& value, const std::string& key);

  const std::optional<std::string>& segmentName() const { return segmentName_; }
  const std::optional<int>& level() const { return level_; }
  const std::optional<bool>& isPaying() const { return isPaying_; }
  const std::optional<int64_t>& userCreationDate() const { return userCreationDate_; }
  const std::optional<double>& iapTotal() const { return iapTotal_; }
  // Custom key/values in the order their keys were first set.
  const std::vector<std::pair<std::string, std::string>>& customParameters() const { return custom_; }
  std::optional<std::string> customValue(const std::string& key) const;

  // True when no field is set.
  bool isEmpty() const;

  bool operator==(const QBSegment&) const = default;

 private:
  std::optional<std::string> segmentName_;
  std::optional<int> level_;
  std::optional<bool> isPaying_;
  std::optional<int64_t> userCreationDate_;
  std::optional<double> iapTotal_;
  std::vector<std::pair<std::string, std::string>> custom_;
};
