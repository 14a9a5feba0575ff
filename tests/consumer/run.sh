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

# The installed tool: its version, no Qt for a command that shows no dialog,
# and the desktop dialogs through the installed plugin.
tool=$work/prefix/bin/kwinet
if [ -x "$tool" ]; then
  "$tool" --version | grep -Eqx 'kwinet [0-9]+\.[0-9]+\.[0-9]+' || { echo "kwinet --version: unexpected output" >&2; exit 1; }
  if ldd "$tool" | grep -q 'libQt6'; then echo "the installed tool loads Qt" >&2; exit 1; fi
  if [ -n "$(find "$work/prefix" -name gui-qt.so)" ]; then
    printf 'installed' > "$work/in.bin"
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" \
      "$tool" --gui update "file://$work/in.bin" "$work/out.bin" > /dev/null
    cmp -s "$work/in.bin" "$work/out.bin" || { echo "kwinet --gui update from the installed tree failed" >&2; exit 1; }
  fi
fi

# pkg-config: a program built with the flags of the installed kwinet.pc alone.
pcdir=$(dirname "$(find "$work/prefix" -name kwinet.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs kwinet)
g++ "$src/tests/consumer/use_pkgconfig.cpp" -o "$work/use" $flags
LD_LIBRARY_PATH=$(PKG_CONFIG_PATH=$pcdir pkg-config --variable=libdir kwinet) "$work/use"
