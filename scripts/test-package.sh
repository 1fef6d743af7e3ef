#!/bin/bash
# test-package.sh: builds the Release .deb with CPack in its own folder (build-package) and checks
# it: the control data, that every dependency is satisfied on this machine, the installed desktop
# entry, AppStream metadata and icons, and that the installed program starts and shows its window.
# Nothing is installed into the system: the package is unpacked into a scratch folder.
# Needs dpkg-dev, file, desktop-file-utils, appstream, xvfb, xdotool and x11-utils (scripts/deps.sh test).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TOMBOLA_PACKAGE_BUILD:-$root/build-package}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tombola-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== package: build and cpack"
# The package needs only the program: install does not wait for the tests and benches.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target tombola
rm -f "$build"/tombola_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tombola_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one tombola_*.deb in $build"
deb=${debs[0]}
echo "$(basename "$deb")"

echo "== package: control data"
field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project(tombola VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(field Package)" = tombola ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', CMakeLists.txt says $version"
[ "$(field Section)" = games ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer has no address: $(field Maintainer)"
depends=$(field Depends)
recommends=$(field Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
# The package names in a relation field, one a line.
names() { tr ',|' '\n\n' <<<"$1" | sed 's/(.*//; s/[[:space:]]//g'; }
has() { names "$1" | grep -qxF "$2"; }
# Found by dpkg-shlibdeps from the binary, and added by hand for what it loads at run time.
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libpulse0 \
    fonts-liberation fonts-dancingscript; do
    has "$depends" "$p" || fail "Depends lacks $p"
done
for p in pulseaudio pipewire-pulse; do
    has "$recommends" "$p" || fail "Recommends lacks $p"
done
# Every dependency must be met here, where the program is about to run: some alternative of each
# is installed, at a version that meets its constraint.
IFS=',' read -ra clauses <<<"$depends"
for clause in "${clauses[@]}"; do
    met=
    IFS='|' read -ra alternatives <<<"$clause"
    for alt in "${alternatives[@]}"; do
        read -r name op want <<<"$(sed 's/[()]/ /g' <<<"$alt")"
        name=${name%:any}
        have=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null | sed -n 's/^install ok installed //p')
        [ -n "$have" ] || continue
        if [ -z "${op:-}" ] || dpkg --compare-versions "$have" "$op" "$want"; then
            met=1
            break
        fi
    done
    [ -n "$met" ] || fail "dependency not met on this machine:$clause"
done

echo "== package: contents"
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/' && fail "files outside /usr"
dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr
[ -x "$usr/bin/tombola" ] || fail "no executable usr/bin/tombola"
readelf -d "$usr/bin/tombola" | grep -qE 'RPATH|RUNPATH' && fail "the installed binary keeps a build RPATH"
[ -f "$usr/share/doc/tombola/copyright" ] || fail "no usr/share/doc/tombola/copyright"
desktop=$usr/share/applications/tombola.desktop
metainfo=$usr/share/metainfo/io.github.tombola.tombola.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
# The installed tree as a software centre reads it: metainfo, its desktop entry and icons together.
appstreamcli validate-tree --no-net "$scratch/root" || fail "appstreamcli validate-tree"
grep -q '<launchable type="desktop-id">tombola.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch tombola.desktop"
grep -qx 'Exec=tombola' "$desktop" || fail "Exec is not tombola"
grep -qx 'Icon=tombola' "$desktop" || fail "Icon is not tombola"
icons=$usr/share/icons/hicolor
[ -f "$icons/scalable/apps/tombola.svg" ] || fail "no scalable icon"
for size in 32 48 64 128 256; do
    png=$icons/${size}x$size/apps/tombola.png
    [ -f "$png" ] || fail "no $size px icon"
    # The PNG header: signature, then the IHDR width and height as 32-bit big-endian numbers.
    read -r w h <<<"$(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')"
    [ "$(od -An -c -j1 -N3 "$png" | tr -d ' ')" = PNG ] || fail "$png is not a PNG"
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x$h"
done

echo "== package: the installed program starts"
# Headless first: still running after 3 s means it got through start-up.
log=$scratch/offscreen.log
QT_QPA_PLATFORM=offscreen "$usr/bin/tombola" >"$log" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || {
    cat "$log" >&2
    fail "the program ended within 3 s"
}
kill "$pid"
wait "$pid" 2>/dev/null || true

# Then on an X server through the xcb plugin: the window appears, with the WM_CLASS the desktop
# entry's StartupWMClass names.
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
    wmclass=$(sed -n 's/^StartupWMClass=//p' "$desktop")
    TOMBOLA_BIN=$usr/bin/tombola WMCLASS=$wmclass xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        unset QT_QPA_PLATFORM
        "$TOMBOLA_BIN" >/dev/null 2>&1 &
        pid=$!
        wid=
        for _ in $(seq 100); do
            wid=$(xdotool search --onlyvisible --name "IL GIOCO della" 2>/dev/null | head -n 1) && [ -n "$wid" ] && break
            kill -0 $pid 2>/dev/null || break
            sleep 0.1
        done
        class=
        [ -n "$wid" ] && class=$(xprop -id "$wid" WM_CLASS)
        kill $pid 2>/dev/null
        wait $pid 2>/dev/null
        [ -n "$wid" ] || { echo "FAIL: no window under Xvfb" >&2; exit 1; }
        echo "$class"
        case "$class" in *"\"$WMCLASS\""*) ;; *) echo "FAIL: WM_CLASS is not $WMCLASS" >&2; exit 1 ;; esac
    ' || fail "the program under Xvfb"
else
    echo "(xvfb-run, xdotool or xprop missing: window check skipped)"
fi
echo "== package: all checks passed"
