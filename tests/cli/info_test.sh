#!/usr/bin/env bash
# velmora-cli info as a user runs it: on a model-cell recording, and on bad input.
set -u
cli="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cli" synth --protocol steps --out "$dir/steps" --duration 200 --i-range 0 100 2 >/dev/null 2>&1 \
  || fail "synth did not write the steps directory"
trace="$dir/steps/$(head -n 1 "$dir/steps/ListOfFiles" | tr -d '\r')"

out=$("$cli" info "$trace" --json) || fail "info exited with $?"
for key in '"Duration"' '"nLast": 3999' '"dt": 5e-05' '"FileNo": 1' '"ProtocolKind": 2' '"V": {'; do
  grep -q -- "$key" <<<"$out" || fail "info --json lacks $key: $out"
done
"$cli" info "$trace" | grep -q '^nLast *3999$' || fail "text output lacks the nLast line"

# A missing trace: exit code 1 and a message naming the file.
err=$("$cli" info "$dir/steps/none_trace1_Err.cc" 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "missing trace: exit code $code"
grep -q 'none_trace1_Err.cc: no such trace file' <<<"$err" || fail "missing trace: message $err"

# A damaged parameter file: the line and the field are named.
par="$dir/steps/$(sed -n 2p "$dir/steps/ListOfFiles" | tr -d '\r')"
sed -i '6s/.*/0,05\r/' "$par"
err=$("$cli" info "$trace" 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "bad parameter file: exit code $code"
grep -q 'line 6, field 3: "0,05" is not a number' <<<"$err" || fail "bad parameter file: message $err"
echo "info tests passed"
