#pragma once
// Confinement of paths that come from outside the library - the controller
// page's file commands name folders and files of the disk cache - to the
// folder they are meant for.
#include <optional>
#include <string>
#include <string_view>

// How far inside the base folder a path must lead.
enum class PMAPathScope {
  // Strictly below the base: "" and "a/.." never name the base itself (what a
  // file, or a folder to delete, needs).
  BelowBase,
  // The base itself or below it (a folder to store into or to list, where ""
  // means the base).
  BaseOrBelow,
};

// Resolves `relative`, a "/"-separated path inside `base`, and answers
// `base` + "/" + the non-empty components of `relative` exactly as written
// (empty components, from "a//b" or a trailing "/", are dropped; nothing is
// decoded), or none when the path is refused. It is refused when:
//  - it holds a NUL byte;
//  - the text, or one of its percent-decodings (decoded again while that
//    changes it, at most 8 times; "+" stays "+"; a malformed escape ends the
//    decoding), starts with "/" or has a component "." or "..", or is still
//    changing after the last decoding;
//  - `base` is empty or its location cannot be resolved;
//  - the answer, resolved through the symbolic links that exist now, leaves
//    the resolved `base`, or reaches the base itself under BelowBase.
// Names holding ".", "+", "%", spaces or any other byte stay legal as long as
// they are not "." or "..".
//
// Thread-safe; reads the file system (to follow links) and changes nothing. A
// link created after the call is not seen: callers confine just before they
// act.
std::optional<std::string> PMAConfinedPath(const std::string& base, std::string_view relative, PMAPathScope scope);
