#!/bin/bash
# phones.sh TOMBOLA_BINARY PHONES_DRIVER [SHOTS_DIR [lontani|ritardo|club]]
# A player's phone in Debian's headless Chromium against the real program under Xvfb: the driver
# switches the phones on in the window, opens the page, has a card dealt and types its code, follows
# the draw, calls the prize and sees the call on the caller's side, and reloads mid-game. Only
# 127.0.0.1 is reached; Chromium runs with a fresh profile and no background traffic.
# With "lontani", run under scripts/with-nats.sh: the program is given the private cluster in its
# settings file (a fresh XDG_CONFIG_HOME, connected at start as a caller who left it connected), the
# page is saved as static files and served by a web server of its own on 127.0.0.1, and the phone
# opens it from the link the program gives, so that it follows the game through the cluster's
# WebSocket listeners. "ritardo" is "lontani" with the video's delay at 5 s: the page must say so
# and show each number no sooner than 5 s after the program drew it.
# With "club", run under scripts/club-server.sh --test: the same through the club's server as that
# script sets it up, behind Caddy with its local CA. The program is given what the script printed for
# the caller (the same as the lontani.ini it wrote), the page is saved into the site Caddy serves, and
# Chromium trusts Caddy's root through an NSS database in a HOME of its own; nothing on the public
# side (Caddy, the NATS client ports) may answer in the clear.
set -u
bin=$1
driver=$2
shots=${3:-$(mktemp -d)}
mode=${4:-}
mkdir -p "$shots"
work=$(mktemp -d)
trace=$work/trace
fail() {
    echo "FAIL: $*"
    echo "--- the end of the program's trace:"
    tail -n 15 "$trace" 2>/dev/null
    exit 1
}

. "$(dirname "$0")/desktop.sh"
app=
browser=
site=
browser_home=
cleanup() {
    # The trace stays beside the pictures: what the program showed, for a failure's reader.
    cp "$trace" "$shots/${mode:-vicini}-trace.txt" 2>/dev/null
    [ -n "$browser" ] && kill "$browser" 2>/dev/null
    [ -n "$site" ] && kill "$site" 2>/dev/null
    [ -n "$app" ] && kill "$app" 2>/dev/null
    stop_desktop
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
start_desktop
# Ports of this script's own listeners, none that the servers it runs under already hold.
# shellcheck source=scripts/free-ports.sh
. "$(dirname "$0")/../../scripts/free-ports.sh"

if [ "$mode" = lontani ] || [ "$mode" = ritardo ]; then
    [ -n "${TOMBOLA_NATS_URLS:-}" ] || fail "run it under scripts/with-nats.sh"
    # Browsers refuse ES modules from file:// pages, so the page is served over HTTP, as a club would.
    "$driver" --save-page "$work/site" || fail "the page was not saved"
    free_port site_port
    python3 -m http.server "$site_port" --bind 127.0.0.1 --directory "$work/site" >"$work/site.log" 2>&1 &
    site=$!
    site_up() { (exec 3<>"/dev/tcp/127.0.0.1/$site_port") 2>/dev/null; }
    wait_for 30 "the web server of the saved page" site_up
    mkdir -p "$work/config/tombola"
    cat >"$work/config/tombola/lontani.ini" <<EOF
[General]
attivo=true

[server]
indirizzi="$TOMBOLA_NATS_URLS"
utente=$TOMBOLA_NATS_CALLER_USER
password=$TOMBOLA_NATS_CALLER_PASSWORD

[telefoni]
websocket="$TOMBOLA_NATS_WS_URLS"
utente=$TOMBOLA_NATS_PHONE_USER
password=$TOMBOLA_NATS_PHONE_PASSWORD
pagina=http://127.0.0.1:$site_port/
EOF
    [ "$mode" = ritardo ] && echo "ritardo=5" >>"$work/config/tombola/lontani.ini"
fi

if [ "$mode" = club ]; then
    [ -n "${TOMBOLA_CLUB_SETTINGS:-}" ] || fail "run it under scripts/club-server.sh --test"
    "$driver" --save-page "$TOMBOLA_CLUB_SITE" || fail "the page was not saved"
    page_served() { curl -fsS --cacert "$TOMBOLA_CLUB_CA" "$TOMBOLA_CLUB_PAGE" 2>/dev/null | grep -q 'app\.js'; }
    wait_for 30 "the saved page on the club's site over https" page_served

    # The public side speaks only TLS. Caddy listens on the site's port alone (no HTTP port, no admin
    # endpoint, no HTTP/3 over UDP), and a plain HTTP request there gets no page.
    site_port=${TOMBOLA_CLUB_PAGE#https://127.0.0.1:}
    site_port=${site_port%/}
    caddy_sockets=$(ss -Hltunp | grep "pid=$TOMBOLA_CLUB_CADDY_PID," | awk '{print $1, $5}' | sort -u | tr '\n' ' ')
    [ "$caddy_sockets" = "tcp 127.0.0.1:$site_port " ] || fail "Caddy listens on: $caddy_sockets"
    plain=$(curl -s -w ' %{http_code}' "http://127.0.0.1:$site_port/" | tr -d '\n')
    case $plain in *app.js* | *" 200") fail "the site answered plain http: $plain" ;; esac
    # The NATS servers' client ports require TLS before anything else.
    for url in ${TOMBOLA_CLUB_NATS_URLS//,/ }; do
        port=${url##*:}
        info=$(timeout 10 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port; head -n 1 <&3") || fail "no INFO on $port"
        case $info in *'"tls_required":true'*) ;; *) fail "the client port $port does not require TLS: $info" ;; esac
    done
    echo "public side: Caddy on https://127.0.0.1:$site_port only (plain http: $plain), NATS client ports TLS only"

    # The caller types what the script printed; it is what the script wrote into lontani.ini too.
    printed() {
        local v
        v=$(sed -n "s/^  $1:[[:space:]]*//p" "$TOMBOLA_CLUB_TEXT" | head -n 1)
        [ "$v" = "(lascia vuoto)" ] && v=
        echo "$v"
    }
    written() { awk -F= -v s="[$1]" -v k="$2" '/^\[/ {in_s = ($0 == s)} in_s && $1 == k {sub(/^[^=]*=/, ""); gsub(/"/, ""); print}' "$TOMBOLA_CLUB_SETTINGS"; }
    for pair in "Server NATS|server|indirizzi" "Utente del banco|server|utente" "Password del banco|server|password" \
        "Certificato CA (TLS)|server|ca" "WebSocket per i telefoni|telefoni|websocket" \
        "Utente dei telefoni|telefoni|utente" "Password dei telefoni|telefoni|password" \
        "Indirizzo della pagina|telefoni|pagina"; do
        IFS='|' read -r label section key <<<"$pair"
        value=$(printed "$label")
        [ -n "$value" ] || [ "$key" = ca ] || fail "the script printed no \"$label\""
        [ "$value" = "$(written "$section" "$key")" ] ||
            fail "\"$label\" printed as \"$value\", written as \"$(written "$section" "$key")\""
    done
    mkdir -p "$work/config/tombola"
    cat >"$work/config/tombola/lontani.ini" <<EOF
[General]
attivo=true

[server]
indirizzi="$(printed "Server NATS")"
utente=$(printed "Utente del banco")
password=$(printed "Password del banco")
ca=$(printed "Certificato CA (TLS)")
credenziali=$(printed "File di credenziali")

[telefoni]
websocket="$(printed "WebSocket per i telefoni")"
utente=$(printed "Utente dei telefoni")
password=$(printed "Password dei telefoni")
pagina=$(printed "Indirizzo della pagina")
EOF

    # Chromium trusts Caddy's local root as a user's own authority: an NSS database in its HOME.
    browser_home=$work/home
    mkdir -p "$browser_home/.pki/nssdb"
    certutil -d "sql:$browser_home/.pki/nssdb" -N --empty-password || fail "certutil could not make the NSS database"
    certutil -d "sql:$browser_home/.pki/nssdb" -A -n "Caddy local root" -t "C,," -i "$TOMBOLA_CLUB_CA" ||
        fail "certutil could not add Caddy's root"
fi

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" TOMBOLA_TRACE="$trace" "$bin" >"$work/log" 2>&1 &
app=$!
win=$(timeout 60 xdotool search --sync --onlyvisible --name 'TOMBOLA' | head -n 1) || fail "no window"
wait_trace 60 "the end of start-up (its clips played)" '^pronto$'

# A port for DevTools, on the loopback only.
free_port port
HOME=${browser_home:-$HOME} chromium --headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-default-apps --disable-extensions \
    --user-data-dir="$work/profile" --remote-debugging-address=127.0.0.1 --remote-debugging-port="$port" \
    --window-size=412,915 about:blank >"$work/chromium.log" 2>&1 &
browser=$!

"$driver" "$port" "$trace" "$win" "$shots" $mode
rc=$?
kill -0 "$app" 2>/dev/null || { tail -n 20 "$work/log"; fail "the program died"; }
if [ "$rc" -ne 0 ]; then
    tail -n 20 "$work/log"
    echo "--- the end of the program's trace:"
    grep -v '^clip' "$trace" | tail -n 15
    exit "$rc"
fi
if [ "$mode" = lontani ] || [ "$mode" = ritardo ] || [ "$mode" = club ]; then
    if grep -q "^lontani giù" "$trace"; then
        fail "the evening stopped reaching the NATS server: $(grep "^lontani giù" "$trace")"
    fi
else
    # Switched off: the port is closed.
    xdotool mousemove --window "$win" 736 256 click 1
    wait_trace 60 "the phones to switch off" '^telefoni spenti'
fi
wmctrl -i -c "$(printf '0x%x' "$win")"
gone() { ! kill -0 "$app" 2>/dev/null; }
wait_for 30 "the program to end after its window was closed" gone
app=
case $mode in
lontani) echo "phones far away under Xvfb: passed" ;;
ritardo) echo "phones far away behind the video under Xvfb: passed" ;;
club) echo "phones through the club's server under Xvfb: passed" ;;
*) echo "phones under Xvfb: passed" ;;
esac
