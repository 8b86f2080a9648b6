#!/usr/bin/env bash
# --set as a user types it: a setting outside its limits or unknown to the
# command stops it with exit code 1 and names the setting; one within runs.
set -u
cli="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cli" synth --protocol steps --out "$dir/steps" --duration 200 --i-range 0 100 2 >/dev/null 2>&1 \
  || fail "synth did not write the steps directory"

err=$("$cli" fi "$dir/steps" --set Iterations=5000 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "Iterations=5000: exit code $code"
grep -q 'Iterations=5000: Iterations takes whole numbers 0..100, not 5000' <<<"$err" || fail "Iterations=5000: $err"
[ ! -e "$dir/steps/out_nu.dat" ] || fail "Iterations=5000: the analysis ran"

err=$("$cli" fc "$dir/steps" --set V_min=-20 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "fc V_min: exit code $code"
grep -q 'no setting "V_min" for this command' <<<"$err" || fail "fc V_min: $err"

"$cli" fi "$dir/steps" --set Iterations=3 --set timewindow=20 >/dev/null 2>&1 || fail "settings within limits: exit code $?"
"$cli" fi --help | grep -q 'Filtering: "Iterations", 0..100' || fail "fi --help lacks the limits of Iterations"
echo "set tests passed"
