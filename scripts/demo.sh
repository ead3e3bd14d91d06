#!/usr/bin/env bash
# Installs what is missing, builds the library and the sandbox program (no
# test, benchmark or fuzz target) in build-demo/, installs them into
# build-demo/prefix, builds the demo against that installed package
# (scripts/demo_app.sh) and runs it with the sandbox program installed there
# (build-demo/prefix/bin/quillborne_sandbox). Extra arguments go to the demo.
# Standard output is the demo's alone: what the installation and the build
# print goes to standard error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
{
  bash "$root/scripts/deps.sh"
  # Line tables only (-g1), as the test command builds.
  bash "$root/scripts/build.sh" "$root/build-demo" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    -DQB_BUILD_TESTS=OFF -DQB_BUILD_BENCH=OFF -DQB_BUILD_DEMO=ON
  bash "$root/scripts/demo_app.sh" "$root/build-demo" "$root/build-demo"
} >&2
exec "$root/build-demo/app/quillborne_demo" "$@"
