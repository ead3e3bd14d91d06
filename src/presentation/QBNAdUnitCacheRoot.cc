#include "presentation/QBNAdUnitCacheRoot.h"

#include "platform/storage.h"

std::optional<std::string> QBNAdUnitCacheRootDirectory() {
  const std::string root = platform::libraryCachesPath() + "/PMACache";
  if (!platform::createDirectories(root)) return std::nullopt;
  return root;
}
