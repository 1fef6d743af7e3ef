#!/bin/sh
# Runs a command with a CUPS PDF printer "PDF" as the default printer (as root, no systemd needed):
#   scripts/with-cups.sh ctest -L printer
# Starts cupsd unless one already runs, and stops only the one it started. Print jobs land as PDF
# files in the folder named by "Out" in /etc/cups/cups-pdf.conf (/root/PDF for root).
set -u

if [ "$#" -eq 0 ]; then
    echo "usage: $0 command [args...]" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: must run as root (starts cupsd, adds a queue)" >&2
    exit 2
fi

PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
started_pid=""

stop_cupsd() {
    if [ -n "$started_pid" ]; then
        kill "$started_pid" 2>/dev/null
        # cupsd saves its state on the way out; give it a moment.
        i=0
        while kill -0 "$started_pid" 2>/dev/null && [ "$i" -lt 50 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        started_pid=""
    fi
}
trap stop_cupsd EXIT
trap 'exit 130' INT TERM

if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    mkdir -p /run/cups
    /usr/sbin/cupsd -f &
    started_pid=$!
    i=0
    until lpstat -r 2>/dev/null | grep -q "is running"; do
        i=$((i + 1))
        if [ "$i" -gt 100 ] || ! kill -0 "$started_pid" 2>/dev/null; then
            echo "$0: cupsd did not start" >&2
            exit 1
        fi
        sleep 0.1
    done
fi

# Re-running just re-creates the same queue.
lpadmin -p PDF -v cups-pdf:/ -E -P "$PPD" 2>&1 | grep -v -i "deprecated" >&2
# The default PDF-to-PostScript step (Ghostscript) turns the text into Type 3 glyphs that
# pdftotext cannot read back; pdftocairo keeps real fonts, so the tests can check the jobs.
lpadmin -p PDF -o pdftops-renderer-default=pdftocairo || exit 1
lpadmin -d PDF || exit 1
i=0
until lpstat -d 2>/dev/null | grep -q "destination: PDF"; do
    i=$((i + 1))
    if [ "$i" -gt 100 ]; then
        echo "$0: the PDF queue did not become the default" >&2
        exit 1
    fi
    sleep 0.1
done

"$@"
status=$?
exit "$status"
