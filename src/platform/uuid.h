#pragma once
// A UUID value: 16 bytes, read from and shown as the platform's text form.
// Pure value type; every call is thread-safe.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Uuid {
 public:
  // The UUID of a text of 32 hexadecimal digits (either case) grouped
  // 8-4-4-4-12 by dashes, nothing before or after; none for anything else.
  static std::optional<Uuid> fromString(std::string_view text);

  // The canonical text: upper-case digits grouped 8-4-4-4-12.
  std::string UUIDString() const;
  const std::array<uint8_t, 16>& bytes() const { return bytes_; }

  bool operator==(const Uuid&) const = default;

 private:
  Uuid() = default;
  std::array<uint8_t, 16> bytes_{};
};

}  // namespace platform
