#!/usr/bin/env bash
# Makes the Debian packages of the given build tree with CPack and checks
# them as a user would find them: each holds what it should, the runtime
# package depends on libcurl and libssl, and the tool unpacked from the
# packages runs, --gui included, without Qt for a plain command.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
fail() { echo "$*" >&2; exit 1; }
deb() { find "$work/out" -maxdepth 1 -name "$1_*.deb" | head -n 1; }
runtime=$(deb kwinet) dev=$(deb kwinet-dev) gui=$(deb kwinet-gui)
[ -n "$runtime" ] && [ -n "$dev" ] || fail "cpack made no kwinet or kwinet-dev package"

depends=$(dpkg-deb -f "$runtime" Depends)
for lib in libcurl4 libssl3; do
  [[ $depends == *"$lib"* ]] || fail "kwinet's Depends does not name $lib: $depends"
done
[[ $depends != *libqt6* ]] || fail "kwinet depends on Qt: $depends"
has() { dpkg-deb -c "$1" | awk '{ print $6 }' | grep -Eq "$2" || fail "$(basename "$1") holds no $2"; }
has "$runtime" '^\./usr/bin/kwinet$'
has "$runtime" '^\./usr/lib/.*libkwinet\.so\.[0-9]+$'
has "$runtime" '^\./usr/share/man/man1/kwinet\.1(\.gz)?$'
has "$runtime" '^\./usr/share/bash-completion/completions/kwinet$'
has "$dev" '^\./usr/lib/.*pkgconfig/kwinet\.pc$'
has "$dev" '^\./usr/include/kwinet/Version\.h$'
has "$dev" '^\./usr/lib/.*cmake/kwinet/kwinetConfig\.cmake$'

# Unpacked into a folder of their own, the packages' tool runs.
for p in "$runtime" ${gui:+"$gui"}; do dpkg-deb -x "$p" "$work/root"; done
tool=$work/root/usr/bin/kwinet
"$tool" --version | grep -Eqx 'kwinet [0-9]+\.[0-9]+\.[0-9]+' || fail "the packaged kwinet --version failed"
printf 'abc' > "$work/in.bin"
[ "$("$tool" encode base64 "$work/in.bin")" = "YWJj" ] || fail "the packaged kwinet encode failed"
if [ -n "$gui" ]; then
  has "$gui" '/kwinet/gui-qt\.so$'
  [[ $(dpkg-deb -f "$gui" Depends) == *libqt6widgets6* ]] || fail "kwinet-gui does not depend on Qt Widgets"
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" \
    "$tool" --gui update "file://$work/in.bin" "$work/out.bin" > /dev/null
  cmp -s "$work/in.bin" "$work/out.bin" || fail "the packaged kwinet --gui update failed"
fi
echo "packages: $(cd "$work/out" && ls ./*.deb | xargs -n1 basename | tr '\n' ' ')"
