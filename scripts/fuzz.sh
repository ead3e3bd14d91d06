#!/usr/bin/env bash
# fuzz.sh <build-dir> [name...]: runs fuzz targets of a QB_BUILD_FUZZ build,
# every target listed in <build-dir>/fuzz/targets.txt (one qb_fuzz() line in
# fuzz/CMakeLists.txt each) or only the names given.
#
# Each target runs for QB_FUZZ_SECONDS (default 60) on its seed corpus
# fuzz/corpus/<name>/ (read only: new inputs go to a scratch folder) with its
# dictionary fuzz/dict/<name>.dict when there is one, QB_FUZZ_JOBS targets at
# a time (default 2). A target that crashes, leaks, hits undefined behaviour or
# breaks one of its checks fails the run; its log and the input that did it
# are kept under <build-dir>/fuzz/out/<name>/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
shift
seconds="${QB_FUZZ_SECONDS:-60}"
jobs="${QB_FUZZ_JOBS:-2}"

if [ $# -gt 0 ]; then
  names=("$@")
else
  mapfile -t names < "$build/fuzz/targets.txt"
fi

run_one() {
  local name="$1" out="$build/fuzz/out/$1"
  rm -rf "$out"
  mkdir -p "$out/corpus"
  local args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1
              -artifact_prefix="$out/")
  [ -f "$root/fuzz/dict/$name.dict" ] && args+=(-dict="$root/fuzz/dict/$name.dict")
  if ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:suppressions=$root/tests/ubsan.supp" \
     "$build/fuzz/fuzz_$name" "${args[@]}" "$out/corpus" "$root/fuzz/corpus/$name" > "$out/log.txt" 2>&1; then
    echo "fuzz $name: ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/log.txt" | grep -o '[0-9]*$' || echo '?') runs)"
  else
    echo "fuzz $name: FAILED (log and input: $out)"
    tail -n 60 "$out/log.txt"
    return 1
  fi
}
export -f run_one
export build root seconds

failed=0
printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} || failed=1
if [ "$failed" != 0 ]; then
  echo "fuzz: at least one target failed"
  exit 1
fi
echo "fuzz: ${#names[@]} targets, ${seconds} s each, no failure"
