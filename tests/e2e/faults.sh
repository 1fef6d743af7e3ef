#!/bin/bash
# faults.sh TOMBOLA_BINARY [CASE...]
# The real program under Xvfb, drawing at its fastest pace with cards printed into a PDF, while the
# evenings' file meets a fault; then a few numbers more, SIGKILL, and the program started again,
# the evening resumed with Sì. Everything that was shown before the kill (the numbers in order, the
# cards in play, the prizes given) must come back, as kill_resume.sh checks it. The cases (all of
# them when none is named):
#   full      the data folder on a small tmpfs filled up by a file until writes fail, then freed
#   readonly  the data folder made read-only, then writable again
#   fiu       the file's reads, writes and syncs failing at random (libfiu, 5%), then no more
#   lock      another process holding the file's write lock for several seconds (sqlite3)
#   truncate  the main file truncated to 0 bytes while the program runs
#   wal       the -wal and -shm files removed while the program runs
# A full disk, failing calls and a lock must reach the record: the window's mark of the evening not
# kept must show during the fault, and be gone again before the kill. A read-only mount the kernel
# refuses while the program's files are open for writing; the folder is then made read-only by a
# bind mount over it, which the descriptors already open do not meet. A case whose fault cannot be
# made here (mount refused) is SKIPPED with the reason, never passed.
# At the end a table, one row per case: the numbers shown at the kill and resumed, the cards and
# prizes (shown/resumed), whether the mark of the evening not kept came and went, the longest gap
# between two numbers drawn from the fault's start until the record was kept again (printed, not
# judged: a winner waiting for the caller is not counted), and PASS, FAIL or SKIPPED.
set -u
bin=$1
shift
cases=${*:-full readonly fiu lock truncate wal}
work=$(mktemp -d)
case_name=
fail() {
    echo "FAIL: ${case_name:+$case_name: }$*"
    [ -n "$case_name" ] && echo "$*" >"$work/$case_name/why"
    [ -n "${trace:-}" ] && { echo "--- trace (last lines):"; tail -n 12 "$trace" 2>/dev/null | cut -c1-200; }
    [ -n "${dir:-}" ] && [ -s "$dir/log" ] && { echo "--- the program's log (last lines):"; tail -n 20 "$dir/log" | cut -c1-300; }
    exit 1
}
skip() {
    echo "SKIPPED: $case_name: $*"
    echo "$*" >"$work/$case_name/why"
    exit 77
}

. "$(dirname "$0")/desktop.sh"
. "$(dirname "$0")/resume.sh"
# No sound server: clips fail at once and the draw runs at its pace.
export PULSE_SERVER=unix:$work/no-such-socket
export XDG_RUNTIME_DIR=$work/xdg
mkdir -m700 "$XDG_RUNTIME_DIR"
# Whatever a case left mounted under $work, innermost first.
unmount_all() {
    local m
    for m in $(awk -v w="$work/" 'index($2, w) == 1 { print $2 }' /proc/mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}
cleanup() {
    local f
    for f in "$work"/*/pids; do
        [ -f "$f" ] && kill -9 $(cat "$f") 2>/dev/null
    done
    stop_desktop
    wait 2>/dev/null
    unmount_all
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
start_desktop

# What the trace says now, in one pass (it is read every 50 ms, beside a busy program): how many
# numbers the board shows, and 1 when the draw is not going (a winner waits, it is paused, it
# stopped, or it never began), else 0.
draw_state() {
    awk '/^tombola / { n = NF - 3 } /^vincita / { w = $2 != "nessuna" } /^(estratto|fermo|pausa) / { l = $0 }
        END { print n + 0, (w || l == "" || l ~ /^fermo / || l == "pausa 1") ? 1 : 0 }' "$trace"
}
on_board() { draw_state | cut -d' ' -f1; }
# At least $1 numbers on the board, the draw kept going meanwhile (draw_going's steps, taken only
# while it is not going). The whole game has 90.
board_has() {
    local n stopped
    read -r n stopped < <(draw_state)
    [ "$n" -ge "$1" ] && return 0
    [ "$stopped" = 1 ] && draw_going "$(trace_count '^tombola ')"
    return 1
}
draw_to() { wait_for 60 "$1 numbers on the board" board_has "$1"; }
# The record's state as last traced: sì, or no while the window shows the mark.
kept() { [ "$(field registro "$trace")" = "$1" ]; }
# After trace line $1, the mark came, or it went.
mark_since() { tail -n +"$(($1 + 1))" "$trace" | grep -q "^registro $2$"; }
draw_until_mark() { board_has 90 || true; mark_since "$1" "$2"; }
draw_until_kept() { board_has 90 || true; kept sì; }
lines() { wc -l <"$trace"; }
now_ms() { date +%s%3N; }

# start_program N [WRAPPER...]: the program's N-th start in this case, under WRAPPER if given; the
# evening begun, or resumed with Sì when the program offers it.
start_program() {
    local n=$1
    trace=$dir/trace.$n
    shift
    acted=0
    TOMBOLA_TRACE=$trace "$@" "$bin" >>"$dir/log" 2>&1 &
    app=$!
    echo "$app" >>"$dir/pids"
    win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
    title=$(xdotool getwindowname "$win")
    wait_for 60 "the evening to start, the question to resume it, or a notice" \
        traced '^(avvio|finestra Serata da riprendere|finestra Serate:)'
    # What the store had to say of its file (set aside, not kept), told and closed.
    if traced '^finestra Serate:'; then
        notice=$(sed -n 's/^finestra Serate: //p' "$trace" | head -n 1)
        echo "$case_name: start $n: $notice"
        answer 0 Return 'Il file|Impossibile|La serata|Un.altra'
        wait_for 60 "the evening to start or the question to resume it" traced '^(avvio|finestra Serata da riprendere)'
    fi
    traced '^avvio' || answer 0 s 'La serata iniziata'
    wait_trace 60 "the evening to start" '^avvio'
    wait_trace 60 "the end of start-up" '^pronto$'
}
kill_program() {
    kill -9 "$app" 2>/dev/null
    wait "$app" 2>/dev/null
    app=
}

# Each case's fault: prepare_X before the program starts (its data folder ready), fault_X during
# the game, cure_X after it. bites_X: the fault must reach the record (the mark must show).
prepare_tmpfs() {
    mount -t tmpfs -o size=16m,mode=0755 tombola-faults "$folder" 2>"$dir/mount.err" ||
        skip "mount -t tmpfs refused: $(tr '\n' ' ' <"$dir/mount.err")"
}
prepare_full() { prepare_tmpfs; }
bites_full=1
fault_full() {
    # Until the file system says it is full.
    dd if=/dev/zero of="$folder/filler" bs=64k 2>"$dir/dd.err" && fail "the tmpfs took a file without end"
    grep -q 'No space left' "$dir/dd.err" || fail "filling the tmpfs failed otherwise: $(tail -n 1 "$dir/dd.err")"
    note="filled: $(du -k "$folder/filler" | cut -f1) KiB"
}
cure_full() { rm -f "$folder/filler"; }

prepare_readonly() { prepare_tmpfs; }
bites_readonly=0
fault_readonly() {
    # chmod means nothing to root: the mount itself read-only. The kernel refuses that while files
    # on it are open for writing, as the program's are; then a read-only bind mount over the folder,
    # which every opening by name meets but not the descriptors already open.
    if mount -o remount,ro "$folder" 2>"$dir/ro.err"; then
        ro=remount
        note="remount ro"
    else
        mount --bind "$folder" "$folder" && mount -o remount,bind,ro "$folder" ||
            skip "neither a read-only remount nor a read-only bind mount: $(tr '\n' ' ' <"$dir/ro.err")"
        ro=bind
        note="ro bind (remount ro: $(sed -n 's/^mount: [^:]*: //p' "$dir/ro.err" | head -n 1 | tr -d .))"
    fi
    touch "$folder/probe" 2>/dev/null && fail "a file was created in the folder made read-only"
}
cure_readonly() {
    if [ "$ro" = remount ]; then mount -o remount,rw "$folder"; else umount "$folder"; fi
    touch "$folder/probe" || fail "the folder is not writable again"
    rm -f "$folder/probe"
}

prepare_fiu() {
    command -v fiu-run >/dev/null || skip "fiu-run is not installed (fiu-utils)"
    wrapper=(fiu-run -x -f "$dir/fiu")
}
bites_fiu=1
# The file's own calls only: SQLite reads and writes with pread64 and pwrite64 and syncs with
# fdatasync; read, write and the rest are the window's, the X connection's and the trace's.
fiu_points="posix/io/rw/pread posix/io/rw/pwrite posix/io/sync/fsync posix/io/sync/fdatasync"
fault_fiu() {
    local p args=()
    for p in $fiu_points; do args+=(-c "enable_random name=$p,probability=0.05"); done
    fiu-ctrl -f "$dir/fiu" "${args[@]}" "$app" || fail "fiu-ctrl could not reach the program"
    note="5% of pread, pwrite, fsync, fdatasync"
}
cure_fiu() {
    local p args=()
    for p in $fiu_points; do args+=(-c "disable name=$p"); done
    fiu-ctrl -f "$dir/fiu" "${args[@]}" "$app" || fail "fiu-ctrl could not reach the program"
}

prepare_lock() { :; }
bites_lock=1
holder=
fault_lock() {
    # The lock taken, then held until the script lets it go (two minutes at most: a script that
    # died cannot leave it held).
    { printf 'BEGIN EXCLUSIVE;\n.shell touch %s\n' "$dir/locked"
      printf '.shell i=0; while [ ! -e %s ] && [ $i -lt 2400 ]; do sleep 0.05; i=$((i + 1)); done\nCOMMIT;\n' \
          "$dir/release"; } |
        sqlite3 "$folder/serate.sqlite" >"$dir/sqlite3.log" 2>&1 &
    holder=$!
    echo "$holder" >>"$dir/pids"
    wait_for 30 "sqlite3 to hold the lock" test -e "$dir/locked"
    locked_at=$(now_ms)
}
# Held for several seconds: the program's writes and its retry every three seconds meet it.
held_long() { board_has 90 || true; [ $(($(now_ms) - locked_at)) -ge 4000 ]; }
during_lock() { wait_for 60 "the lock held for 4 s" held_long; }
cure_lock() {
    touch "$dir/release"
    wait "$holder" || fail "sqlite3 could not take or let go the lock: $(tr '\n' ' ' <"$dir/sqlite3.log")"
    holder=
    note="held $(($(now_ms) - locked_at)) ms"
}

prepare_truncate() { :; }
bites_truncate=0
fault_truncate() {
    note="main file $(stat -c %s "$folder/serate.sqlite") -> 0 bytes"
    truncate -s 0 "$folder/serate.sqlite"
}
cure_truncate() { :; }

prepare_wal() { :; }
bites_wal=0
fault_wal() {
    note="-wal of $(stat -c %s "$folder/serate.sqlite-wal") bytes and -shm removed"
    rm -f "$folder/serate.sqlite-wal" "$folder/serate.sqlite-shm"
}
cure_wal() { :; }

# One case, in a subshell of its own: a fail() or a skip() ends the case, not the matrix.
run_case() {
    case_name=$1
    dir=$work/$case_name
    export XDG_DATA_HOME=$dir/data
    folder=$XDG_DATA_HOME/Tombola
    mkdir -p "$folder"
    app= holder= ro= note= notice= checked= wrapper=() gap=- mark=- shown=- resumed=- cards=- prizes=-
    t0=$(now_ms)
    case_done() {
        local rc=$?
        [ -n "$holder" ] && { touch "$dir/release"; kill -9 "$holder" 2>/dev/null; }
        [ -n "$app" ] && kill -9 "$app" 2>/dev/null
        wait 2>/dev/null
        rm -f "$folder/filler"
        unmount_all
        # What was compared, also when the comparison failed.
        if [ -n "$checked" ]; then
            shown=$(echo "$shown_numbers" | wc -w) resumed=$(echo "$resumed_numbers" | wc -w)
            cards="$shown_cards/${resumed_cards:-0}"
            prizes="$(echo "$shown_prizes" | tr ';' '\n' | grep -c .)/$(echo "$resumed_prizes" | tr ';' '\n' | grep -c .)"
        fi
        local result=FAIL
        [ "$rc" -eq 0 ] && result=PASS
        [ "$rc" -eq 77 ] && result=SKIPPED
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$case_name" "$shown" "$resumed" "$cards" "$prizes" \
            "$mark" "$gap" "$result" "$(($(now_ms) - t0))" "$note${notice:+; at the restart: ${notice:0:60}}" >"$dir/row"
    }
    trap case_done EXIT
    "prepare_$case_name"
    start_program 0 "${wrapper[@]}"
    # The fastest pace, then cards into a PDF.
    xdotool mousemove --window "$win" $FASTER click --repeat 16 --delay 15 1
    wait_trace 30 "the fastest pace" '^ritmo 100$'
    key F7
    wait_active 'Cartelle della serata'
    xdotool type --delay 20 12
    xdotool key alt+p
    wait_active 'Salva le cartelle in PDF'
    xdotool type --delay 5 "$dir/cards.pdf"
    xdotool key Return
    wait_trace 60 "the cards printed" '^cartelle [1-9]'
    wait_active 'Cartelle della serata'
    xdotool key Escape
    wait_keyboard "$title"
    test -s "$dir/cards.pdf" || fail "no PDF of the cards"

    draw_to 6
    local on off back bites
    on=$(lines)
    "fault_$case_name"
    if declare -F "during_$case_name" >/dev/null; then "during_$case_name"; fi
    bites=bites_$case_name
    [ "${!bites}" = 1 ] && wait_for 60 "the mark of the evening not kept" draw_until_mark "$on" no
    draw_to $(($(on_board) + 6))
    "cure_$case_name"
    off=$(lines)
    # A few numbers more, and the record kept again, with the mark gone, before the kill.
    draw_to $(($(on_board) + 5))
    mark=never
    mark_since "$on" no && mark="came, went"
    wait_for 60 "the mark to go" draw_until_kept
    back=$(awk -v from="$off" 'NR > from && /^registro sì$/ { print NR; exit }' "$trace")
    # The longest gap between two numbers drawn from the fault's start until the record was kept
    # again (or the fault's end, when it never showed), a stop for a winner not counted.
    gap=$(awk -v from="$on" -v to="${back:-$off}" '
        /^estratto / { if (prev != "" && !held && NR > from && NR <= to && $4 - prev > max) max = $4 - prev
                       prev = $4; held = 0 }
        /^fermo / || (/^vincita / && $2 != "nessuna") { held = 1 }
        END { print max + 0 }' "$trace")
    local before=$trace
    kill_program
    start_program 1
    checked=1
    check_resume "$before" "$trace" "resumed after the fault" || fail "nothing to resume"
    [ "$(field registro "$trace")" = sì ] || fail "the resumed evening is not kept"
    echo "$case_name: shown [$shown_numbers], resumed [$resumed_numbers]"
    kill_program
}

for c in $cases; do
    declare -F "fault_$c" >/dev/null || { echo "no such case: $c"; exit 2; }
    (run_case "$c")
done

echo
printf '%-9s %6s %8s %7s %7s %-11s %7s %-8s %7s  %s\n' case shown resumed cards prizes mark gap_ms result took_ms fault
passed=0 failed=0 skipped=0
for c in $cases; do
    IFS=$'\t' read -r name shown resumed cards prizes mark gap result ms note <"$work/$c/row"
    printf '%-9s %6s %8s %7s %7s %-11s %7s %-8s %7s  %s\n' "$name" "$shown" "$resumed" "$cards" "$prizes" "$mark" \
        "$gap" "$result" "$ms" "$note"
    case $result in PASS) passed=$((passed + 1)) ;; FAIL) failed=$((failed + 1)) ;; *) skipped=$((skipped + 1)) ;; esac
    [ "$result" != PASS ] && echo "          $result: $(cat "$work/$c/why" 2>/dev/null)"
done
echo "faults: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
