#!/bin/bash
# kwinet update of a 1 GiB file from a local nginx against curl -o of the
# same file, in the same run: the ratio of the best wall times of five
# rounds, and kwinet's peak memory. Never run by the tests.
#
#   cmake --preset bench && cmake --build build/bench --target kwinet_tool
#   bench/update.sh [path/to/kwinet] [size in MiB]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kwinet=${1:-$here/build/bench/tools/kwinet/kwinet}
size_mib=${2:-1024}
rounds=5
[ -x "$kwinet" ] || { echo "no kwinet binary at $kwinet (build the bench preset first)" >&2; exit 1; }
for p in /usr/sbin/nginx /usr/bin/curl /usr/bin/time; do
  [ -x "$p" ] || { echo "$p is missing (Debian packages nginx, curl, time)" >&2; exit 1; }
done

. "$here/bench/nginx.sh"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$dir/www/big.bin"
nginx_start ""
url="http://127.0.0.1:$port/big.bin"
curl -s -o /dev/null "$url"   # warm the page cache

best_curl=999999 best_kw=999999 peak_kw=0 ratios=""
for round in $(seq $rounds); do
  # Each run starts with no dirty pages of the other's copy, so neither pays
  # for the other's write-back; the order alternates.
  run_curl() {
    rm -f "$dir/curl.bin"; sync
    /usr/bin/time -f '%e %M' -o "$dir/t.curl" curl -s -o "$dir/curl.bin" "$url"
    rm -f "$dir/curl.bin"
  }
  run_kwinet() {
    rm -f "$dir/kw.bin"; sync
    /usr/bin/time -f '%e %M' -o "$dir/t.kw" "$kwinet" update "$url" "$dir/kw.bin" > "$dir/status" 2>/dev/null
    [ "$(cat "$dir/status")" = isFinished ] || { echo "kwinet update said $(cat "$dir/status")" >&2; exit 1; }
    cmp -s "$dir/www/big.bin" "$dir/kw.bin" || { echo "kwinet's copy differs" >&2; exit 1; }
    rm -f "$dir/kw.bin"
  }
  if [ $((round % 2)) -eq 1 ]; then run_curl; run_kwinet; else run_kwinet; run_curl; fi
  read -r tc _ < "$dir/t.curl"
  read -r tk mk < "$dir/t.kw"
  echo "round $round: curl ${tc}s, kwinet ${tk}s, kwinet peak $(awk -v k="$mk" 'BEGIN { printf "%.1f", k / 1024 }') MiB"
  ratios="$ratios $(echo "$tk $tc" | awk '{printf "%.3f", $1 / $2}')"
  best_curl=$(echo "$tc $best_curl" | awk '{print ($1 < $2) ? $1 : $2}')
  best_kw=$(echo "$tk $best_kw" | awk '{print ($1 < $2) ? $1 : $2}')
  [ "$mk" -gt "$peak_kw" ] && peak_kw=$mk
done
ratio=$(echo "$best_kw $best_curl" | awk '{printf "%.3f", $1 / $2}')
echo "update of ${size_mib} MiB: kwinet ${best_kw}s, curl ${best_curl}s, ratio ${ratio} (goal <= 1.10)"
median=$(echo $ratios | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}')
echo "median of the rounds' ratios: ${median}"
echo "kwinet peak memory: $(awk -v k="$peak_kw" 'BEGIN { printf "%.1f", k / 1024 }') MiB (goal <= 16 MiB)"
