#!/bin/bash
# test-package.sh: builds the Release .deb with CPack in its own folder (build-package) and checks
# it: lintian (no error, no warning), the control data, that every dependency is satisfied on this
# machine, the changelog, manual page, desktop entry, AppStream metadata and icons, and that the
# installed program starts and shows its window.
# Nothing is installed into the system: the package is unpacked into a scratch folder.
# Needs dpkg-dev, file, lintian, desktop-file-utils, appstream, xvfb, xauth, xdotool and x11-utils
# (scripts/deps.sh test); a missing one is a failure, not a skipped check.
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

for tool in dpkg-deb dpkg-shlibdeps dpkg-parsechangelog lintian desktop-file-validate appstreamcli xvfb-run xauth \
    xdotool xprop; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/deps.sh test"
done

echo "== package: build and cpack"
# The package needs only the program: install does not wait for the tests and benches.
# A game goes to /usr/games, where the build installs it by default (packaging/CMakeLists.txt
# refuses to pack it anywhere else): no option is needed for it.
# TOMBOLA_PACKAGE_BUILD_TYPE lets scripts/test.sh pack the program it has just built and tested
# (RelWithDebInfo; CPack strips it) instead of building it a third time.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TOMBOLA_PACKAGE_BUILD_TYPE:-Release}" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target tombola
rm -f "$build"/tombola_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tombola_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one tombola_*.deb in $build"
deb=${debs[0]}
echo "$(basename "$deb")"

echo "== package: lintian"
# Every tag of level warning or above fails; the informational ones are shown, not counted.
lintian --fail-on error,warning --display-info "$deb" || fail "lintian"

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
    fonts-liberation fonts-dancingscript qt6-translations-l10n; do
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
        if [ -z "$have" ]; then
            # A virtual package (qt6-websockets-abi): met by an installed package that provides it,
            # at the version it provides.
            provided=$(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null | awk -F'|' '$1 ~ /^ii/ { print $2 }' |
                tr ',' '\n' | sed 's/^ *//' | grep -E "^$name( |$)" | head -n 1)
            [ -n "$provided" ] || continue
            have=$(sed -n 's/.*(= *\([^)]*\)).*/\1/p' <<<"$provided")
            if [ -z "$have" ]; then
                [ -z "${op:-}" ] && { met=1; break; }
                continue
            fi
        fi
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
bin=$usr/games/tombola
[ -x "$bin" ] || fail "no executable usr/games/tombola"
[ -e "$usr/bin/tombola" ] && fail "a game in usr/bin"
readelf -d "$bin" | grep -qE 'RPATH|RUNPATH' && fail "the installed binary keeps a build RPATH"
[ -f "$usr/share/doc/tombola/copyright" ] || fail "no usr/share/doc/tombola/copyright"
# The changelog's newest entry is this version: a version raised without a changelog entry fails.
changelog=$scratch/changelog
gzip -dc "$usr/share/doc/tombola/changelog.gz" >"$changelog" || fail "changelog.gz is not gzip"
[ "$(dpkg-parsechangelog -l "$changelog" -S Version)" = "$version" ] ||
    fail "the changelog's newest entry is $(dpkg-parsechangelog -l "$changelog" -S Version), not $version"
man=$usr/share/man/man6/tombola.6.gz
[ -f "$man" ] || fail "no manual page usr/share/man/man6/tombola.6.gz"
gzip -dc "$man" | grep -q '^\.TH TOMBOLA 6 .*"tombola '"$version"'"' || fail "the manual page is not for tombola $version"
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
# Exec names the program by the PATH of a Debian user (/etc/login.defs, /etc/profile), which holds
# /usr/games: on that PATH, with the package's folders in place of the system's, it finds the program.
user_path=$(sed -n 's/^ENV_PATH[[:space:]]*PATH=//p' /etc/login.defs)
[ -n "$user_path" ] || fail "no ENV_PATH in /etc/login.defs"
found=$(PATH=$(sed "s#/usr/#$usr/#g" <<<"$user_path") command -v tombola) || true
[ "$found" = "$bin" ] || fail "Exec=tombola is not found on a user's PATH ($user_path)"
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
QT_QPA_PLATFORM=offscreen "$bin" >"$log" 2>&1 &
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
wmclass=$(sed -n 's/^StartupWMClass=//p' "$desktop")
TOMBOLA_BIN=$bin WMCLASS=$wmclass xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
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
echo "== package: all checks passed"
