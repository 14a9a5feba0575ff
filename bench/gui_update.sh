#!/bin/bash
# kwinet --gui update of a 60 MiB local file with the progress dialog on Qt's
# offscreen platform, against the plain kwinet update of the same file, in
# the same run: the medians of seven alternating rounds, their ratio and
# their difference. What the dialog costs on top of the transfer. Never run
# by the tests.
#
#   cmake --preset bench && cmake --build build/bench --target kwinet_tool
#   bench/gui_update.sh [path/to/kwinet] [size in MiB]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kwinet=${1:-$here/build/bench/tools/kwinet/kwinet}
size_mib=${2:-60}
rounds=7
[ -x "$kwinet" ] || { echo "no kwinet binary at $kwinet (build the bench preset first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 1; }

dir=$(mktemp -d /tmp/kwinet-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$dir/big.bin"
cat "$dir/big.bin" > /dev/null   # warm the page cache

# One run: seconds of wall time into $dir/t.NAME; the copy must be whole and
# standard error empty.
run() {
  local name=$1
  shift
  rm -f "$dir/$name.bin"
  sync
  /usr/bin/time -f '%e' -o "$dir/t.$name" "$@" update "$dir/big.bin" "$dir/$name.bin" > "$dir/status" 2> "$dir/err"
  [ "$(cat "$dir/status")" = isFinished ] || { echo "$name: update said $(cat "$dir/status")" >&2; exit 1; }
  [ ! -s "$dir/err" ] || { echo "$name wrote to standard error:" >&2; cat "$dir/err" >&2; exit 1; }
  cmp -s "$dir/big.bin" "$dir/$name.bin" || { echo "$name: the copy differs" >&2; exit 1; }
  rm -f "$dir/$name.bin"
}

plain=() gui=()
for round in $(seq $rounds); do
  if [ $((round % 2)) -eq 1 ]; then
    run plain "$kwinet"
    QT_QPA_PLATFORM=offscreen run gui "$kwinet" --gui
  else
    QT_QPA_PLATFORM=offscreen run gui "$kwinet" --gui
    run plain "$kwinet"
  fi
  read -r tp < "$dir/t.plain"
  read -r tg < "$dir/t.gui"
  plain+=("$tp") gui+=("$tg")
  echo "round $round: update ${tp}s, --gui update ${tg}s"
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
mp=$(median "${plain[@]}")
mg=$(median "${gui[@]}")
echo "$mg $mp $size_mib" | awk '{
  ratio = ($2 > 0) ? $1 / $2 : 0
  printf "--gui update of %d MiB offscreen: %.3fs against %.3fs, ratio %.2f, %+.0f ms\n", $3, $1, $2, ratio, ($1 - $2) * 1000
  # Goal: at most 1.1x the plain run plus 300 ms; bound: 1.5x plus 400 ms.
  goal = $2 * 1.1 + 0.3; bound = $2 * 1.5 + 0.4
  printf "goal <= %.3fs (1.1x + 300 ms): %s; bound <= %.3fs (1.5x + 400 ms): %s\n", goal, ($1 <= goal) ? "met" : "missed", bound, ($1 <= bound) ? "met" : "missed"
  exit ($1 <= bound) ? 0 : 1
}'
