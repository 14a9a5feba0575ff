#!/bin/bash
# Builds the XML benchmark with the bench preset and runs it: tree building
# of generated ~100 MB documents against pugixml and libxml2 in the same run
# (time ratios, peak heap), and the growth from 1 MB to 10 MB. Never run by
# the tests. Builds share one lock, as every build on the machine does.
#
#   bench/xml.sh [size in MB]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${KWINET_BENCH_BUILD:-$here/build/bench}
size_mb=${1:-100}
shift || true
cd "$here"
cmake --preset bench -B "$build" >/dev/null
flock /tmp/kwinet-build.lock cmake --build "$build" -j2 --target bench_xml
"$build/bench/bench_xml" --size-mb="$size_mb" --benchmark_color=false "$@"
