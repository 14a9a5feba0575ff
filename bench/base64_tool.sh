#!/usr/bin/env bash
# `kwinet encode base64` of a 64 MB file against `base64 -w0` of the same
# file, best of five runs each, both writing to /dev/null. Prints the ratio.
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
head -c $((64 * 1024 * 1024)) /dev/urandom > "$work/in.bin"
cmp <("$tool" encode base64 "$work/in.bin") <(base64 -w0 "$work/in.bin"; echo) >/dev/null \
  || { echo "outputs differ" >&2; exit 1; }
best() {
  local best=0
  for _ in 1 2 3 4 5; do
    local t0 t1
    t0=$(date +%s%N)
    "$@" > /dev/null
    t1=$(date +%s%N)
    local ms=$(( (t1 - t0) / 1000000 ))
    if (( best == 0 || ms < best )); then best=$ms; fi
  done
  echo "$best"
}
ours=$(best "$tool" encode base64 "$work/in.bin")
ref=$(best base64 -w0 "$work/in.bin")
echo "kwinet encode base64: ${ours} ms; base64 -w0: ${ref} ms (64 MB, best of 5)"
awk -v a="$ours" -v b="$ref" 'BEGIN { printf "ratio kwinet / base64 = %.2f (at most 1.00 is the goal)\n", a / (b > 0 ? b : 1) }'
