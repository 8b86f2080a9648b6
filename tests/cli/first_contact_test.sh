#!/usr/bin/env bash
# velmora-cli as a new user meets it: relative paths are taken from the
# directory the command starts in, standard output holds only results, and
# standard error shows warnings and one line per recording, the steps of
# each only with --verbose.
set -u
cli="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$dir" || fail "no temporary directory"

"$cli" synth --preset demo --out example >/dev/null 2>&1 || fail "synth --preset demo failed"
[ -f example/fc_calibration/ListOfFiles ] || fail "the example was not written below the start directory"

out=$("$cli" fc example/fc_calibration --calibrate 2>err.txt) || fail "fc --calibrate exited with $?"
[ "$(grep -c '^recording [0-9]* of 20: ' err.txt)" -eq 20 ] || fail "stderr lacks one line per recording: $(cat err.txt)"
[ "$(wc -l <err.txt)" -eq 20 ] || fail "stderr holds more than the progress: $(cat err.txt)"
grep -q '^ *20 *15 ' <<<"$out" || fail "stdout lacks the table: $out"
grep -q 'recording\|Analyze_FC' <<<"$out" && fail "progress on stdout: $out"

"$cli" fc example/fc_calibration --select fccalibration01_trace1_Err.FC --verbose >/dev/null 2>err.txt \
  || fail "fc --verbose exited with $?"
grep -q '^Analyze_FC$' err.txt || fail "--verbose does not show the steps: $(cat err.txt)"

trace="example/steps/$(head -n 1 example/steps/ListOfFiles | tr -d '\r')"
mkdir out
"$cli" stats "$trace" --histogram-csv out/h.csv >/dev/null 2>&1 || fail "stats exited with $?"
[ -s out/h.csv ] || fail "the histogram is not where the relative path points"
echo "first contact tests passed"
