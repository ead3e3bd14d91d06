#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build, then
# the thread-sanitizer build of the race-prone suites.
# QB_SKIP_TSAN=1 skips the second build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"
bash "$root/scripts/deps.sh"

bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure --parallel "$jobs")

if [ "${QB_SKIP_TSAN:-0}" != "1" ]; then
  bash "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=thread \
    -DQB_BUILD_BENCH=OFF -DQB_BUILD_DEMO=OFF
  (cd "$root/build-tsan" && ctest --output-on-failure --parallel "$jobs")
fi
