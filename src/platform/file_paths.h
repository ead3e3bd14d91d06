#pragma once
// Path facts for code that handles paths it did not choose itself: creating
// one folder level, telling symbolic links apart, and where a path really
// leads. Synchronous, thread-safe, on the calling thread; nothing throws.
#include <optional>
#include <string>

#include "platform/result.h"

namespace platform {

// Creates the folder `path`; its parent must exist already (NotFound
// otherwise). Ok when a folder of that name exists; NotADirectory when
// something else stands there.
Status createDirectory(const std::string& path);

// Whether `path` itself is a symbolic link (the link is not followed).
bool isSymbolicLink(const std::string& path);

// The absolute form of `path` with "." and ".." resolved and every symbolic
// link of its existing part followed; the part that does not exist yet is
// appended as written (normalised). None when the file system cannot tell (a
// link loop, a component that is a file, a permission error).
std::optional<std::string> resolvedPath(const std::string& path);

// Whether `path` is `folder` itself or lies below it, comparing whole
// components of the two texts as given (no resolution: resolve first).
bool isPathInside(const std::string& path, const std::string& folder);

}  // namespace platform
