#!/usr/bin/env bash
# The demo's checks (ctest -L demo): builds demo/ against this build's
# installed package (scripts/demo_app.sh: only installed headers), then runs
# its road against the sandbox program installed with that package, which the
# demo finds by itself, and checks what a user sees.
# Usage: demo_checks.sh <library build dir> <package version>
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
version="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
status=0
check() {  # check <what> <command...>: the command must succeed
  local what="$1"
  shift
  if ! "$@"; then
    echo "FAILED: $what" >&2
    status=1
  fi
}
# first_line <file> <extended regex>: number of the first matching line (0: none)
first_line() { grep -nE "$2" "$1" | head -n 1 | cut -d: -f1 | grep . || echo 0; }
# before <file> <regex a> <regex b>: a line matching a comes before the first line matching b
before() {
  local a b
  a="$(first_line "$1" "$2")"
  b="$(first_line "$1" "$3")"
  [ "$a" -gt 0 ] && [ "$b" -gt 0 ] && [ "$a" -lt "$b" ]
}
# empty <file>: the file is empty; else it is shown (a line the run should not have written)
empty() {
  [ ! -s "$1" ] && return 0
  sed 's/^/  | /' "$1" >&2
  return 1
}
# nth_line <file> <regex> <n>: number of the n-th matching line (0: none)
nth_line() { grep -nE "$2" "$1" | sed -n "${3}p" | cut -d: -f1 | grep . || echo 0; }

if ! bash "$root/scripts/demo_app.sh" "$build" "$tmp/demo"; then
  echo "FAILED: the demo builds against the installed package with only its headers" >&2
  exit 1
fi
demo="$tmp/demo/app/quillborne_demo"
if [ ! -x "$tmp/demo/prefix/bin/quillborne_sandbox" ]; then
  echo "FAILED: the sandbox program is installed with the package (bin/quillborne_sandbox)" >&2
  exit 1
fi
run() {  # run <name> <demo arguments...>: output in $tmp/<name>.out and .err, data folders under $tmp/<name>
  local name="$1"
  shift
  mkdir "$tmp/$name"
  TMPDIR="$tmp/$name" "$demo" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err"
}

# The default road: the own network fills the rewarded video, Tulvo the
# interstitial, then the own network's offerwall.
run road
out="$tmp/road.out"
check "the road completes" grep -q "^road completed$" "$out"
check "the demo reports the installed package's version" grep -qx "sdkVersion $version" "$out"
check "the open carries its ad info" grep -Eq '^rewardedVideo didOpenWithAdInfo \{"auctionId":"demo-1".*"revenue":' "$out"
check "the own network fills the rewarded video" grep -Eq '^rewardedVideo didReceiveRewardForPlacement .*"adNetwork":"Quillborne"' "$out"
check "Tulvo fills the interstitial" grep -Eq '^interstitial didCloseWithAdInfo .*"adNetwork":"Tulvo"' "$out"
check "impression data reach the listener" grep -Eq '^impressionDataDidSucceed \{.*"placement":"DefaultInterstitial"' "$out"
check "the page's cache line comes before the load's answer" \
  before "$out" '^cache: saved Interstitial/QuillborneRV1/ad_unit\.html, in the store listing$' '^rewardedVideo hasAvailableAdWithAdInfo '
check "the page's file store marks the creative with its ad before the load's answer" \
  before "$out" '^file store: Interstitial/QuillborneRV1/ad_unit\.html marked for ad QuillborneRV1$' '^rewardedVideo hasAvailableAdWithAdInfo '
check "the page's request through the native proxy comes back before the load's answer" \
  before "$out" '^proxy: POST /page-server/collect 200 \(22 bytes\)$' '^rewardedVideo hasAvailableAdWithAdInfo '
check "the ad's close deletes its creative" grep -q '^cache: deleted Interstitial/QuillborneRV1/ad_unit\.html$' "$out"
check "the page hears the silent switch while its ad is shown" \
  grep -q '^ringer: the page heard ringerSwitchSilent silent (listener started, stopped)$' "$out"
# (Whether the ad was viewable depends on real time on a loaded machine here;
# the sdk tests hold it on the test clock.)
check "the own network's shown ad is measured from its start to its finish" \
  grep -Eq '^measurement: ad view ad-[0-9]+, session [0-9A-F-]{36}: html, started, impression, [0-9.]+% in view, (viewable|not viewable), finished$' "$out"
check "the measured ad's line comes after its open" \
  before "$out" '^rewardedVideo didOpenWithAdInfo ' '^measurement: ad view '
check "the own network's ad comes over the application's screen" \
  before "$out" '^ui: a view controller is presented over' '^rewardedVideo didClick '
check "the application's screen comes back" \
  before "$out" '^ui: the presented view controller left' '^rewardedVideo didCloseWithAdInfo '
check "the offerwall's signed credit reaches the listener" \
  grep -q '^offerwall pmaOfferWallDidReceiveCredit {"credits":"5","totalCredits":"150","totalCreditsFlag":"false"}$' "$out"
check "the page reports the credit stamped into its user record, then the offerwall closes" \
  before "$out" '^offerwall: credited, user record pmaUserData \{"demoAppKey1":\{"demo-user":\{"timestamp":"[0-9]+"\}\}\}$' \
  '^offerwall pmaOfferWallDidClose$'
check "a banner loads from the own network after the interstitial" \
  before "$out" '^interstitial didCloseWithAdInfo ' '^banner didLoad \{.*"adNetwork":"Quillborne"'
check "the banner shows in the application's view" \
  grep -q "^ui: banner on screen in the application's view (320x50)$" "$out"
check "the banner's click reaches the application" \
  before "$out" "^ui: banner on screen in the application's view" '^banner didClickWithAdInfo .*"adNetwork":"Quillborne"'
check "the destroyed banner leaves the application's view before the offerwall" \
  before "$out" "^ui: banner gone from the application's view$" '^offerwall pmaInitOfferWallSuccess$'
check "the shown ad's impression reaches the store, started and ended" \
  grep -q '^store: impression started and ended, app 1460000001, network net.example.skadnetwork$' "$out"
check "the shown ad's store overlay is presented and dismissed in the application's scene" \
  before "$out" '^store: overlay demo overlay created, presented, dismissed, removed$' '^rewardedVideo didCloseWithAdInfo '
check "no library log line below warning by default (a good road logs none at all)" empty "$tmp/road.err"
check "the road leaves no data folder" test -z "$(ls -A "$tmp/road")"

# Each loading mode's next rewarded video.
second_after_close() {  # <file> <regex of the second availability>
  local second close
  second="$(nth_line "$1" "$2" 2)"
  close="$(first_line "$1" '^rewardedVideo didCloseWithAdInfo ')"
  [ "$second" -gt "$close" ] && [ "$close" -gt 0 ]
}
check "load after close: the next ad is available after the close" \
  second_after_close "$out" '^rewardedVideo hasAvailableAdWithAdInfo '
check "load after close: the demo says so" grep -q '^rewardedVideo next ad: available after the close$' "$out"

run lws --mode=load-while-show
check "load while show: the road completes" grep -q "^road completed$" "$tmp/lws.out"
check "load while show: the next ad (Tulvo's, the own network's is showing) is available during the show" \
  before "$tmp/lws.out" '^rewardedVideo hasAvailableAdWithAdInfo \{"auctionId":"demo-2".*"adNetwork":"Tulvo"' \
  '^rewardedVideo didCloseWithAdInfo '
check "load while show: the demo says so" grep -q '^rewardedVideo next ad: available during the show$' "$tmp/lws.out"

run manual --mode=manual --network=tulvo
check "manual: the road completes" grep -q "^road completed$" "$tmp/manual.out"
check "manual: the application's second load answers after the close" \
  second_after_close "$tmp/manual.out" '^rewardedVideo didLoadWithAdInfo '
check "manual: Tulvo alone opens no offerwall" test -z "$(grep '^offerwall' "$tmp/manual.out")"
check "manual: Tulvo alone shows no banner" test -z "$(grep '^banner' "$tmp/manual.out")"

# The own network alone, then a second run with the sandbox stopped.
run own --network=own --offline-second-run
out="$tmp/own.out"
check "the own network alone completes the road" grep -q "^road completed$" "$out"
check "the own network fills the interstitial" grep -Eq '^interstitial didCloseWithAdInfo .*"adNetwork":"Quillborne"' "$out"
check "the own network alone shows its banner" grep -q "^ui: banner gone from the application's view$" "$out"
check "each own-network show hears the switch on its own" \
  test "$(grep -c '^ringer: the page heard ringerSwitchSilent silent (listener started, stopped)$' "$out")" = 2
check "the offline run ends on its start from the cached configuration" \
  test "$(tail -n 1 "$out")" = "offline run: started from the cached configuration, start-up completed"
check "the offline run leaves no data folder" test -z "$(ls -A "$tmp/own")"

# The test console: its page runs its plan and closes it; the application's
# ad listeners hear nothing while it is open, its impression-data listener
# hears each shown ad.
run suite --test-suite --mode=manual
out="$tmp/suite.out"
check "test suite: the console opens and closes" grep -q "^test suite completed$" "$out"
check "test suite: the page reports the rewarded video's reward before its close" \
  before "$out" '^testsuite: rewardedVideo onAdRewarded \["DefaultRewardedVideo"' '^testsuite: rewardedVideo onAdClosed '
check "test suite: Tulvo's interstitial is shown and closed" \
  before "$out" '^testsuite: interstitial onAdReady \[".*TulvoIS1' '^testsuite: interstitial onAdClosed '
check "test suite: the own network's banner loads and goes on screen" \
  before "$out" '^testsuite: banner onAdLoaded \[".*QuillborneBN1' '^testsuite: banner on screen$'
check "test suite: the banner's ad page clicks it while it is on screen" \
  before "$out" '^testsuite: banner on screen$' '^testsuite: banner onAdClicked '
check "test suite: the plan ends before the console closes" \
  before "$out" '^testsuite: plan done$' '^test suite closed'
suite_lines() {  # the lines while the console is open
  sed -n '/^test suite opened/,/^test suite closed/p' "$out"
}
check "test suite: the application's ad listeners hear nothing while it is open" \
  test -z "$(suite_lines | grep -E '^(rewardedVideo|interstitial|banner) ')"
check "test suite: the impression-data listener hears the three shown ads while it is open" \
  test "$(suite_lines | grep -c '^impressionDataDidSucceed ')" = 3
check "test suite: no library log line below warning" empty "$tmp/suite.err"

# The console in the default (automatic) loading mode: the library loads the
# rewarded video itself; the page waits for it instead of asking for a load.
run suite_auto --test-suite
out="$tmp/suite_auto.out"
check "test suite, automatic loading: the console opens and closes" grep -q "^test suite completed$" "$out"
check "test suite, automatic loading: the page shows the rewarded video the library made available" \
  before "$out" '^testsuite: rewardedVideo onAdAvailable ' '^testsuite: rewardedVideo onAdClosed '
check "test suite, automatic loading: nothing on standard error" empty "$tmp/suite_auto.err"

# The console with Tulvo alone: no banner in the plan (Tulvo has none), and
# nothing to complain of.
run suite_tulvo --test-suite --network=tulvo
out="$tmp/suite_tulvo.out"
check "test suite, Tulvo alone: the console opens and closes" grep -q "^test suite completed$" "$out"
check "test suite, Tulvo alone: Tulvo's rewarded video is shown and closed" \
  before "$out" '^testsuite: rewardedVideo onAdOpened \[".*TulvoRV2' '^testsuite: rewardedVideo onAdClosed \[".*TulvoRV2'
check "test suite, Tulvo alone: the plan has no banner" test -z "$(grep -E '^testsuite: banner|^cache: ' "$out")"
check "test suite, Tulvo alone: nothing on standard error" empty "$tmp/suite_tulvo.err"

# The console's level.
run verbose --log-level=verbose
check "verbose: the library's detailed lines reach standard error" \
  grep -q 'SDK state changed from SDK_NOT_INITIATED to SDK_INIT_IN_PROGRESS' "$tmp/verbose.err"
check "verbose: standard output holds the same road" grep -q "^road completed$" "$tmp/verbose.out"

# The usage.
run help --help
help_status=$?
check "--help exits 0" test "$help_status" = 0
check "--help prints the usage on standard output" grep -q '^usage: quillborne_demo ' "$tmp/help.out"
check "--help writes nothing on standard error" empty "$tmp/help.err"

# Failures.
run refused --server ftp://127.0.0.1/
check "a non-http server is refused" grep -q "is not an http or https URL" "$tmp/refused.err"
check "a refused argument is followed by the usage" grep -q '^usage: quillborne_demo ' "$tmp/refused.err"
check "the refusal makes no data folder" test -z "$(ls -A "$tmp/refused")"
run failed --app-key "bad key"
check "a failed start-up names its cause" grep -q "^demo failed: .*does not match" "$tmp/failed.err"
check "a failed start-up leaves no data folder" test -z "$(ls -A "$tmp/failed")"

# The start-up example of docs/host.md builds against the installed package as
# the demo did (same compiler and flags) and learns of the refused key; the
# lines docs/errors.md shows stand in it as they are.
block() {  # block <file> <marker>: the code block that follows the marker line
  awk -v marker="$2" 'index($0, marker) == 1 { found = 1; next }
    found && /^```cpp$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside' "$1"
}
example="$tmp/example"
mkdir -p "$example/data"
block "$root/docs/host.md" "<!-- start-up example:" >"$example/main.cc"
fragment="$(block "$root/docs/errors.md" "<!-- part of the start-up example")"
check "docs/errors.md shows lines of the start-up example as they stand in it" \
  test -n "$fragment" -a "$(grep -F -x -A "$(($(wc -l <<<"$fragment") - 1))" -- "$(head -n 1 <<<"$fragment")" \
    "$example/main.cc")" = "$fragment"
cat >"$example/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(start_up_example LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Quillborne REQUIRED)
add_executable(start_up_example main.cc)
target_link_libraries(start_up_example PRIVATE Quillborne::quillborne)
EOF
app_cache() { sed -n "s/^$1:[A-Z]*=//p" "$tmp/demo/app/CMakeCache.txt"; }
if cmake -S "$example" -B "$example/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
     -DCMAKE_CXX_FLAGS="$(app_cache CMAKE_CXX_FLAGS)" -DCMAKE_CXX_COMPILER="$(app_cache CMAKE_CXX_COMPILER)" \
     -DCMAKE_CXX_COMPILER_LAUNCHER="$(app_cache CMAKE_CXX_COMPILER_LAUNCHER)" \
     -DCMAKE_PREFIX_PATH="$tmp/demo/prefix" >"$example/build.log" 2>&1 &&
   cmake --build "$example/build" >>"$example/build.log" 2>&1; then
  XDG_DATA_HOME="$example/data" TMPDIR="$example" "$example/build/start_up_example" >"$example/out" 2>/dev/null
  check "the start-up example learns of the refused key from its log delegate" \
    grep -qxF 'start-up: failStartUp - Init Fail - Invalid appKey (appKey "" does not match ^[0-9a-zA-Z]+$)' \
    "$example/out"
else
  cat "$example/build.log" >&2
  echo "FAILED: the start-up example of docs/host.md builds against the installed package" >&2
  status=1
fi
exit $status
