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
cmake -S "$src/tests/consumer" -B "$work/pkg" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/pkg" -j2 >/dev/null
"$work/pkg/consumer"
run_qt "$work/pkg"
