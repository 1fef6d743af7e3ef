#!/bin/bash
# phones.sh TOMBOLA_BINARY PHONES_DRIVER [SHOTS_DIR [lontani]]
# A player's phone in Debian's headless Chromium against the real program under Xvfb: the driver
# switches the phones on in the window, opens the page, has a card dealt and types its code, follows
# the draw, calls the prize and sees the call on the caller's side, and reloads mid-game. Only
# 127.0.0.1 is reached; Chromium runs with a fresh profile and no background traffic.
# With "lontani", run under scripts/with-nats.sh: the program is given the private cluster in its
# settings file (a fresh XDG_CONFIG_HOME, connected at start as a caller who left it connected), the
# page is saved as static files and served by a web server of its own on 127.0.0.1, and the phone
# opens it from the link the program gives, so that it follows the game through the cluster's
# WebSocket listeners.
set -u
bin=$1
driver=$2
shots=${3:-$(mktemp -d)}
mode=${4:-}
mkdir -p "$shots"
work=$(mktemp -d)
trace=$work/trace
fail() {
    echo "FAIL: $*"
    echo "--- the end of the program's trace:"
    tail -n 15 "$trace" 2>/dev/null
    exit 1
}

. "$(dirname "$0")/desktop.sh"
app=
browser=
site=
cleanup() {
    # The trace stays beside the pictures: what the program showed, for a failure's reader.
    cp "$trace" "$shots/${mode:-vicini}-trace.txt" 2>/dev/null
    [ -n "$browser" ] && kill "$browser" 2>/dev/null
    [ -n "$site" ] && kill "$site" 2>/dev/null
    [ -n "$app" ] && kill "$app" 2>/dev/null
    stop_desktop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
start_desktop

if [ "$mode" = lontani ]; then
    [ -n "${TOMBOLA_NATS_URLS:-}" ] || fail "run it under scripts/with-nats.sh"
    # Browsers refuse ES modules from file:// pages, so the page is served over HTTP, as a club would.
    "$driver" --save-page "$work/site" || fail "the page was not saved"
    site_port=$((20000 + RANDOM % 20000))
    python3 -m http.server "$site_port" --bind 127.0.0.1 --directory "$work/site" >"$work/site.log" 2>&1 &
    site=$!
    site_up() { (exec 3<>"/dev/tcp/127.0.0.1/$site_port") 2>/dev/null; }
    wait_for 30 "the web server of the saved page" site_up
    mkdir -p "$work/config/tombola"
    cat >"$work/config/tombola/lontani.ini" <<EOF
[General]
attivo=true

[server]
indirizzi="$TOMBOLA_NATS_URLS"
utente=$TOMBOLA_NATS_CALLER_USER
password=$TOMBOLA_NATS_CALLER_PASSWORD

[telefoni]
websocket="$TOMBOLA_NATS_WS_URLS"
utente=$TOMBOLA_NATS_PHONE_USER
password=$TOMBOLA_NATS_PHONE_PASSWORD
pagina=http://127.0.0.1:$site_port/
EOF
fi

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" TOMBOLA_TRACE="$trace" "$bin" >"$work/log" 2>&1 &
app=$!
win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
wait_trace 60 "the end of start-up (its clips played)" '^pronto$'

# A port for DevTools, on the loopback only.
port=$((20000 + RANDOM % 20000))
chromium --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-default-apps --disable-extensions \
    --user-data-dir="$work/profile" --remote-debugging-address=127.0.0.1 --remote-debugging-port="$port" \
    --window-size=412,915 about:blank >"$work/chromium.log" 2>&1 &
browser=$!

"$driver" "$port" "$trace" "$win" "$shots" $mode
rc=$?
kill -0 "$app" 2>/dev/null || { tail -n 20 "$work/log"; fail "the program died"; }
if [ "$rc" -ne 0 ]; then
    tail -n 20 "$work/log"
    echo "--- the end of the program's trace:"
    grep -v '^clip' "$trace" | tail -n 15
    exit "$rc"
fi
if [ "$mode" = lontani ]; then
    if grep -q "^lontani giù" "$trace"; then
        fail "the evening stopped reaching the NATS server: $(grep "^lontani giù" "$trace")"
    fi
else
    # Switched off: the port is closed.
    xdotool mousemove --window "$win" 736 256 click 1
    wait_trace 60 "the phones to switch off" '^telefoni spenti'
fi
wmctrl -i -c "$(printf '0x%x' "$win")"
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_for 30 "the program to end after its window was closed" gone
app=
echo "phones${mode:+ far away} under Xvfb: passed"
