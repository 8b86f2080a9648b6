#!/usr/bin/env bash
# Four "fi --append" runs at once on one directory: each must wait for the
# one before, so that line k of every per-sweep result file describes the
# same sweep. Interleaved appends paired one sweep's rate with another's
# threshold in the lab's later analyses.
set -u
cli="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$tmp" || exit 1

"$cli" synth --protocol steps --out d --duration 400 --i-range 0 350 8 >/dev/null 2>&1 || fail "synth"
timeout 120 "$cli" fi d --rewrite >/dev/null 2>&1 || fail "the first run"
pids=()
for n in 1 2 3 4; do
  timeout 300 "$cli" fi d --append >"out$n.txt" 2>"err$n.txt" &
  pids+=($!)
done
for n in 0 1 2 3; do
  wait "${pids[$n]}" || fail "run $((n + 1)) exited with $?: $(cat "err$((n + 1)).txt")"
done

# Columns 1-5 (Gclamp, Iclamp, the two ratios, the spike count) name the sweep.
sweeps() { tail -n +2 "d/$1" | awk '{print $1, $2, $3, $4, $5}'; }
reference=$(sweeps out_nu.dat)
[ "$(wc -l <<<"$reference")" -eq 40 ] || fail "out_nu.dat holds $(wc -l <<<"$reference") records, not 5 runs of 8"
for f in out_Vav.dat out_WidthAP.dat out_Vpeak.dat out_VAHP.dat out_VT.dat out_AdaptRatio.dat out_Rate.dat \
         out_VAHPfast.dat; do
  [ "$(sweeps "$f")" = "$reference" ] || fail "$f is not in step with out_nu.dat: $(diff <(sweeps "$f") <(echo "$reference") | head -5)"
done
# Each run's sweeps stay together, in list order.
first=$(head -n 8 <<<"$reference")
for k in 1 2 3 4; do
  [ "$(sed -n "$((8 * k + 1)),$((8 * k + 8))p" <<<"$reference")" = "$first" ] || fail "run $k is interleaved"
done
echo "concurrent append tests passed"
