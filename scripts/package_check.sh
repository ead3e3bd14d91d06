#!/usr/bin/env bash
# package_check.sh <build-dir>: installs that build into a temporary prefix,
# then configures, builds and runs the tiny application of tests/consumer
# against it (find_package(Quillborne), Quillborne::quillborne).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
# The consumer takes the library's compiler, so the archives link as built.
compiler="$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")"
cmake -S "$root/tests/consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/consumer" >/dev/null
"$tmp/consumer/quillborne_consumer"
