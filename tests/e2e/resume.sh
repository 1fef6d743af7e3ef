# resume.sh, sourced after desktop.sh by the scripts that kill the real program and start it again:
# the draw kept going, and what the program resumed held against what it had shown. $win is the
# caller's window, $title its title, $trace the program's trace file.

ESTRAI="88 64"
FASTER="462 240"
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
# A key for the caller's window, once it has the keyboard (a question just answered may still hold it).
key() {
    wait_keyboard "$title"
    xdotool key "$@" 2>/dev/null
}
# The last line of trace file $2 that starts with the word $1, without it.
field() { sed -n "s/^$1 //p" "$2" | tail -n 1; }
drop_last() { echo "$1" | awk '{ $NF = ""; print }' | xargs; }

# A number drawn since $1 lines of the game were traced, or all 90 out.
drawn_since() { [ "$(trace_count '^tombola ')" -gt "$1" ] || [ "$(field tombola "$trace" | wc -w)" -ge 92 ]; }
# Gets the draw going: a winner waiting (in the window, or in the question Riprendi asks) is
# confirmed with Alt+F, a draw stopped in the middle of a game resumed with Alt+R, a game not begun
# started with Estrai; one step at a time, each only once the program has answered the one before
# (its trace has grown since the line count in $acted).
acted=0
draw_going() {
    drawn_since "$1" && return 0
    local lines
    lines=$(wc -l <"$trace")
    [ "$lines" -gt "$acted" ] || return 1
    if has_keyboard "Vincita da verificare" || { has_keyboard "$title" && [ "$(field vincita "$trace")" != nessuna ]; }; then
        xdotool key alt+f
    elif has_keyboard "$title" && [ "$(field pausa "$trace")" = 1 ]; then
        xdotool key alt+r
    elif has_keyboard "$title"; then
        click $ESTRAI
    else
        return 1
    fi
    acted=$lines
    return 1
}

# check_resume BEFORE NOW WHAT: the state last written to the trace BEFORE the kill against the one
# the program resumed in the trace NOW, after it: every number shown, in order, plus at most the one
# that was kept but not yet shown (or less the one taken back but not yet shown so); at least as
# many cards in play; every prize given, with its winners. Fails saying WHAT was checked; returns 1
# when there was nothing worth resuming (no number and no card before the kill) and the program
# rightly offered nothing. What it compared stays in shown_game, shown_numbers, resumed_game,
# resumed_numbers, shown_cards, resumed_cards, shown_prizes and resumed_prizes.
check_resume() {
    local before=$1 now=$2 what=$3
    shown_game=$(field tombola "$before" | cut -d' ' -f1)
    shown_numbers=$(field tombola "$before" | sed 's/^[0-9]* numeri *//')
    shown_cards=$(field cartelle "$before")
    shown_prizes=$(field premi "$before" | cut -s -d' ' -f2-)
    resumed_game= resumed_numbers= resumed_cards= resumed_prizes=
    grep -q '^avvio ripresa' "$now" || {
        if [ -n "$shown_numbers" ] || [ "$shown_cards" != "0" ]; then
            fail "$what: the evening was not offered for resuming"
        fi
        return 1
    }
    local old new og ng on nn ok
    old=$(field tombola "$before")
    new=$(sed -n '/^avvio ripresa/,$p' "$now" | sed -n 's/^tombola //p' | head -n 1)
    og=${old%% *}; ng=${new%% *}
    on=$(echo "${old#* numeri}" | xargs); nn=$(echo "${new#* numeri}" | xargs)
    resumed_game=$ng resumed_numbers=$nn
    ok=0
    if [ "$og" = "$ng" ]; then
        [ "$nn" = "$on" ] && ok=1
        # One more number kept than shown, or one taken back and not yet shown so.
        [ -n "$nn" ] && [ "$(drop_last "$nn")" = "$on" ] && ok=1
        [ -n "$on" ] && [ "$(drop_last "$on")" = "$nn" ] && ok=1
    elif [ "$ng" = "$((og + 1))" ] && [ -z "$nn" ]; then
        ok=1 # a new game kept before it was shown
    fi
    resumed_cards=$(sed -n '/^avvio ripresa/,$p' "$now" | sed -n 's/^cartelle //p' | head -n 1)
    local op np item
    op=$(field premi "$before")
    np=$(sed -n '/^avvio ripresa/,$p' "$now" | sed -n 's/^premi //p' | head -n 1)
    resumed_prizes=$(echo "$np" | cut -s -d' ' -f2-)
    [ "$ok" -eq 1 ] || fail "$what: shown game $og [$on], resumed game $ng [$nn]"
    [ "${resumed_cards:-0}" -ge "${shown_cards:-0}" ] || fail "$what: $shown_cards cards reported, $resumed_cards resumed"
    # Each prize as prize@draw=winner, separated by ';' (a winner's name may have spaces).
    if [ "${op%% *}" = "${np%% *}" ]; then
        local items
        IFS=';' read -r -a items <<<"${op#* }"
        for item in "${items[@]}"; do
            [ -n "$item" ] || continue
            case ";${np#* };" in *";$item;"*) ;; *) fail "$what: prize $item lost" ;; esac
        done
    fi
    return 0
}
