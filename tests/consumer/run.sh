#!/usr/bin/env bash
# Builds and runs the outside project twice: with add_subdirectory, and with
# find_package against an installation of the given build tree.
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$src/tests/consumer" -B "$work/sub" -G Ninja -DKWINET_SOURCE_DIR="$src" >/dev/null
cmake --build "$work/sub" -j2 >/dev/null
"$work/sub/consumer"
run_qt() { if [ -x "$1/consumer_qt" ]; then QT_QPA_PLATFORM=offscreen "$1/consumer_qt"; fi; }
run_qt "$work/sub"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The installed tree holds the public headers only, and each of them
# includes nothing of kwinet that is not installed beside it.
inc=$work/prefix/include
bad=0
while read -r h; do
  while read -r dep; do
    [ -f "$inc/$dep" ] || { echo "$h includes $dep, which is not installed" >&2; bad=1; }
  done < <(sed -n 's/^#include "\(kwinet\/[^"]*\)".*/\1/p' "$inc/$h")
done < <(cd "$inc" && find kwinet -name '*.h')
for internal in web/InetDriver.h web/InetHandleTable.h xml/XmlScan.h graphics/PngDecoder.h; do
  [ ! -e "$inc/kwinet/$internal" ] || { echo "kwinet/$internal is internal, yet installed" >&2; bad=1; }
done
[ "$bad" = 0 ]
cmake -S "$src/tests/consumer" -B "$work/pkg" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/pkg" -j2 >/dev/null
"$work/pkg/consumer"
run_qt "$work/pkg"
