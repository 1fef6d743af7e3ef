#!/bin/bash
# evening.sh TOMBOLA_BINARY [SHOTS_DIR]
# A scripted evening with the real program under Xvfb and a window manager: start-up, three games
# with pauses, resumes, speed changes and new games in the middle of a draw, cards into a PDF and a
# game whose winners the caller confirms, then closing through the window manager, during a pause,
# during a clip and with each dialog of the program open. Checks that the program exits with status
# 0 each time, that nothing more is played once the window is closed (a clip under way is cut short,
# no queued click plays another), and, when a sound server is reachable, that sound came out.
# Every step waits for what it needs, read from the program's trace (ui/trace.h) or the screen, with
# a deadline that only a program that never gets there reaches.
set -u
bin=$1
shots=${2:-$(mktemp -d)}
mkdir -p "$shots"
work=$(mktemp -d)
trace=
fail() {
    echo "FAIL: $*"
    [ -n "$trace" ] && { echo "--- the end of the program's trace:"; tail -n 15 "$trace" 2>/dev/null; }
    exit 1
}

. "$(dirname "$0")/desktop.sh"
rec=
app=
cleanup() {
    [ -n "$rec" ] && kill "$rec" 2>/dev/null
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null
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

# Each start a new data folder (no evening left open to be offered for resuming) and a trace of its
# own. It waits until start-up is over, unless told "--now" (a test of what happens during it).
starts=0
start() {
    starts=$((starts + 1))
    trace=$work/trace.$starts
    XDG_DATA_HOME=$(mktemp -d -p "$work") TOMBOLA_TRACE=$trace "$bin" >>"$work/log" 2>&1 &
    app=$!
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
    [ "${1:-}" = --now ] || wait_trace 60 "the end of start-up (its clips played)" '^pronto$'
}
# Clicks at a point of the window, in pixels of its client area. A click made while a clip plays is
# handled when it ends, in order with the others.
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
shot() { import -window root "$shots/$1.png"; }
# The share of dark pixels inside the big number's box (client pixels 440,48 209x145, less its frame).
big_number_ink() {
    import -window "$win" png:- | convert - -crop 199x135+445+53 +repage -colorspace gray -threshold 35% \
        -format '%[fx:1-mean]' info:
}
# The box holds a number: it has more ink than the empty box had at start-up by at least a third of
# what the thinnest figure leaves (the "7", 0.036 of the box; the "1" 0.039; measured for all 90
# numbers entered from the basket).
big_number_drawn() {
    ink=$(big_number_ink)
    awk -v k="$ink" -v e="$ink_empty" 'BEGIN { exit !(k - e > 0.012) }'
}
alive() { kill -0 "$app" 2>/dev/null || fail "the program died ($1)"; }
gone() { ! kill -0 "$app" 2>/dev/null; }
# The speed bar from 3.0 s down to 0.2 s.
faster() {
    xdotool mousemove --window "$win" $FASTER click --repeat 14 --delay 10 1
    wait_trace 60 "the speed bar at 0.2 s" '^ritmo 200$'
}
# Clicks Pausa (or Riprendi) and waits for the draw to stop ($1 = 1) or go on ($1 = 0).
pause_button() {
    local n
    n=$(trace_count "^pausa $1$")
    click $PAUSA
    wait_more 60 "the draw to $([ "$1" = 1 ] && echo stop || echo go on)" "^pausa $1$" "$n"
}
# Closes the window through the window manager and checks an exit with status 0, with nothing
# played after the close: a clip under way cut short, no clip started afterwards. Returns 2 when
# the clip the close was meant to fall in ($2) had ended before the close came.
close_and_check() {
    local t0 t1 rc took after
    t0=$(date +%s.%N)
    # By its id: a dialog's title also ends with the program's name.
    wmctrl -i -c "$(printf '0x%x' "$win")" || fail "wmctrl could not close the window"
    wait_for 30 "the program to end after its window was closed ($1)" gone
    wait "$app"
    rc=$?
    app=
    t1=$(date +%s.%N)
    took=$(echo "$t1 - $t0" | bc)
    [ "$rc" -eq 0 ] || fail "exit status $rc after closing ($1)"
    traced '^chiusa$' || fail "the program ended without seeing its window closed ($1)"
    after=$(sed -n '/^chiusa$/,$p' "$trace" | grep -E '^clip (fine )?[^ ]+$' | grep -v '^clip interrotta')
    [ -z "$after" ] || fail "played after the window was closed ($1): $(echo $after)"
    if [ -n "${2:-}" ]; then
        if sed -n '/^chiusa$/,$p' "$trace" | grep -qx "clip interrotta $2"; then
            :
        elif sed -n '/^chiusa$/q;p' "$trace" | tail -n 1 | grep -qx "clip fine $2"; then
            return 2
        else
            fail "the close did not cut the clip $2 short ($1)"
        fi
    fi
    printf 'closed %s: exited with 0 after %.2f s\n' "$1" "$took"
}
# Closes during the clip $1, started by the command $3...; a close that came after the clip had
# ended (a very busy machine) is tried again, up to three times.
close_during_clip() {
    local key=$1 what=$2 try status
    shift 2
    for try in 1 2 3; do
        "$@"
        wait_trace 60 "the clip $key" "^clip $key$"
        status=0
        close_and_check "$what" "$key" || status=$?
        [ "$status" -eq 0 ] && return
        echo "the close came after the clip $key had ended: again ($try)"
    done
    fail "three closes came after the clip $key had ended ($what)"
}

ESTRAI="88 64"; NUOVO="88 24"; PAUSA="184 64"; FASTER="462 240"
CARD_COUNT="248 532"; TO_PDF="300 532"

start
ink_empty=$(big_number_ink)
shot start
faster
click $ESTRAI
wait_numbers 60 1 4
shot game1
pause_button 1
alive "pause"
# The number drawn is on the big display, not a blank box.
wait_for 30 "the big number on its display (dark share $ink_empty when empty)" big_number_drawn
echo "big number drawn: dark share $ink, empty $ink_empty"
shot paused
pause_button 0
n=$(numbers_out 1)
wait_numbers 60 1 $((n + 1))
n=$(asked_count "Iniziare una nuova tombola")
click $NUOVO # a new game in the middle of a draw, after its question
answer "$n" s "Iniziare una nuova tombola"
wait_trace 60 "game 2 on an empty board" '^tombola 2 numeri *$'
alive "new game"
click $ESTRAI
wait_numbers 60 2 2
pause_button 1
pause_button 0
n=$(numbers_out 2)
wait_numbers 60 2 $((n + 1))
n=$(asked_count "Iniziare una nuova tombola")
click $NUOVO
answer "$n" s "Iniziare una nuova tombola"
wait_trace 60 "game 3 on an empty board" '^tombola 3 numeri *$'
click $ESTRAI # third game
wait_numbers 60 3 2
shot game3
pause_button 1
close_and_check "during a pause"

close_during_clip inizio "during the start-up clip" start --now

start
click $ESTRAI
wait_numbers 60 1 1
close_and_check "during a draw"

start
click $CARD_COUNT
xdotool type 99
xdotool key Return # "digitare non piu di 30" comes up
wait_trace 60 "the message about the number of cards" '^finestra .*: .*30'
close_and_check "with a message box open"

# Clicks made during the start-up clip queue behind it, and each would play clips.
queued_clicks() {
    start --now
    wait_trace 60 "the start-up clip" '^clip inizio$'
    for _ in 1 2 3; do
        click $ESTRAI
        click $PAUSA
    done
}
close_during_clip inizio "with clicks queued behind a clip" queued_clicks

start
faster
click $ESTRAI
wait_numbers 60 1 6
pause_button 1
click 292 24 # Ripeti: the box for the count
click 288 65
xdotool type 5
xdotool key Return # "num_estratti", then the last five numbers again
wait_trace 60 "the repeat to begin" '^clip num_estratti$'
close_and_check "during a repeat"

start
click $ESTRAI
wait_numbers 60 1 1
pause_button 1
click 184 24  # Verifica: the claim panel
click 624 428 # Cartella per codice
wait_trace 60 "the card check" '^finestra Controllo della cartella'
wait_window 30 'Controllo della cartella'
shot card-check
close_and_check "with the card check open"

start
click $ESTRAI
wait_numbers 60 1 1
xdotool key F1 # the About box, over the running draw
wait_trace 60 "the About box" '^finestra Informazioni su Tombola'
wait_window 30 'Informazioni su Tombola'
shot about
close_and_check "with the About box open"

# The PDF dialog in a home of its own: Qt's file dialog must leave no settings file there.
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home/.config start
n=$(asked_count '')
click $TO_PDF # "..." with no count: refused with a message
answer "$n" Return ''
wait_trace 60 "the message to go" '^finestra via'
click $CARD_COUNT
xdotool type 3
click $TO_PDF # the PDF file dialog
wait_trace 60 "the PDF dialog" '^finestra Salva le cartelle in PDF$'
wait_active 'Salva le cartelle in PDF'
shot pdf-dialog
xdotool key Escape
wait_trace 60 "the PDF dialog to close" '^finestra via Salva le cartelle in PDF$'
n=$(trace_count '^finestra Salva le cartelle in PDF$')
click $TO_PDF
wait_more 60 "the PDF dialog again" '^finestra Salva le cartelle in PDF$' "$n"
close_and_check "with the PDF dialog open"
[ -z "$(find "$home" -type f)" ] || fail "files written into the home: $(find "$home" -type f)"
rm -rf "$home"

# Cards into a PDF, then a fast game with the room's screen open: the watch finds the winners of
# tonight's cards and the caller confirms them until the tombola; the list of the evening (F6) open
# at the close.
start
click $CARD_COUNT
xdotool type 12
click $TO_PDF
wait_active 'Salva le cartelle in PDF'
xdotool type "$work/cards.pdf"
xdotool key Return
wait_trace 60 "the run of 12 cards reported" '^cartelle 12$'
[ -s "$work/cards.pdf" ] || fail "no PDF of the cards"
faster
n=$(trace_count '^finestra ')
xdotool key F5 # the room's screen
wait_more 60 "the room's screen" '^finestra ' "$n"
xdotool windowactivate --sync "$win" 2>/dev/null
click $ESTRAI
confirmed=0
# Each stop of the draw: Alt+F ("Conferma") while a winner waits, then Alt+R goes on, until the
# tombola is given.
while :; do
    stops=$(trace_count '^fermo ')
    wait_more 240 "the draw to stop for a winner" '^fermo ' "$stops"
    while [ "$(last_traced vincita)" != nessuna ]; do
        n=$(trace_count '^premi 1 ')
        xdotool key alt+f
        wait_more 60 "the prize confirmed" '^premi 1 ' "$n"
        confirmed=$((confirmed + 1))
        [ "$confirmed" -eq 3 ] && shot prizes-window
    done
    last_traced premi | grep -q 'TOMBOLA@' && break
    [ "$(numbers_out 1)" -lt 90 ] || fail "all 90 numbers out and no tombola given: $(last_traced premi)"
    xdotool key alt+r
done
echo "prizes confirmed: $confirmed ($(last_traced premi | cut -d' ' -f2-))"
alive "the watched game"
shot prizes-room
xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key --window "$win" F6
wait_trace 60 "the list of the evening" '^finestra Premi della serata'
wait_window 30 'Premi della serata'
shot prize-list
close_and_check "with the list of the evening open"

# The same file again: the question before replacing it open at the close.
start
click $CARD_COUNT
xdotool type 3
click $TO_PDF
wait_active 'Salva le cartelle in PDF'
xdotool type "$work/cards.pdf"
xdotool key Return
wait_trace 60 "the question before replacing the PDF" '^finestra .*: Il file cards.pdf esiste già'
shot pdf-replace
close_and_check "with the question before replacing a file open"

if [ -n "$rec" ]; then
    kill "$rec"
    wait "$rec" 2>/dev/null
    rec=
    sox -t raw -r 22050 -e signed -b 16 -c 1 "$work/rec.raw" "$work/rec.wav" 2>/dev/null
    loud=$(sox "$work/rec.wav" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
    echo "sound recorded from the server: RMS $loud"
    awk -v v="$loud" 'BEGIN { exit !(v > 0.005) }' || fail "no sound came out"
fi
echo "evening passed; screenshots in $shots"
