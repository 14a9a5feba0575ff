#!/usr/bin/env bash
# Start-up: `kwinet encode base64` of an empty file against `curl` reading an
# empty local file (file://), both whole processes writing to /dev/null,
# alternating run by run in one run of this script. Prints each one's median
# wall time and the median ratio kwinet / curl (the goal is at most 1.00).
# Never run by the tests.
# Usage: bench/startup.sh [path to kwinet] [runs]   (default: the bench build, 101)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/bench/tools/kwinet/kwinet}
runs=${2:-101}
if [[ ! -x $tool ]]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j"$(nproc)" --target kwinet_tool >/dev/null
fi
[ -x /usr/bin/curl ] || { echo "/usr/bin/curl is missing (Debian package curl)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/empty.bin"
"$tool" encode base64 "$work/empty.bin" > /dev/null
/usr/bin/curl -s "file://$work/empty.bin" > /dev/null

# us COMMAND...: the wall time of one run, in microseconds.
us() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" > /dev/null
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}
: > "$work/times"
for ((i = 0; i < runs; ++i)); do
  if (( i % 2 == 0 )); then
    ours=$(us "$tool" encode base64 "$work/empty.bin")
    ref=$(us /usr/bin/curl -s "file://$work/empty.bin")
  else
    ref=$(us /usr/bin/curl -s "file://$work/empty.bin")
    ours=$(us "$tool" encode base64 "$work/empty.bin")
  fi
  echo "$ours $ref" >> "$work/times"
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ours=$(awk '{ print $1 }' "$work/times" | median)
ref=$(awk '{ print $2 }' "$work/times" | median)
ratio=$(awk '{ printf "%.4f\n", $1 / ($2 > 0 ? $2 : 1) }' "$work/times" | median)
printf 'kwinet encode base64 (empty file): median %.2f ms\n' "$(awk -v u="$ours" 'BEGIN { print u / 1000 }')"
printf 'curl file:// (empty file):         median %.2f ms\n' "$(awk -v u="$ref" 'BEGIN { print u / 1000 }')"
printf 'median ratio kwinet / curl over %d alternating pairs = %.2f (at most 1.00 is the goal)\n' "$runs" "$ratio"
