#!/usr/bin/env bash
# velmora-cli on ABF files as a user runs it: the model cell's steps written
# as ABF 2, then info, spikes, stats, fi and batch on the file, a sweep of it
# and directories holding it; and the error of a channel that is not there.
set -u
cli="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cli" synth --protocol steps --out "$dir/synth" --duration 1000 --i-range 0 300 4 --abf >/dev/null 2>&1 \
  || fail "synth --abf did not write the steps"
mkdir -p "$dir/batch/cellA" "$dir/batch/cellB"
cp "$dir/synth/steps.abf" "$dir/batch/cellA/cell.abf"
cp "$dir/synth/steps.abf" "$dir/batch/cellB/cell.abf"
abf="$dir/batch/cellA/cell.abf"

out=$("$cli" info "$abf" --sweep 3 --json) || fail "info exited with $?"
for key in '"format": "ABF2"' '"version": "2.' '"sweeps": 4' '"sweep": 3' '"unit": "mV"' '"holds": "Ireal"' \
  '"epoch": "B"' '"type": "step"' '"ProtocolKind": 2' '"FileNo": 3' '"Ifile": 200'; do
  grep -q -- "$key" <<<"$out" || fail "info --json lacks $key: $out"
done
"$cli" info "$abf #3" | grep -q '^ProtocolKind *2 (step of epoch B)$' || fail "text output lacks the step of the sweep"

"$cli" spikes "$abf" --sweep 4 --csv | tail -n +2 | grep -q . || fail "spikes found no spike in the strongest step"
"$cli" stats "$abf #4" --no-filter | grep -q '^samples' || fail "stats printed no sample count"

out=$("$cli" fi "$dir/batch/cellA" --rewrite 2>/dev/null) || fail "fi on the directory exited with $?"
grep -q 'cell.abf #4' <<<"$out" || fail "fi does not name the sweeps: $out"
[ "$(wc -l <"$dir/batch/cellA/out_nu.dat")" -eq 5 ] || fail "out_nu.dat does not hold a header and 4 sweeps"
cp "$dir/batch/cellA/out_nu.dat" "$dir/nu_dir.dat"
"$cli" fi "$abf" --rewrite >/dev/null 2>&1 || fail "fi on the file exited with $?"
cmp -s "$dir/batch/cellA/out_nu.dat" "$dir/nu_dir.dat" || fail "fi on the file differs from fi on its directory"

out=$("$cli" batch "$dir/batch" --rewrite 2>/dev/null) || fail "batch exited with $?"
grep -q 'cellB/cell.abf:' <<<"$out" || fail "batch did not run the second directory: $out"

err=$("$cli" spikes "$abf" --voltage-channel 5 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "missing channel: exit code $code"
grep -q 'cell.abf: there is no channel 5 (the file has 2)' <<<"$err" || fail "missing channel: message $err"

err=$("$cli" info "$abf" --sweep 9 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "missing sweep: exit code $code"
grep -q 'there is no sweep 9: the file has 4' <<<"$err" || fail "missing sweep: message $err"
echo "ABF tests passed"
