#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#  1. the normal build (g++): the whole suite, the demo's checks among it
#     (the demo built against the installed package, its road against the
#     sandbox program);
#  2. the address + undefined-behaviour build (clang, with the fuzz targets):
#     the whole suite and a replay of every fuzz corpus, then each fuzz target
#     for QB_FUZZ_SECONDS seconds (10 here: the three builds take most of
#     CI's time on two cores; scripts/fuzz.sh alone defaults to 60), two at a
#     time;
#  3. the thread-sanitizer build (g++): the whole suite.
# Warnings are errors in all three. QB_SKIP_ASAN=1, QB_SKIP_FUZZ=1 (the fuzz
# runs only) and QB_SKIP_TSAN=1 skip a stage.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"
bash "$root/scripts/deps.sh"

stage() { echo "== $* ($(date +%T))"; }

# Line tables only (-g1) in every build: readable stack traces at three
# quarters of the compile time of full debug information.
stage "normal build"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DQB_WERROR=ON
(cd "$root/build" && ctest --output-on-failure --parallel "$jobs")

if [ "${QB_SKIP_ASAN:-0}" != "1" ]; then
  stage "address + undefined-behaviour build"
  # -O1: fuzzing speed at a modest compile cost; assertions stay on.
  CC=clang CXX=clang++ bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DQB_BUILD_FUZZ=ON -DQB_BUILD_BENCH=OFF -DQB_BUILD_DEMO=OFF -DQB_WERROR=ON
  (cd "$root/build-asan" && ctest --output-on-failure --parallel "$jobs")
  if [ "${QB_SKIP_FUZZ:-0}" != "1" ]; then
    stage "fuzz targets"
    QB_FUZZ_SECONDS="${QB_FUZZ_SECONDS:-10}" bash "$root/scripts/fuzz.sh" "$root/build-asan"
  fi
fi

if [ "${QB_SKIP_TSAN:-0}" != "1" ]; then
  stage "thread-sanitizer build"
  bash "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=thread \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" \
    -DQB_BUILD_BENCH=OFF -DQB_BUILD_DEMO=OFF -DQB_WERROR=ON
  (cd "$root/build-tsan" && ctest --output-on-failure --parallel "$jobs")
fi
stage "done"
