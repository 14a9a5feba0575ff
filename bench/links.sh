#!/bin/bash
# `kwinet links FILE --kind http` against `rg -o` with a pattern of the same
# stop characters, on a generated HTML page of about 100 MB with about
# 470,000 http links, in the same run: both must print the same links; the
# ratio of the best wall times of five rounds (goal <= 1.0). Never run by the
# tests. ripgrep is installed from scripts/packages-bench.txt when missing.
#
#   cmake --preset bench && cmake --build build/bench --target kwinet_tool
#   bench/links.sh [path/to/kwinet] [size in MB]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kwinet=${1:-$here/build/bench/tools/kwinet/kwinet}
size_mb=${2:-100}
rounds=5
[ -x "$kwinet" ] || { echo "no kwinet binary at $kwinet (build the bench preset first)" >&2; exit 1; }
command -v rg >/dev/null || "$here/scripts/install-deps" "$here/scripts/packages-bench.txt"
rg=$(command -v rg)

dir=$(mktemp -d /tmp/kwinet-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT

# A page of list items, each with one http link closed by a quotation mark,
# a space, "<" or "#", among text full of the prefix's letters, near misses
# ("http:/", "HTTP://", "https://") and other kinds of links. No link runs
# over a line break, which a line-oriented search would cut.
/usr/bin/python3 - "$dir/page.html" "$size_mb" <<'PY'
import random, sys
path, size = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
rnd = random.Random(470)
words = ("the hypertext transfer protocol has headers with hash paths through http: and https: "
         "while the hub shows html help h h hh").split()
ends = ['"', ' ', '<', '#frag"']
out = []
total = 0
n = 0
with open(path, "w", encoding="ascii", newline="\n") as f:
    f.write("<!DOCTYPE html>\n<html><head><title>links</title></head><body><ul>\n")
    while total < size:
        n += 1
        text = " ".join(rnd.choice(words) for _ in range(rnd.randint(15, 25)))
        host = "www.example%d.org" % (n % 97)
        path_ = "/".join("p%x" % rnd.randrange(1 << 20) for _ in range(rnd.randint(1, 4)))
        query = "?id=%d&amp;q='%d'" % (n, n % 13) if n % 5 == 0 else ""
        end = ends[n % len(ends)]
        link = "http://%s/%s%s" % (host, path_, query)
        if end == '"':
            item = '<li><a href="%s">%s</a> - HTTP://LOUD.example and http:/ half</li>\n' % (link, text)
        elif end == ' ':
            item = "<li>%s %s see https://secure.example.org/%d mailto:u%d@example.org</li>\n" % (text, link, n, n)
        elif end == '<':
            item = "<li><span>%s</span>%s<br></li>\n" % (link, text)
        else:
            item = '<li><a href="%s#frag">%s</a> ftp://ftp.example.org/%d</li>\n' % (link, text, n)
        f.write(item)
        total += len(item)
    f.write("</ul></body></html>\n")
print("page: %d bytes, %d http links" % (total, n))
PY

pattern='http://[^\x00 "#%<>\[\\\]^`{|}~\n]*'
run_kwinet() { "$kwinet" links --kind http "$dir/page.html" > "$dir/kw.out"; }
run_rg() { "$rg" -o -a --no-line-number --no-filename -e "$pattern" "$dir/page.html" > "$dir/rg.out"; }
run_kwinet
run_rg
kw_count=$(wc -l < "$dir/kw.out")
rg_count=$(wc -l < "$dir/rg.out")
echo "links: kwinet $kw_count, rg $rg_count"
[ "$kw_count" -eq "$rg_count" ] || { echo "the link counts differ" >&2; exit 1; }
cmp -s "$dir/kw.out" "$dir/rg.out" || { echo "the links differ" >&2; exit 1; }

# wall MICROSECONDS of one run of a function
wall() {
  local t0 t1
  t0=$(date +%s%N)
  "$@"
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000))
}
best_kw=0 best_rg=0
for round in $(seq $rounds); do
  # The order alternates, so that neither always runs on a warmer cache.
  if [ $((round % 2)) -eq 1 ]; then
    tk=$(wall run_kwinet)
    tr=$(wall run_rg)
  else
    tr=$(wall run_rg)
    tk=$(wall run_kwinet)
  fi
  echo "round $round: kwinet $((tk / 1000)) ms, rg $((tr / 1000)) ms"
  if [ "$best_kw" -eq 0 ] || [ "$tk" -lt "$best_kw" ]; then best_kw=$tk; fi
  if [ "$best_rg" -eq 0 ] || [ "$tr" -lt "$best_rg" ]; then best_rg=$tr; fi
done
ratio=$(echo "$best_kw $best_rg" | awk '{printf "%.3f", $1 / $2}')
echo "links of ${size_mb} MB: kwinet $((best_kw / 1000)) ms, rg $((best_rg / 1000)) ms, ratio ${ratio} (goal <= 1.0)"
