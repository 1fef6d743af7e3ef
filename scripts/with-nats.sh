#!/bin/bash
# with-nats.sh COMMAND [ARGS...]
# Runs COMMAND against a private NATS cluster of three nats-server on free 127.0.0.1 ports, each
# with JetStream and a WebSocket listener, plus one server alone that speaks only TLS with a
# certificate of a private CA made here with openssl; stops them and removes their files
# afterwards, whatever happens. The users and their permissions are a club's (scripts/nats-users.conf):
#   banco    (the program)  publishes the evening's subjects and answers the phones' requests
#   telefono (the phones)   reads the evening's subjects, publishes only on tombola.<sera>.chiamate
# Exports:
#   TOMBOLA_NATS_URLS       nats://127.0.0.1:p1,nats://127.0.0.1:p2,nats://127.0.0.1:p3
#   TOMBOLA_NATS_WS_URLS    ws://127.0.0.1:w1,... (the same servers' WebSocket listeners)
#   TOMBOLA_NATS_CONFS      the three servers' configuration files, comma-separated, in order: a test
#                           that kills one starts it again with `nats-server -c <conf>`
#   TOMBOLA_NATS_PID_FILES  where each server writes its process id, in the same order
#   TOMBOLA_NATS_TLS_URL    tls://localhost:p (the TLS server), TOMBOLA_NATS_CA its CA's certificate
#   TOMBOLA_NATS_CALLER_USER / _PASSWORD, TOMBOLA_NATS_PHONE_USER / _PASSWORD
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/with-nats.XXXXXX") || exit 1
command_pid=

stop_servers() {
    local f pid
    for f in "$dir"/*.pid; do
        [ -f "$f" ] || continue
        pid=$(cat "$f" 2>/dev/null)
        [ -n "$pid" ] || continue
        kill -CONT "$pid" 2>/dev/null
        kill -TERM "$pid" 2>/dev/null
    done
    for f in "$dir"/*.pid; do
        [ -f "$f" ] || continue
        pid=$(cat "$f" 2>/dev/null)
        [ -n "$pid" ] || continue
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    done
}

cleanup() {
    trap - EXIT INT TERM HUP
    [ -n "$command_pid" ] && kill -TERM -- "-$command_pid" 2>/dev/null
    stop_servers
    wait 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# shellcheck source=scripts/free-ports.sh
. "$(dirname "$0")/free-ports.sh"

caller_user=banco
caller_password=banco-$RANDOM$RANDOM
phone_user=telefono
phone_password=telefono

# The users and their permissions are scripts/nats-users.conf's, included by every server here as
# by a club's; their passwords are beside it.
cp "$(dirname "$0")/nats-users.conf" "$dir/nats-users.conf" || exit 1
cat >"$dir/nats-passwords.conf" <<EOF
BANCO_PASSWORD: "$caller_password"
TELEFONO_PASSWORD: "$phone_password"
EOF

declare -a client ws route
for i in 0 1 2; do
    free_port "client[$i]"
    free_port "ws[$i]"
    free_port "route[$i]"
done
routes="nats-route://127.0.0.1:${route[0]}, nats-route://127.0.0.1:${route[1]}, nats-route://127.0.0.1:${route[2]}"
urls= wsurls= confs= pidfiles=
for i in 0 1 2; do
    mkdir -p "$dir/js$i"
    cat >"$dir/n$i.conf" <<EOF
server_name: tombola-$i
listen: 127.0.0.1:${client[$i]}
pid_file: "$dir/n$i.pid"
jetstream { store_dir: "$dir/js$i", max_memory_store: 64MB, max_file_store: 256MB }
cluster { name: tombola, listen: 127.0.0.1:${route[$i]}, routes: [ $routes ] }
websocket { listen: "127.0.0.1:${ws[$i]}", no_tls: true }
max_connections: 10000
include "nats-users.conf"
EOF
    urls="$urls${urls:+,}nats://127.0.0.1:${client[$i]}"
    wsurls="$wsurls${wsurls:+,}ws://127.0.0.1:${ws[$i]}"
    confs="$confs${confs:+,}$dir/n$i.conf"
    pidfiles="$pidfiles${pidfiles:+,}$dir/n$i.pid"
done

# The TLS server: a private CA and a certificate for localhost and 127.0.0.1.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tombola test CA" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" >/dev/null 2>&1 || { echo "$0: openssl failed (CA)" >&2; exit 1; }
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/server.key" -out "$dir/server.csr" \
    >/dev/null 2>&1 || { echo "$0: openssl failed (request)" >&2; exit 1; }
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$dir/san.ext"
openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
    -extfile "$dir/san.ext" -out "$dir/server.pem" >/dev/null 2>&1 ||
    { echo "$0: openssl failed (certificate)" >&2; exit 1; }
free_port tls_port
cat >"$dir/tls.conf" <<EOF
server_name: tombola-tls
listen: 127.0.0.1:$tls_port
pid_file: "$dir/tls.pid"
tls { cert_file: "$dir/server.pem", key_file: "$dir/server.key", timeout: 2 }
include "nats-users.conf"
EOF

for conf in "$dir"/n0.conf "$dir"/n1.conf "$dir"/n2.conf "$dir"/tls.conf; do
    nats-server -c "$conf" </dev/null >"${conf%.conf}.log" 2>&1 &
done

# Ready when every client port answers and the cluster's routes are up: within 30 s, for a machine
# busy with a build and other tests.
ready=
for _ in $(seq 1 300); do
    up=0
    for p in "${client[@]}" "$tls_port"; do
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && up=$((up + 1))
    done
    if [ "$up" -eq 4 ] && [ "$(grep -l "Route connection created" "$dir"/n?.log 2>/dev/null | wc -l)" -eq 3 ]; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ -z "$ready" ]; then
    echo "$0: the private NATS servers did not start" >&2
    tail -n 20 "$dir"/*.log >&2
    exit 1
fi

export TOMBOLA_NATS_URLS=$urls TOMBOLA_NATS_WS_URLS=$wsurls TOMBOLA_NATS_CONFS=$confs
export TOMBOLA_NATS_PID_FILES=$pidfiles TOMBOLA_NATS_TLS_URL=tls://localhost:$tls_port
export TOMBOLA_NATS_CA=$dir/ca.pem
export TOMBOLA_NATS_CALLER_USER=$caller_user TOMBOLA_NATS_CALLER_PASSWORD=$caller_password
export TOMBOLA_NATS_PHONE_USER=$phone_user TOMBOLA_NATS_PHONE_PASSWORD=$phone_password

set -m
"$@" &
command_pid=$!
set +m
wait "$command_pid"
status=$?
command_pid=
exit "$status"
