#!/bin/bash
# with-pulse.sh COMMAND [ARGS...]
# Runs COMMAND against a private PulseAudio server with one null sink, "ci_sink", and stops the
# server and its helpers afterwards, whatever happens. Works as root without systemd; every run has
# its own temporary folder, so two runs at once do not meet. Exports PULSE_SERVER, XDG_RUNTIME_DIR,
# TOMBOLA_PULSE_PID (the server's process id, for tests that kill it) and TOMBOLA_PULSE_DIR (the
# run's folder). Exits with COMMAND's status.
# WITH_PULSE_SERVER=0 starts no server: COMMAND sees a server appear only when it starts one.
#
# with-pulse.sh --start-server
# From inside a run: starts a new server on the run's socket (the old one gone, or none yet) and
# prints its process id once it answers. The run stops it at its end like the first.
set -u

# Starts a server and its keep-alive stream in $dir and records them in $dir/pids; sets server_pid.
start_server() {
    pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 --system=no \
        --log-target="file:$dir/pulse.log" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
        -L "module-null-sink sink_name=ci_sink rate=44100 channels=2" \
        </dev/null >/dev/null 2>&1 &
    server_pid=$!
    echo "$server_pid" >>"$dir/pids"

    local ready=
    for _ in $(seq 1 100); do
        if ! kill -0 "$server_pid" 2>/dev/null; then
            break
        fi
        if pactl info >/dev/null 2>&1; then
            ready=1
            break
        fi
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        echo "with-pulse.sh: the PulseAudio server did not start; its log:" >&2
        cat "$dir/pulse.log" >&2 2>/dev/null
        return 1
    fi

    # An idle null sink falls to a 2 s latency and starts the next stream late: a silent stream keeps
    # it awake. It has to run a moment before the first real stream.
    pacat -p --raw --format=s16le --rate=44100 --channels=2 --latency-msec=30 /dev/zero </dev/null \
        >/dev/null 2>&1 &
    echo "$!" >>"$dir/pids"
    for _ in $(seq 1 50); do
        if [ -n "$(pactl list short sink-inputs 2>/dev/null)" ]; then
            break
        fi
        sleep 0.1
    done
    sleep "${WITH_PULSE_SETTLE:-2.5}"
}

if [ "${1:-}" = --start-server ]; then
    dir=${TOMBOLA_PULSE_DIR:?"--start-server runs only inside with-pulse.sh"}
    start_server || exit 1
    echo "$server_pid"
    exit 0
fi

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...] | $0 --start-server" >&2
    exit 2
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/with-pulse.XXXXXX") || exit 1
command_pid=

cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$command_pid" ] && kill -TERM "$command_pid" 2>/dev/null
    local pids
    pids=$(cat "$dir/pids" 2>/dev/null)
    if [ -n "$pids" ]; then
        # A server a test stopped with SIGSTOP needs SIGCONT to act on SIGTERM.
        kill -TERM $pids 2>/dev/null
        kill -CONT $pids 2>/dev/null
        # Give them a second to go, then make sure.
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 $pids 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL $pids 2>/dev/null
        wait $pids 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -m 700 "$dir/xdg"
export XDG_RUNTIME_DIR="$dir/xdg"
export PULSE_SERVER="unix:$dir/native"
# No cookie and no client.conf of the user: the socket is anonymous and private to this run.
export PULSE_COOKIE="$dir/cookie"
export TOMBOLA_PULSE_DIR="$dir"
unset PULSE_SINK PULSE_SOURCE TOMBOLA_PULSE_PID

if [ "${WITH_PULSE_SERVER:-1}" != 0 ]; then
    start_server || exit 1
    export TOMBOLA_PULSE_PID="$server_pid"
fi
# In the background, so that a signal to this script is handled at once; stdin is handed on.
"$@" <&0 &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=
exit "$status"
