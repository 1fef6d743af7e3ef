#!/bin/bash
# kill_resume.sh TOMBOLA_BINARY [KILLS]
# The real program under Xvfb and a window manager, killed with SIGKILL at random moments of a
# scripted evening (drawing, printing cards into a PDF, confirming winners, numbers from the basket,
# taken back) and started again each time, resuming the evening. After each restart the resumed
# game must hold every number the board showed before the kill, in order, plus at most the one
# that was kept but not yet shown (or less the one taken back but not yet shown so); every card of
# a run reported printed must be in play; every prize given must be there, with its winners.
# The program writes what it showed to TOMBOLA_TRACE; what it resumed it writes there too.
set -u
bin=$1
kills=${2:-${TOMBOLA_KILLS:-50}}
work=$(mktemp -d)
fail() {
    echo "FAIL: $*"
    echo "--- cycles:"
    cat "$work/cycles" 2>/dev/null
    [ -n "${trace:-}" ] && { echo "--- trace before:"; tail -n 8 "$work/trace.$((cycle - 1))" 2>/dev/null; echo "--- trace now:"; tail -n 8 "$trace"; }
    exit 1
}

. "$(dirname "$0")/desktop.sh"
. "$(dirname "$0")/resume.sh"
# No sound server: clips fail at once and the draw runs at its pace.
export PULSE_SERVER=unix:$work/no-such-socket
export XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/xdg
mkdir -m700 "$XDG_RUNTIME_DIR"
app=
cleanup() {
    [ -n "$app" ] && kill -9 "$app" 2>/dev/null
    stop_desktop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
start_desktop

BASKET_BOX="676 132"
# The kill's moment, at random within A..B seconds of a step: not a wait for an effect (every step
# waits for what it needs above), but where in the middle of it the program dies.
random_moment() { sleep "$(awk -v s="$RANDOM" -v a="$1" -v b="$2" 'BEGIN { srand(s); printf "%.2f", a + rand() * (b - a) }')"; }
# The basket's check box is a toggle: it is clicked only when its state is not the one wanted.
basket() {
    [ "$(field panariello "$trace")" = "$1" ] && return
    key alt+z
    wait_for 30 "the basket $([ "$1" = 1 ] && echo on || echo off)" basket_is "$1"
}
basket_is() { [ "$(field panariello "$trace")" = "$1" ]; }
# A new game shown, or the question before it.
game_or_question() { [ "$(trace_count '^tombola ')" -gt "$1" ] || [ "$(asked_count 'Iniziare una nuova tombola')" -gt "$2" ]; }
# A number of the game shown, or a message (a number already out) that Enter closes.
number_or_message() { [ "$(trace_count '^tombola ')" -gt "$1" ] || [ "$(asked_count '')" -gt "$2" ]; }
resumed=0
prints=0
trace=
for cycle in $(seq 0 "$kills"); do
    trace=$work/trace.$cycle
    TOMBOLA_TRACE=$trace "$bin" >>"$work/log" 2>&1 &
    app=$!
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
    title=$(xdotool getwindowname "$win")
    # The question to resume, when there is an evening to resume, answered Si (its default) by Enter.
    wait_for 60 "cycle $cycle: the evening to start or the question to resume it" \
        traced '^(avvio|finestra Serata da riprendere)'
    if ! traced '^avvio'; then
        answer 0 Return 'La serata iniziata'
        wait_trace 60 "cycle $cycle: the evening to start" '^avvio'
    fi
    wait_trace 60 "cycle $cycle: the end of start-up" '^pronto$'
    [ "$cycle" -gt 0 ] && check_resume "$work/trace.$((cycle - 1))" "$trace" "cycle $cycle" && resumed=$((resumed + 1))
    [ "$cycle" -eq "$kills" ] && break

    # A random stretch of the evening, then the kill wherever it falls.
    xdotool mousemove --window "$win" $FASTER click --repeat 14 --delay 15 1
    choice=$((RANDOM % 7))
    # "Nuova Tombola" stays disabled until the program has shown a number: on a fresh evening not
    # drawn from yet, the draw instead.
    if [ "$choice" -eq 6 ] && ! grep -Eq '^tombola [0-9]+ numeri [0-9]' "$trace"; then choice=2; fi
    case $choice in
    6) # a new game, asked (numbers out and the game not over) and answered Si
        what="new game"
        key Escape
        games=$(trace_count '^tombola ')
        asked=$(asked_count 'Iniziare una nuova tombola')
        key alt+n
        wait_for 30 "the question before a new game, or the new game" game_or_question "$games" "$asked"
        [ "$(asked_count 'Iniziare una nuova tombola')" -gt "$asked" ] && answer "$asked" s 'Iniziare una nuova tombola'
        random_moment 0 0.5
        ;;
    0) # cards into a PDF, killed during or after the run
        what="print"
        key F7
        wait_active 'Cartelle della serata'
        xdotool type --delay 20 "$((6 + RANDOM % 60))"
        xdotool key alt+p
        wait_active 'Salva le cartelle in PDF'
        xdotool type --delay 5 "$work/cards-$cycle.pdf"
        xdotool key Return
        prints=$((prints + 1))
        random_moment 0.1 2.5
        ;;
    1) # the basket: numbers entered, one taken back
        what="basket"
        key Escape
        basket 1
        for _ in 1 2 3 4; do
            shown=$(trace_count '^tombola ')
            messages=$(asked_count '')
            click $BASKET_BOX
            xdotool type --delay 10 "$((1 + RANDOM % 90))"
            xdotool key Return
            wait_for 30 "the number from the basket shown, or refused" number_or_message "$shown" "$messages"
            [ "$(asked_count '')" -gt "$messages" ] && answer "$messages" Return ''
        done
        asked=$(asked_count 'Rimettere nel panariello')
        key ctrl+z
        [ "$(numbers_out "$(field tombola "$trace" | cut -d' ' -f1)")" -gt 0 ] && answer "$asked" s 'Rimettere nel panariello'
        random_moment 0 0.6
        ;;
    *) # the draw at its fastest, winners confirmed as they come
        what="draw"
        key Escape
        basket 0
        shown=$(trace_count '^tombola ')
        acted=$(($(wc -l <"$trace") - 1))
        # On a loaded machine the program may take seconds to answer its first click: the stretch
        # is timed from the first number it draws, so that every such cycle has a game to resume.
        wait_for 60 "cycle $cycle: a number drawn" draw_going "$shown"
        # Pressed blindly, as a hurried caller would: Alt+F confirms a winner, in the window or in
        # the question that Alt+R asks while one waits.
        for _ in $(seq $((1 + RANDOM % 6))); do
            random_moment 0.1 0.5
            xdotool key alt+f
            xdotool key alt+r
        done
        ;;
    esac
    kill -9 "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=
    echo "cycle $cycle: $(grep -o '^avvio.*' "$trace" | head -n 1), $what; at the kill: $(field tombola "$trace"), cards $(field cartelle "$trace")" >>"$work/cycles"
done
kill "$app" 2>/dev/null
wait "$app" 2>/dev/null
app=
last=$work/trace.$kills
echo "killed $kills times, resumed $resumed times; $prints print runs started; at the end: $(field cartelle "$last") cards in play, game $(field tombola "$last" | cut -d' ' -f1) with $(field tombola "$last" | sed 's/^[0-9]* numeri *//' | wc -w) numbers out, prizes: $(field premi "$last" | cut -d' ' -f2-)"
[ "$resumed" -ge $((kills / 2)) ] || fail "only $resumed of $kills restarts resumed an evening"
