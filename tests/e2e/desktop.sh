# desktop.sh, sourced by the scripts that drive the real program: a private X server (Xvfb) with a
# window manager, its display number kept in the script's own $work folder, and the waits those
# scripts share. The program draws on it, not on the offscreen platform. stop_desktop ends both; the
# script calls it from its cleanup. The script defines fail(); $trace is the program's trace file
# (TOMBOLA_TRACE: what the window showed, a line each, see ui/trace.h).
xvfb=
wm=

# wait_for SECONDS WHAT COMMAND...: runs COMMAND until it succeeds, and fails saying what it waited
# for once SECONDS have passed. The deadline only ends a wait that would never end: a step goes on
# as soon as what it needs is there, however loaded the machine.
wait_for() {
    local seconds=$1 what=$2 end
    shift 2
    end=$(($(date +%s%N) / 1000000 + seconds * 1000))
    until "$@"; do
        [ $(($(date +%s%N) / 1000000)) -lt "$end" ] || fail "waited $seconds s for $what"
        sleep 0.05
    done
}
# Whether a line of the trace matches the extended regular expression $1.
traced() { grep -qE -- "$1" "$trace" 2>/dev/null; }
# How many lines of the trace match $1.
trace_count() { grep -cE -- "$1" "$trace" 2>/dev/null || true; }
more_traced() { [ "$(trace_count "$1")" -gt "$2" ]; }
# wait_trace SECONDS WHAT REGEX: a line matching REGEX in the trace.
wait_trace() { wait_for "$1" "$2" traced "$3"; }
# wait_more SECONDS WHAT REGEX COUNT: more than COUNT lines matching REGEX, i.e. a new one since
# COUNT was read.
wait_more() { wait_for "$1" "$2" more_traced "$3" "$4"; }
# The last line of the trace that starts with the word $1, without it.
last_traced() { sed -n "s/^$1 //p" "$trace" 2>/dev/null | tail -n 1; }
# How many numbers game $1 shows on the board, as last traced.
numbers_out() {
    local line
    line=$(grep -E "^tombola $1 numeri" "$trace" 2>/dev/null | tail -n 1)
    echo "${line#tombola $1 numeri}" | wc -w
}
at_least_numbers() { [ "$(numbers_out "$1")" -ge "$2" ]; }
# wait_numbers SECONDS GAME N: game GAME shows at least N numbers.
wait_numbers() { wait_for "$1" "$3 numbers of game $2 on the board" at_least_numbers "$2" "$3"; }
# A window of the program with this title is on the screen (the window manager's list).
window_up() { wmctrl -l 2>/dev/null | grep -qF -- "$1"; }
wm_up() { wmctrl -m >/dev/null 2>&1; }
wait_window() { wait_for "$1" "the window \"$2\"" window_up "$2"; }

# The program's window titled $1 has the keyboard, as the program itself knows it: keys sent now
# reach it.
has_keyboard() { [ "$(last_traced attiva)" = "$1" ]; }
wait_keyboard() { wait_for 30 "the window \"$1\" to take the keyboard" has_keyboard "$1"; }
wait_active() { wait_keyboard "$@"; }
# How many questions or messages whose text matches $1 the program has shown.
asked_count() { trace_count "^finestra [^:]*: $1"; }
# answer COUNT KEY TEXT: once more than COUNT questions matching TEXT have come up, the newest
# takes the keyboard and KEY answers it (s for Si, n for No, Return for the default or OK).
answer() {
    local title
    wait_more 60 "the question \"$3\"" "^finestra [^:]*: $3" "$1"
    title=$(sed -n "s/^finestra \([^:]*\): $3.*/\1/p" "$trace" | tail -n 1)
    wait_active "$title"
    xdotool key "$2"
}

start_desktop() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    wait_for 30 "Xvfb to start" test -s "$work/display"
    export DISPLAY=:$(cat "$work/display")
    unset QT_QPA_PLATFORM
    openbox >"$work/openbox.log" 2>&1 &
    wm=$!
    # The window manager takes the screen before the first window comes; one that died on the way
    # (it says why in its log) is started once more.
    local end=$(($(date +%s) + 60))
    until wm_up; do
        if ! kill -0 "$wm" 2>/dev/null; then
            echo "openbox ended before it took the screen: $(tail -n 3 "$work/openbox.log" | tr '\n' ' ')"
            openbox >>"$work/openbox.log" 2>&1 &
            wm=$!
        fi
        [ "$(date +%s)" -lt "$end" ] || fail "waited 60 s for the window manager to take the screen (Xvfb $(kill -0 "$xvfb" 2>/dev/null && echo alive || echo gone); openbox: $(tail -n 5 "$work/openbox.log" | tr '\n' ' '))"
        sleep 0.05
    done
}
stop_desktop() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
}
