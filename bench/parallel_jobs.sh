#!/bin/bash
# Three downloads of 1.5 s each side by side against one alone: `kwinet run
# --parallel` of a form with three web updaters against `kwinet run` of a form
# with one, from a local nginx that sends each file at a rate that makes it
# last 1.5 s, in the same run. curl --parallel of the same files is measured
# the same way as the reference (--parallel-immediate: one connection a
# file at once, as the jobs have). The medians of five alternating rounds and
# their ratios: 1.00 would be three jobs costing no more than one. Never run
# by the tests.
#
#   cmake --preset bench && cmake --build build/bench --target kwinet_tool
#   bench/parallel_jobs.sh [path/to/kwinet]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kwinet=${1:-$here/build/bench/tools/kwinet/kwinet}
rounds=5
[ -x "$kwinet" ] || { echo "no kwinet binary at $kwinet (build the bench preset first)" >&2; exit 1; }
for p in /usr/sbin/nginx /usr/bin/curl /usr/bin/python3; do
  [ -x "$p" ] || { echo "$p is missing (Debian packages nginx, curl, python3)" >&2; exit 1; }
done

. "$here/bench/nginx.sh"
mkdir -p "$dir/out"
# 3 MiB at 2 MiB a second, sent in pieces of 64 KiB so that the rate holds
# from the first byte: 1.5 s a file.
for i in 1 2 3; do head -c $((3 * 1024 * 1024)) /dev/urandom > "$dir/www/f$i.bin"; done
nginx_start "limit_rate 2m; sendfile_max_chunk 64k;"

updater() {
  printf "  object Get%s: TKwWebUpdater\n    Port = %s\n    Host = '127.0.0.1'\n    RemoteFileName = '/f%s.bin'\n    LocalFileName = '%s'\n  end\n" \
    "$1" "$port" "$1" "$dir/out/kw$1.bin"
}
{ echo "object Form1: TForm"; updater 1; echo end; } > "$dir/one.form"
{ echo "object Form1: TForm"; updater 1; updater 2; updater 3; echo end; } > "$dir/three.form"

# One run: its wall time in seconds on standard output; every copy whole.
timed() {
  rm -f "$dir"/out/*
  local start end
  start=$(date +%s%N)
  "$@" > "$dir/stdout" 2> "$dir/err" || { echo "$* failed:" >&2; cat "$dir/err" >&2; exit 1; }
  end=$(date +%s%N)
  for f in "$dir"/out/*; do
    n=$(basename "$f" .bin); n=${n#kw}; n=${n#curl}
    cmp -s "$f" "$dir/www/f$n.bin" || { echo "$*: $(basename "$f") differs" >&2; exit 1; }
  done
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", (e - s) / 1e9 }'
}
url() { echo "http://127.0.0.1:$port/f$1.bin"; }
kw_one=() kw_three=() curl_one=() curl_three=()
for round in $(seq $rounds); do
  a=$(timed "$kwinet" run "$dir/one.form")
  b=$(timed "$kwinet" run --parallel "$dir/three.form")
  c=$(timed curl -sf -o "$dir/out/curl1.bin" "$(url 1)")
  d=$(timed curl -sf --parallel --parallel-immediate -o "$dir/out/curl1.bin" "$(url 1)" -o "$dir/out/curl2.bin" "$(url 2)" \
    -o "$dir/out/curl3.bin" "$(url 3)")
  kw_one+=("$a") kw_three+=("$b") curl_one+=("$c") curl_three+=("$d")
  echo "round $round: kwinet one ${a}s, three --parallel ${b}s; curl one ${c}s, three --parallel ${d}s"
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
echo "$(median "${kw_one[@]}") $(median "${kw_three[@]}") $(median "${curl_one[@]}") $(median "${curl_three[@]}")" | awk '{
  printf "kwinet: one job %.3fs, three side by side %.3fs, ratio %.2f (three after one another: 3.00)\n", $1, $2, $2 / $1
  printf "curl:   one file %.3fs, three --parallel %.3fs, ratio %.2f\n", $3, $4, $4 / $3
  printf "kwinet three / curl three: %.2f\n", $2 / $4
}'
