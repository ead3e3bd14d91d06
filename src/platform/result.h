#pragma once
// Value-or-error result used across the platform layer. Nothing in the
// library throws across its boundary: fallible calls return a Result.
#include <string>
#include <utility>
#include <variant>

namespace platform {

struct Error {
  std::string domain;
  int code = 0;
  std::string message;

  bool operator==(const Error&) const = default;
};

template <class T>
class Result {
 public:
  Result(T value) : v_(std::move(value)) {}                 // NOLINT(implicit)
  Result(Error error) : v_(std::move(error)) {}             // NOLINT(implicit)

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const Error& error() const { return std::get<1>(v_); }

  T valueOr(T fallback) const { return ok() ? std::get<0>(v_) : std::move(fallback); }

 private:
  std::variant<T, Error> v_;
};

// Result for calls with nothing to return.
struct Ok {};
using Status = Result<Ok>;

}  // namespace platform
