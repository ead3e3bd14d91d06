#include "ownnetwork/cache/PMAConfinedPath.h"

#include <vector>

#include "platform/crypto.h"
#include "platform/file_paths.h"

namespace {

constexpr int kMaxDecodings = 8;

std::vector<std::string_view> components(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t slash = text.find('/', start);
    if (slash == std::string_view::npos) slash = text.size();
    if (slash > start) out.push_back(text.substr(start, slash - start));
    start = slash + 1;
  }
  return out;
}

// Whether the text is absolute, holds a NUL or has a "." or ".." component.
bool escapes(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return true;
  if (!text.empty() && text.front() == '/') return true;
  for (std::string_view part : components(text)) {
    if (part == "." || part == "..") return true;
  }
  return false;
}

// The text and every decoding of it pass; false as soon as one escapes.
bool passesEveryDecoding(std::string_view relative) {
  std::string text(relative);
  for (int round = 0; round <= kMaxDecodings; ++round) {
    if (escapes(text)) return false;
    auto decoded = platform::percentDecode(text);
    if (!decoded || decoded.value() == text) return true;
    if (round == kMaxDecodings) return false;  // still unfolding: refuse rather than guess
    text = std::move(decoded).value();
  }
  return false;
}

}  // namespace

std::optional<std::string> PMAConfinedPath(const std::string& base, std::string_view relative, PMAPathScope scope) {
  if (base.empty() || !passesEveryDecoding(relative)) return std::nullopt;
  std::string joined = base;
  while (joined.size() > 1 && joined.back() == '/') joined.pop_back();
  for (std::string_view part : components(relative)) {
    if (joined.back() != '/') joined += '/';
    joined += part;
  }
  const auto resolvedBase = platform::resolvedPath(base);
  const auto resolved = platform::resolvedPath(joined);
  if (!resolvedBase || !resolved || !platform::isPathInside(*resolved, *resolvedBase)) return std::nullopt;
  if (scope == PMAPathScope::BelowBase && platform::isPathInside(*resolvedBase, *resolved)) return std::nullopt;
  return joined;
}
