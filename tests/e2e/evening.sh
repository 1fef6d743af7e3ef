#!/bin/bash
# evening.sh TOMBOLA_BINARY [SHOTS_DIR]
# A scripted evening with the real program under Xvfb and a window manager: start-up, three games
# with pauses, resumes, speed changes and new games in the middle of a draw, then closing through
# the window manager, during a pause, during a clip and with each dialog of the program open. Checks
# that the program exits promptly with status 0 each time, and, when a sound server is reachable,
# that sound came out.
set -u
bin=$1
shots=${2:-$(mktemp -d)}
mkdir -p "$shots"
work=$(mktemp -d)
fail() { echo "FAIL: $*"; exit 1; }

. "$(dirname "$0")/desktop.sh"
rec=
cleanup() {
    [ -n "$rec" ] && kill "$rec" 2>/dev/null
    stop_desktop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
start_desktop

if [ -n "${PULSE_SERVER:-}" ] && pactl info >/dev/null 2>&1; then
    parec -d ci_sink.monitor --rate=22050 --channels=1 --format=s16le "$work/rec.raw" &
    rec=$!
fi

# Each start a new data folder: no evening left open to be offered for resuming.
start() {
    XDG_DATA_HOME=$(mktemp -d -p "$work") "$bin" >>"$work/log" 2>&1 &
    app=$!
    win=$(timeout 20 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
}
# Clicks at a point of the window, in pixels of its client area.
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.2; }
shot() { import -window root "$shots/$1.png"; }
# The share of dark pixels inside the big number's box (client pixels 440,48 209x145, less its frame).
big_number_ink() {
    import -window "$win" png:- | convert - -crop 199x135+445+53 +repage -colorspace gray -threshold 35% \
        -format '%[fx:1-mean]' info:
}
alive() { kill -0 "$app" 2>/dev/null || fail "the program died ($1)"; }
# Closes the window through the window manager and checks an exit with status 0 within 1 s.
close_and_check() {
    local t0 t1 rc took
    t0=$(date +%s.%N)
    # By its id: a dialog's title also ends with the program's name.
    wmctrl -i -c "$(printf '0x%x' "$win")" || fail "wmctrl could not close the window"
    for _ in $(seq 120); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$app" 2>/dev/null && { kill -9 "$app"; fail "still running 6 s after closing ($1)"; }
    wait "$app"
    rc=$?
    t1=$(date +%s.%N)
    took=$(echo "$t1 - $t0" | bc)
    [ "$rc" -eq 0 ] || fail "exit status $rc after closing ($1)"
    printf 'closed %s: exited with 0 after %.2f s\n' "$1" "$took"
    awk -v t="$took" 'BEGIN { exit !(t < 1.0) }' || fail "closing took $took s ($1)"
}

ESTRAI="88 64"; NUOVO="88 24"; PAUSA="184 64"; FASTER="462 240"

start
sleep 3
shot start
for _ in $(seq 14); do click $FASTER; done # 3.0 s down to 0.2 s
click $ESTRAI
sleep 4
shot game1
click $PAUSA
sleep 1
shot paused
alive "pause"
# The number drawn is on the big display, not a blank box.
ink=$(big_number_ink)
awk -v k="$ink" 'BEGIN { exit !(k > 0.04) }' || fail "the big number is blank (dark share $ink)"
echo "big number drawn: dark share $ink"
click $PAUSA # resume
sleep 3
click $NUOVO # new game in the middle of a draw
sleep 3
alive "new game"
click $ESTRAI
sleep 4
click $PAUSA
sleep 0.5
click $PAUSA
sleep 2
click $NUOVO
sleep 3
click $ESTRAI # third game
sleep 3
shot game3
click $PAUSA
sleep 1
close_and_check "during a pause"

start
sleep 0.3 # "inizio" is playing
close_and_check "during the start-up clip"

start
sleep 3
click $ESTRAI
sleep 2.3
close_and_check "during a draw"

start
sleep 3
click 248 532 # the card count box
xdotool type 99
xdotool key Return # "digitare non piu di 30" comes up
sleep 1
wmctrl -l | grep -q ' Tombola$' || fail "the message box did not come up"
close_and_check "with a message box open"

start
sleep 0.3 # "inizio" is playing: clicks queue behind it, each of which would play clips
for _ in 1 2 3; do click $ESTRAI; click $PAUSA; done
close_and_check "with clicks queued behind a clip"

start
sleep 3
click $ESTRAI
sleep 2.3
click $PAUSA
sleep 1
click 292 24 # Ripeti: the box for the count
click 288 65
xdotool type 5
xdotool key Return # "num_estratti", then the last five numbers again
sleep 1
close_and_check "during a repeat"

start
sleep 3
click $ESTRAI
sleep 2.3
click $PAUSA
sleep 1
click 184 24  # Verifica: the claim panel
click 624 428 # Cartella per codice
sleep 0.5
wmctrl -l | grep -q 'Controllo della cartella' || fail "the card check did not open"
shot card-check
close_and_check "with the card check open"

start
sleep 3
click $ESTRAI
sleep 2.3
xdotool key F1 # the About box, over the running draw
for _ in $(seq 50); do wmctrl -l | grep -q 'Informazioni su Tombola' && break; sleep 0.1; done
wmctrl -l | grep -q 'Informazioni su Tombola' || fail "the About box did not open"
shot about
close_and_check "with the About box open"

# The PDF dialog in a home of its own: Qt's file dialog must leave no settings file there.
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home/.config start
sleep 3
click 300 532 # "..." with no count: refused with a message
xdotool key Return
sleep 0.3
click 248 532
xdotool type 3
click 300 532 # the PDF file dialog
sleep 1
wmctrl -l | grep -q 'Salva le cartelle in PDF' || fail "the PDF dialog did not open"
shot pdf-dialog
xdotool key Escape
sleep 0.5
click 300 532
sleep 1
close_and_check "with the PDF dialog open"
[ -z "$(find "$home" -type f)" ] || fail "files written into the home: $(find "$home" -type f)"
rm -rf "$home"

# Cards into a PDF, then a fast game with the room's screen open: the watch finds the winners of
# tonight's cards and the caller confirms them; the list of the evening (F6) open at the close.
start
sleep 3
click 248 532
xdotool type 12
click 300 532 # the PDF file dialog
sleep 1
xdotool type "$work/cards.pdf"
xdotool key Return
sleep 2
[ -s "$work/cards.pdf" ] || fail "no PDF of the cards"
for _ in $(seq 14); do click $FASTER; done
xdotool key F5 # the room's screen
sleep 1
click $ESTRAI
confirmed=0
for _ in $(seq 25); do
    sleep 1
    # Alt+F is "Conferma", there only while a winner waits; the draw stopped for it, Alt+R goes on.
    xdotool key alt+f
    xdotool key alt+r
    confirmed=$((confirmed + 1))
    [ "$confirmed" -eq 20 ] && shot prizes-window
done
alive "the watched game"
shot prizes-room
xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key --window "$win" F6
for _ in $(seq 50); do wmctrl -l | grep -q 'Premi della serata' && break; sleep 0.1; done
wmctrl -l | grep -q 'Premi della serata' || fail "the list of the evening did not open"
shot prize-list
close_and_check "with the list of the evening open"

# The same file again: the question before replacing it open at the close.
start
sleep 3
click 248 532
xdotool type 3
click 300 532
sleep 1
xdotool type "$work/cards.pdf"
xdotool key Return
sleep 1
wmctrl -l | grep -q ' Tombola$' || fail "no question before replacing the PDF"
shot pdf-replace
close_and_check "with the question before replacing a file open"

if [ -n "$rec" ]; then
    kill "$rec"; wait "$rec" 2>/dev/null; rec=
    sox -t raw -r 22050 -e signed -b 16 -c 1 "$work/rec.raw" "$work/rec.wav" 2>/dev/null
    loud=$(sox "$work/rec.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
    echo "sound recorded from the server: RMS $loud"
    awk -v v="$loud" 'BEGIN { exit !(v > 0.005) }' || fail "no sound came out"
fi
echo "evening passed; screenshots in $shots"
