# shellcheck shell=bash
# free-ports.sh, sourced by the scripts that start private servers on 127.0.0.1 for tests:
# free_port VAR sets VAR (a name, or an array's element: "client[2]") to a port to listen on, below
# the kernel's range for outgoing connections (a port an outgoing connection holds cannot be
# listened on, and ss -l does not show it), none in use when the script started in any state, none
# given twice. It sets the variable rather than printing the port: in $(...) it would run in a
# subshell, which forgets the ports it gave. Scripts that take ports this way hold the ctest
# resource lock nats_ports, so two never pick at once within one ctest run; two ctest runs at once
# are given ranges of their own in TOMBOLA_PORTS ("21000-32767"; 10000 up to the kernel's range
# unless told).
read -r ephemeral_low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || ephemeral_low=32768
[ "$ephemeral_low" -gt 12000 ] || ephemeral_low=32768
ports_low=10000
ports_high=$((ephemeral_low - 1))
if [[ "${TOMBOLA_PORTS:-}" =~ ^([0-9]+)-([0-9]+)$ ]]; then
    ports_low=${BASH_REMATCH[1]}
    ports_high=$((BASH_REMATCH[2] < ephemeral_low ? BASH_REMATCH[2] : ephemeral_low - 1))
fi
ports_taken=" $(ss -Htanu 2>/dev/null | awk '{print $5}' | sed 's/.*://' | tr '\n' ' ') "
free_port() {
    local p
    while :; do
        p=$((ports_low + RANDOM % (ports_high - ports_low + 1)))
        case "$ports_taken" in *" $p "*) continue ;; esac
        ports_taken="$ports_taken$p "
        printf -v "$1" %s "$p"
        return
    done
}
