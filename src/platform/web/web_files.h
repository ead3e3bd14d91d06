#pragma once
// The file rules of the web view: which files a page may read, and reading
// them with the URL-loading codes of a failed read. Internal to the web view.
#include <string>

#include "platform/result.h"

namespace platform::web_internal {

// True when `path` is `root` or lies inside it, symbolic links resolved.
bool isInside(const std::string& root, const std::string& path);

// The file's contents (at most kMaxWebResourceBytes), or a URL-loading error:
// -1100 missing, -1101 a folder, -1103 too large, -1102 anything else.
Result<std::string> readWebFile(const std::string& path);

}  // namespace platform::web_internal
