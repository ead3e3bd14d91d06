#pragma once
// Where the own network keeps what it downloads, and so where ad pages given
// as "./..." paths live.
#include <optional>
#include <string>

// The cache root, <Library/Caches>/PMACache, created when missing; none when
// it cannot be made. Any thread.
std::optional<std::string> QBNAdUnitCacheRootDirectory();
