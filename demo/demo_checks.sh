#!/usr/bin/env bash
# What a user of the demo sees: the road prints the ad information and the
# impression data the sandbox gives, a --server that is not an http(s) URL is
# refused at once, and a failed run names its cause and leaves no data folder.
# Usage: demo_checks.sh <path of quillborne_demo>
set -u
demo="$1"
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

mkdir "$tmp/road" "$tmp/refused" "$tmp/failed"
TMPDIR="$tmp/road" "$demo" >"$tmp/road.out" 2>/dev/null
check "the road completes" grep -q "^road completed$" "$tmp/road.out"
check "the open carries its ad info" grep -Eq '^rewardedVideo didOpenWithAdInfo \{"auctionId":"demo-1".*"revenue":' "$tmp/road.out"
check "the own network fills the rewarded video" grep -Eq '^rewardedVideo didReceiveRewardForPlacement .*"adNetwork":"Quillborne"' "$tmp/road.out"
check "Tulvo fills the interstitial" grep -Eq '^interstitial didCloseWithAdInfo .*"adNetwork":"Tulvo"' "$tmp/road.out"
check "impression data reach the listener" grep -Eq '^impressionDataDidSucceed \{.*"placement":"DefaultInterstitial"' "$tmp/road.out"
check "the road leaves no data folder" test -z "$(ls -A "$tmp/road")"

mkdir "$tmp/own"
TMPDIR="$tmp/own" "$demo" --network=own >"$tmp/own.out" 2>/dev/null
check "the own network alone completes the road" grep -q "^road completed$" "$tmp/own.out"
check "the own network fills the interstitial" grep -Eq '^interstitial didCloseWithAdInfo .*"adNetwork":"Quillborne"' "$tmp/own.out"
check "the own network's ad comes on screen" grep -q "^ui: product view controller on screen" "$tmp/own.out"
check "the ad page's click reaches the application" grep -Eq '^rewardedVideo didClick .*"adNetwork":"Quillborne"' "$tmp/own.out"
check "the application's screen comes back" grep -q "^ui: product view controller gone" "$tmp/own.out"
check "a load caches the ad's creative" grep -Eq '^cache: saved Interstitial/[^/]+/ad_unit\.html \([1-9][0-9]* bytes\)$' "$tmp/own.out"
check "the ad's close deletes its creative" grep -Eq '^cache: deleted Interstitial/[^/]+/ad_unit\.html$' "$tmp/own.out"
check "the page's file store marks the creative with its ad" grep -Eq '^file store: Interstitial/([^/]+)/ad_unit\.html marked for ad [^ ]+$' "$tmp/own.out"
check "the page hears the silent switch while its ad is shown" grep -q '^ringer: the page heard ringerSwitchSilent silent (listener started, stopped)$' "$tmp/own.out"
check "the default road listens to the silent switch too" grep -q '^ringer: the page heard ringerSwitchSilent silent ' "$tmp/road.out"
check "the offerwall's signed credit reaches the listener" grep -q '^offerwall pmaOfferWallDidReceiveCredit {"credits":"5","totalCredits":"150","totalCreditsFlag":"false"}$' "$tmp/own.out"
check "the offerwall closes" grep -q '^offerwall pmaOfferWallDidClose$' "$tmp/own.out"
check "the credit is stamped into the page's user record" grep -Eq '^own network: pmaUserData \{"demoAppKey1":\{"demo-user":\{"timestamp":"[0-9]+"\}\}\}$' "$tmp/own.out"
check "the default road runs the offerwall too" grep -q '^offerwall pmaOfferWallDidReceiveCredit ' "$tmp/road.out"
check "a banner loads from the own network" grep -Eq '^banner didLoad \{.*"adNetwork":"Quillborne"' "$tmp/own.out"
check "the banner shows in the application's view" grep -q "^ui: banner on screen in the application's view (320x50)$" "$tmp/own.out"
check "the banner's click reaches the application" grep -Eq '^banner didClickWithAdInfo .*"adNetwork":"Quillborne"' "$tmp/own.out"
check "the destroyed banner leaves the screen" grep -q "^ui: banner gone from the application's view$" "$tmp/own.out"
check "the default road shows a banner too" grep -q "^ui: banner gone from the application's view$" "$tmp/road.out"

TMPDIR="$tmp/refused" "$demo" --server ftp://127.0.0.1/ >/dev/null 2>"$tmp/refused.err"
check "a non-http server is refused" grep -q "is not an http or https URL" "$tmp/refused.err"
check "the refusal makes no data folder" test -z "$(ls -A "$tmp/refused")"

TMPDIR="$tmp/failed" "$demo" --app-key "bad key" >/dev/null 2>"$tmp/failed.err"
check "a failed start-up names its cause" grep -q "does not match" "$tmp/failed.err"
check "a failed start-up leaves no data folder" test -z "$(ls -A "$tmp/failed")"
exit $status
