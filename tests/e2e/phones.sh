#!/bin/bash
# phones.sh TOMBOLA_BINARY PHONES_DRIVER [SHOTS_DIR]
# A player's phone in Debian's headless Chromium against the real program under Xvfb: the driver
# switches the phones on in the window, opens the page, has a card dealt and types its code, follows
# the draw, calls the prize and sees the call on the caller's side, and reloads mid-game. Only
# 127.0.0.1 is reached; Chromium runs with a fresh profile and no background traffic.
set -u
bin=$1
driver=$2
shots=${3:-$(mktemp -d)}
mkdir -p "$shots"
work=$(mktemp -d)
fail() { echo "FAIL: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
wm=$!
app=
browser=
cleanup() {
    [ -n "$browser" ] && kill "$browser" 2>/dev/null
    [ -n "$app" ] && kill "$app" 2>/dev/null
    kill "$wm" "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
sleep 1

XDG_DATA_HOME="$work/data" TOMBOLA_TRACE="$work/trace" "$bin" >"$work/log" 2>&1 &
app=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
sleep 2

# A port for DevTools, on the loopback only.
port=$((20000 + RANDOM % 20000))
chromium --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-default-apps --disable-extensions \
    --user-data-dir="$work/profile" --remote-debugging-address=127.0.0.1 --remote-debugging-port="$port" \
    --window-size=412,915 about:blank >"$work/chromium.log" 2>&1 &
browser=$!

"$driver" "$port" "$work/trace" "$win" "$shots"
rc=$?
kill -0 "$app" 2>/dev/null || { tail -n 20 "$work/log"; fail "the program died"; }
if [ "$rc" -ne 0 ]; then
    tail -n 20 "$work/log"
    exit "$rc"
fi
# Switched off: the port is closed.
xdotool mousemove --window "$win" 736 256 click 1
sleep 1
grep -q "^telefoni spenti" "$work/trace" || fail "the phones did not switch off"
wmctrl -i -c "$(printf '0x%x' "$win")"
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app" 2>/dev/null && fail "still running after closing"
app=
echo "phones under Xvfb: passed"
