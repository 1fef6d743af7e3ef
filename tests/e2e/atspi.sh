#!/bin/bash
# atspi.sh TOMBOLA_BINARY
# What a blind caller hears of the draw: the real program under Xvfb with Qt's AT-SPI bridge on, on
# a private session bus and accessibility bus of this test alone, and a listener (atspi_listen.py,
# pyatspi) hearing what Orca reads while the focus stays on the window's buttons. Each number
# drawn must be told once, in the order of the board, as "Estratto il numero N"; each number the
# repeat of the last numbers says again, once more as "Ripetuto il numero N".
set -u
if [ -z "${TOMBOLA_PRIVATE_BUS:-}" ]; then
    # The session bus ends with the test, and with it whatever was started on it.
    TOMBOLA_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
bin=$1
here=$(dirname "$0")
work=$(mktemp -d)
trace=$work/trace
heard=$work/heard
fail() {
    echo "FAIL: $*"
    echo "--- heard:"
    cat "$heard" 2>/dev/null
    echo "--- the end of the program's trace:"
    grep -v '^clip' "$trace" 2>/dev/null | tail -n 15
    exit 1
}
. "$here/desktop.sh"
app=
launcher=
listener=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$listener" ] && kill "$listener" 2>/dev/null
    [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
    stop_desktop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/xdg"
export XDG_RUNTIME_DIR=$work/xdg
start_desktop

/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.log" 2>&1 &
launcher=$!
bus_up() { dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; }
wait_for 30 "the accessibility bus" bus_up
# Debian's own Python, which has the pyatspi package.
/usr/bin/python3 "$here/atspi_listen.py" "$heard" 2>"$work/listener.log" &
listener=$!
listening() { grep -q '^pronto$' "$heard" 2>/dev/null; }
wait_for 30 "the listener on the accessibility bus" listening

QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    TOMBOLA_TRACE="$trace" "$bin" >"$work/log" 2>&1 &
app=$!
win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
wait_trace 60 "the end of start-up" '^pronto$'

# A number every second; Estrai starts the draw, the focus stays on the buttons.
xdotool mousemove --window "$win" 462 240 click --repeat 10 --delay 10 1
wait_trace 30 "the speed bar at 1 s" '^ritmo 1000$'
xdotool mousemove --window "$win" 88 64 click 1
wait_numbers 120 1 6
xdotool mousemove --window "$win" 184 64 click 1
wait_trace 60 "the pause" '^pausa 1$'
# The repeat of the last three numbers: Ripeti, then 3 and Enter in its box.
xdotool mousemove --window "$win" 292 24 click 1
xdotool mousemove --window "$win" 288 66 click 1
xdotool type --window "$win" 3
xdotool key --window "$win" Return
repeated() { [ "$(grep -c '^notifica Ripetuto' "$heard")" -ge 3 ]; }
wait_for 60 "three numbers repeated" repeated

drawn=$(grep -E '^tombola 1 numeri' "$trace" | tail -n 1 | sed 's/^tombola 1 numeri *//')
told=$(sed -n 's/^notifica Estratto il numero //p' "$heard" | xargs)
again=$(sed -n 's/^notifica Ripetuto il numero //p' "$heard" | xargs)
last3=$(echo "$drawn" | awk '{ for (i = NF - 2; i <= NF; i++) printf "%s%s", $i, (i < NF ? " " : "") }')
echo "drawn:    $drawn"
echo "told:     $told"
echo "repeated: $again (the last three: $last3)"
echo "name changes of the notification, with what the event carried:"
grep '^nome ' "$heard" | sort | uniq -c | sort -rn | head -n 3
[ -n "$drawn" ] || fail "no number drawn"
[ "$told" = "$drawn" ] || fail "the numbers told are not the numbers drawn, once each in order"
[ "$again" = "$last3" ] || fail "the repeat was not told once per number"
! grep -q '^errore' "$heard" || fail "the listener could not read an event"
wmctrl -i -c "$(printf '0x%x' "$win")"
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_for 30 "the program to end after its window was closed" gone
app=
echo "what a screen reader hears under Xvfb: passed"
