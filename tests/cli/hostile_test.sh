#!/usr/bin/env bash
# velmora-cli against what an adversarial user puts in a data directory:
# special files, links, endless lines, a file-size limit, absurd option
# values. Every run must end (a timeout is a hang), without a signal (a
# crash), and write nothing outside the data directory.
set -u
cli="$1"
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$tmp" || exit 1

"$cli" synth --preset demo --out demo >/dev/null 2>&1 || fail "synth did not write the demo data"
mkdir outside && printf 'keep me\n' > outside/precious

# The memory cap, unless the CLI is built with AddressSanitizer ("sanitized"
# as the second argument), which reserves far more address space than any
# cap allows before it runs a line.
memory_cap=4000000
[ "${2:-}" = sanitized ] && memory_cap=unlimited

# Runs the CLI with a time limit and memory cap, from the current directory;
# sets out, err and code.
run() {
  out=$( (ulimit -v "$memory_cap"; timeout 60 "$cli" "$@") 2>err.txt); code=$?
  err=$(cat err.txt)
  [ "$code" -ne 124 ] || fail "hangs: velmora-cli $*"
  [ "$code" -lt 128 ] || fail "killed by signal $((code - 128)): velmora-cli $*: $err"
}
# The run fails with exit code 1 and a message holding $1.
expect_error() {
  local want="$1"; shift
  run "$@"
  [ "$code" -eq 1 ] || fail "exit code $code, not 1: velmora-cli $*: $err"
  grep -qF -- "$want" <<<"$err" || fail "velmora-cli $*: message lacks '$want': $err"
}
untouched() { [ "$(cat outside/precious)" = "keep me" ] || fail "$1 wrote outside the data directory"; }
copy() { rm -rf "$2"; cp -a "demo/$1" "$2"; }

# 1, 2: special files where a list, a column file, a header or a calibration
# set belongs. A link to /dev/zero ran the program out of memory, a pipe hung it.
for kind in zero pipe directory; do
  place() {
    rm -rf "$1"
    case $kind in
      zero) ln -s /dev/zero "$1" ;;
      pipe) mkfifo "$1" ;;
      directory) mkdir "$1" ;;
    esac
  }
  copy steps r1; place r1/ListOfFiles
  expect_error "ListOfFiles: is a" fi r1
  copy steps r1; place r1/steps02.par
  expect_error "steps02.par: is a" fi r1
  for f in voltage.txt current.txt parameters.txt GE_sequence.txt; do
    copy cell.gs1 r1.gs1; place "r1.gs1/$f"
    expect_error "$f: is a" fi r1.gs1 --format new
  done
  for f in voltage current header; do
    copy cell_gst r1; place "r1/cell_gst_$f.txt"
    expect_error "cell_gst_$f.txt: is a" fi r1 --format old
  done
  copy fc_estimation r1; place r1/I_G_VT_dV_subV_PulseV_PulseDur.dat
  expect_error "I_G_VT_dV_subV_PulseV_PulseDur.dat: is a" fc r1 --estimate
done

# 1: a regular file with a line of 5 MB: refused at its line, and the
# message does not repeat it.
copy steps r1
head -c 5000000 /dev/zero | tr '\0' 'x' >> r1/ListOfFiles
expect_error "longer than 4096 bytes, more than a line of such a file holds" fi r1
[ ${#err} -lt 300 ] || fail "the message repeats the long line (${#err} bytes)"
copy cell.gs1 r1.gs1
{ head -c 3000 /dev/zero | tr '\0' '7'; printf 'x\033]0;pwned\007 1 2\r\n'; } > r1.gs1/voltage.txt
expect_error "is not a number" fi r1.gs1 --format new
[ ${#err} -lt 400 ] || fail "the message quotes the whole token (${#err} bytes)"
grep -q $'\033' <<<"$err" && fail "an escape sequence reached the terminal: $err"

# 3: result files and temporary names that are links to a file elsewhere.
copy steps r3
run fi r3 --rewrite; [ "$code" -eq 0 ] || fail "fi r3: $err"
rm r3/out_Rate.dat; ln -s ../outside/precious r3/out_Rate.dat
expect_error "out_Rate.dat: is a symbolic link" fi r3 --rewrite; untouched "fi --rewrite"
expect_error "out_Rate.dat: is a symbolic link" fi r3 --append; untouched "fi --append"
copy fc_calibration r3c
ln -s ../outside/precious r3c/Equations.txt.tmp-velmora
ln -s "$tmp/outside/precious" PreviousDir.txt.tmp-velmora
run fc r3c --calibrate; [ "$code" -eq 0 ] || fail "fc --calibrate: $err"
run fc r3c --approximate 0 --select fccalibration01_trace1_Err.FC
[ "$code" -eq 0 ] || fail "fc --approximate with a planted link: $err"
untouched "fc --approximate"; [ -f r3c/Equations.txt ] || fail "Equations.txt not written"

# 4: a listed trace outside the directory must not get a ".stim" beside it,
# and the command line leaves no "PreviousDir.txt" where it was started.
rm -f PreviousDir.txt.tmp-velmora
cp demo/fc_estimation/fcestimation01_trace1_Err.FC x_trace1_Err.FC
cp demo/fc_estimation/fcestimation01.par x.par
mkdir r4; printf '../x_trace1_Err.FC\r\n../x.par\r\n' > r4/ListOfFiles
expect_error "x.stim: lies outside the data directory" fc r4 --set Align_to_stimuli=1
[ -e x.stim ] && fail "fc wrote x.stim outside the data directory"
printf "$tmp/x_trace1_Err.FC\r\n$tmp/x.par\r\n" > r4/ListOfFiles
expect_error "x.stim: lies outside the data directory" fc r4 --set Align_to_stimuli=1
[ -e x.stim ] && fail "fc wrote x.stim for an absolute name"
copy steps r4s
run fi r4s; [ "$code" -eq 0 ] || fail "fi r4s: $err"
[ -e PreviousDir.txt ] && fail "fi wrote PreviousDir.txt into the directory it was started from"

# 5: a file-size limit during an append: an error, not SIGXFSZ, and all
# eleven files as they were before the run, so later appends stay in step.
copy steps r5
run fi r5 --rewrite; [ "$code" -eq 0 ] || fail "fi r5: $err"
before=$(cat r5/out_*.dat | cksum)
largest=$(stat -c %s r5/out_*.dat | sort -n | tail -1)
out=$( (ulimit -f $((largest / 1024 + 1)); timeout 60 "$cli" fi r5 --append) 2>err.txt); code=$?; err=$(cat err.txt)
[ "$code" -eq 1 ] || fail "under ulimit -f: exit code $code: $err"
grep -q "File too large" <<<"$err" || fail "under ulimit -f: message $err"
[ "$(cat r5/out_*.dat | cksum)" = "$before" ] || fail "under ulimit -f the result files were left changed"

# 6: option values beyond what the program can hold.
trace="demo/steps/steps01_trace1_Err.cc"
run stats "$trace" --bins 2000000000
[ "$code" -ne 0 ] && grep -q -- "--bins" <<<"$err$out" && grep -q "10000" <<<"$err$out" \
  || fail "stats --bins 2000000000: exit $code: $err$out"
run stats "$trace" --nt-corr 1e12
[ "$code" -ne 0 ] && grep -q -- "--nt-corr" <<<"$err$out" || fail "stats --nt-corr 1e12: exit $code"
copy steps r6
run fi r6 --set Iterations=1000000000
[ "$code" -eq 1 ] || fail "fi with Iterations=1e9: exit $code: $err"
grep -q "Iterations takes whole numbers 0..100" <<<"$err" || fail "no message on Iterations: $err"

# 7: a new-format header whose sweep count is not the column count.
copy cell.gs1 r7
n=$(sed -n 2p r7/parameters.txt | tr -d '\r' | awk '{print $1}')
sed -i "2s/^$n/$((n + 2))/" r7/parameters.txt
run fi r7 --format new
grep -q "where the header .* gives $((n + 2)) sweeps" <<<"$err" || fail "no warning on the sweep count: $err"

# 8: an estimation that estimated no pulse is no success.
copy fc_calibration r8c
run fc r8c --calibrate --erase-calibration; [ "$code" -eq 0 ] || fail "fc --calibrate: $err"
copy fc_estimation r8
cp r8c/I_G_VT_dV_subV_PulseV_PulseDur.dat r8/
expect_error "no pulse was estimated" fc r8 --estimate --set if_V_discontinuity=0
grep -q "RMS error" <<<"$out" && fail "a run without estimates printed an RMS error: $out"
run fc r8 --estimate; [ "$code" -eq 0 ] || fail "fc --estimate: $err"

echo "hostile input tests passed"
