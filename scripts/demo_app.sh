#!/usr/bin/env bash
# demo_app.sh <library-build-dir> <out-dir>: builds the demo as an application
# does, against the installed package:
#  1. installs the library build into <out-dir>/prefix;
#  2. checks that the demo's sources include no header of the project other
#     than the installed ones (and none of the library's own dependencies);
#  3. configures and builds demo/ with find_package(Quillborne) into
#     <out-dir>/app (with the library's compiler, so the archives link as
#     built; warnings are errors when the library's were).
# The demo is then <out-dir>/app/quillborne_demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
mkdir -p "$2"
out="$(cd "$2" && pwd)"

rm -rf "$out/prefix"
cmake --install "$build" --prefix "$out/prefix" >/dev/null

bad=0
for source in "$root"/demo/*.cc "$root"/demo/*.h; do
  while IFS= read -r header; do
    if [ ! -f "$root/demo/$header" ] && [ ! -f "$out/prefix/include/$header" ]; then
      echo "$(basename "$source") includes \"$header\", which is neither the demo's nor installed" >&2
      bad=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$source")
  if grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(curl|nlohmann|simdjson|JavaScriptCore|openssl|zlib|re2|gumbo|uriparser|httplib)' "$source" >&2; then
    echo "$(basename "$source") includes a library the package links privately" >&2
    bad=1
  fi
done
[ "$bad" = 0 ] || exit 1

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
flags="-Wall -Wextra"
[ "$(cache QB_WERROR)" = "ON" ] && flags="$flags -Werror"
cmake -S "$root/demo" -B "$out/app" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_CXX_COMPILER="$(cache CMAKE_CXX_COMPILER)" -DCMAKE_CXX_COMPILER_LAUNCHER="$(cache CMAKE_CXX_COMPILER_LAUNCHER)" \
  -DCMAKE_PREFIX_PATH="$out/prefix" >/dev/null
cmake --build "$out/app" >/dev/null
