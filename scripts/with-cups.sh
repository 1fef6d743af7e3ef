#!/bin/bash
# with-cups.sh COMMAND [ARGS...]
# Runs COMMAND against a private CUPS server whose only queue, "PDF" (cups-pdf), is its default
# printer, and stops and removes that server afterwards, whatever happens. The server listens on a
# socket in its own temporary folder (no TCP port) and keeps its configuration there: the host's
# print server, queues and default printer are neither used nor changed, whether one runs or not.
# Exports CUPS_SERVER (the socket), CUPS_SERVERROOT (the private folder, so the host's lpoptions and
# client.conf are not read) and TOMBOLA_CUPSD_PID (for tests that stop the server). Must run as
# root: cupsd starts the cups-pdf backend as root. cups-pdf still writes the jobs into the folder of
# /etc/cups/cups-pdf.conf ("Out", /root/PDF for root): the tests remove the files they make there.
# A ~/.cups/lpoptions naming a default printer would still be read: libcups has no way around it.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: must run as root (cupsd runs the cups-pdf backend as root)" >&2
    exit 2
fi

PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
# A unix socket path must fit in 108 bytes: fall back to /tmp under a long TMPDIR.
base=${TMPDIR:-/tmp}
[ ${#base} -gt 60 ] && base=/tmp
dir=$(mktemp -d "$base/with-cups.XXXXXX") || exit 1
server_pid=
command_pid=

cleanup() {
    trap - EXIT INT TERM HUP
    # The command leads its own process group: its children go with it.
    [ -n "$command_pid" ] && kill -TERM -- "-$command_pid" 2>/dev/null
    if [ -n "$server_pid" ]; then
        # A test may have left it stopped; a stopped process does not act on TERM.
        kill -CONT "$server_pid" 2>/dev/null
        if kill -TERM "$server_pid" 2>/dev/null; then
            for _ in $(seq 1 50); do
                kill -0 "$server_pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -KILL "$server_pid" 2>/dev/null
        fi
        wait "$server_pid" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The filters run as user lp: they must reach the folder.
chmod 755 "$dir"
mkdir -p "$dir/spool" "$dir/cache" "$dir/state" "$dir/tmp"
# The filters (user lp) keep their temporary files there, as in /var/spool/cups/tmp.
chgrp lp "$dir/tmp" && chmod 1770 "$dir/tmp"
cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
EOF
cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/access_log
ErrorLog $dir/error_log
PageLog $dir/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
SystemGroup root lpadmin
FileDevice Yes
EOF

export CUPS_SERVER="$dir/cups.sock"
export CUPS_SERVERROOT="$dir"
unset LPDEST PRINTER

/usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" </dev/null >"$dir/cupsd.out" 2>&1 &
server_pid=$!
export TOMBOLA_CUPSD_PID=$server_pid

ready=
for _ in $(seq 1 100); do
    kill -0 "$server_pid" 2>/dev/null || break
    if lpstat -r 2>/dev/null | grep -q "is running"; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ -z "$ready" ]; then
    echo "$0: the private cupsd did not start" >&2
    cat "$dir/cupsd.out" "$dir/error_log" 2>/dev/null >&2
    exit 1
fi

lpadmin -p PDF -v cups-pdf:/ -E -P "$PPD" 2>&1 | grep -v -i "deprecated" >&2
# The default PDF-to-PostScript step (Ghostscript) turns the text into Type 3 glyphs that
# pdftotext cannot read back; pdftocairo keeps real fonts, so the tests can check the jobs.
lpadmin -p PDF -o pdftops-renderer-default=pdftocairo || exit 1
lpadmin -d PDF || exit 1
if ! lpstat -d 2>/dev/null | grep -q "destination: PDF"; then
    echo "$0: the PDF queue did not become the private server's default" >&2
    exit 1
fi

# In the background, so a TERM to this script is acted on at once, and in a process group of its
# own (set -m), so that the whole command can be stopped.
set -m
"$@" &
command_pid=$!
set +m
wait "$command_pid"
status=$?
command_pid=
exit "$status"
