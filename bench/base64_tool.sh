#!/usr/bin/env bash
# `kwinet encode base64` against `base64` on the same files, whole process,
# both writing to /dev/null: an empty file (start-up cost: best of 20 runs,
# and the page faults of one run) and a 64 MB file against `base64 -w0`
# (best of 5). Prints the times and ratios.
# Usage: bench/base64_tool.sh [path to kwinet]   (default: the bench build)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/bench/tools/kwinet/kwinet}
if [[ ! -x $tool ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"$(nproc)" --target kwinet_tool >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/empty.bin"
head -c $((64 * 1024 * 1024)) /dev/urandom > "$work/in.bin"
cmp <("$tool" encode base64 "$work/in.bin") <(base64 -w0 "$work/in.bin"; echo) >/dev/null \
  || { echo "outputs differ" >&2; exit 1; }
cmp <("$tool" encode base64 "$work/empty.bin") <(base64 "$work/empty.bin"; echo) >/dev/null \
  || { echo "outputs differ on the empty file" >&2; exit 1; }
# best RUNS COMMAND...: the shortest wall time of RUNS runs, in microseconds.
best() {
  local runs=$1 best=0
  shift
  for ((i = 0; i < runs; ++i)); do
    local t0 t1
    t0=$(date +%s%N)
    "$@" > /dev/null
    t1=$(date +%s%N)
    local us=$(( (t1 - t0) / 1000 ))
    if (( best == 0 || us < best )); then best=$us; fi
  done
  echo "$best"
}
# faults COMMAND...: the minor and major page faults of one run.
faults() {
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f "%R %F" -o "$work/faults" "$@" > /dev/null
    awk '{ print $1 + $2 }' "$work/faults"
  else
    echo "?"
  fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }'; }

ours0=$(best 20 "$tool" encode base64 "$work/empty.bin")
ref0=$(best 20 base64 "$work/empty.bin")
echo "empty file: kwinet encode base64 $((ours0 / 1000)).$(printf %03d $((ours0 % 1000))) ms," \
     "$(faults "$tool" encode base64 "$work/empty.bin") page faults;" \
     "base64 $((ref0 / 1000)).$(printf %03d $((ref0 % 1000))) ms, $(faults base64 "$work/empty.bin") page faults (best of 20)"
echo "ratio kwinet / base64 on the empty file = $(ratio "$ours0" "$ref0") (at most 2.00 is the goal)"

ours=$(best 5 "$tool" encode base64 "$work/in.bin")
ref=$(best 5 base64 -w0 "$work/in.bin")
echo "64 MB: kwinet encode base64 $((ours / 1000)) ms; base64 -w0 $((ref / 1000)) ms (best of 5)"
echo "ratio kwinet / base64 -w0 on 64 MB = $(ratio "$ours" "$ref") (at most 1.00 is the goal)"
