#!/bin/bash
# club_server.sh: scripts/club-server.sh without a browser.
# - The real mode's files (--solo-file): Caddy and nats-server accept them (caddy validate,
#   nats-server -t, with a stand-in for the certificate Caddy would obtain), systemd-analyze accepts
#   the units, nothing public listens in the clear, the settings for the program are the servers';
#   run again it changes nothing and keeps the passwords, --nuove-password renews them; three servers
#   on one machine and three machines; the page copied; a Caddyfile serving other sites left alone.
# - The README shows the permissions the servers are given.
# - --test: the WebSocket through Caddy over TLS reaches a NATS server, and at the end no process
#   is left and no file, in the test's folder or in HOME.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script=$here/../scripts/club-server.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
name=tombola.example.org

# A stand-in for the certificate Caddy obtains from Let's Encrypt, where Caddy keeps it.
fake_certificate() {
    local dir=$1/var/lib/caddy/.local/share/caddy/certificates/acme-v02.api.letsencrypt.org-directory/$2
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" -addext "subjectAltName=DNS:$2" \
        -keyout "$dir/$2.key" -out "$dir/$2.crt" >/dev/null 2>&1 || fail "openssl made no certificate"
}
ini() { awk -F= -v s="[$2]" -v k="$3" '/^\[/ {in_s = ($0 == s)} in_s && $1 == k {sub(/^[^=]*=/, ""); gsub(/"/, ""); print}' "$1"; }
secret() { sed -n "s/^$2=//p" "$1/etc/tombola-club/segreti"; }
tree_sum() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }

# check_files ROOT SERVERS: what Caddy, nats-server and systemd make of the files under ROOT.
check_files() {
    local root=$1 servers=$2 etc=$1/etc/tombola-club conf n
    HOME=$work/caddy-home caddy validate --config "$root/etc/caddy/Caddyfile" --adapter caddyfile \
        >"$work/validate.log" 2>&1 || fail "caddy validate: $(tail -n 2 "$work/validate.log")"
    # No site in plain HTTP and HTTPS not switched off: Caddy's port 80 only redirects and answers
    # the certificate's challenges.
    grep -qE '^[[:space:]]*http://|auto_https[[:space:]]+off|tls[[:space:]]+off' "$etc/sito.caddy" "$root/etc/caddy/Caddyfile" &&
        fail "a site in plain http: $(cat "$etc/sito.caddy")"
    n=$(find "$etc" -name 'nats-[0-9].conf' | wc -l)
    [ "$n" = "$servers" ] || fail "$n NATS servers' files, not $servers"
    for conf in "$etc"/nats-[0-9].conf; do
        nats-server -t -c "$conf" >"$work/nats-t.log" 2>&1 || fail "nats-server -t $conf: $(cat "$work/nats-t.log")"
        # The phones' listener is for Caddy alone; the client port speaks TLS only.
        grep -qE '^websocket \{ listen: "127\.0\.0\.1:[0-9]+", no_tls: true \}$' "$conf" ||
            fail "$conf: the WebSocket listener is not on the loopback: $(grep websocket "$conf")"
        grep -q '^tls { cert_file: ' "$conf" || fail "$conf: no TLS on the client port"
        grep -q 'allow_non_tls' "$conf" && fail "$conf: plain connections allowed"
        grep -q '^include "nats-users.conf"$' "$conf" || fail "$conf: the users are not included"
    done
    cmp -s "$etc/nats-users.conf" "$here/../scripts/nats-users.conf" || fail "nats-users.conf is not the script's"
    mkdir -p "$work/units"
    cp "$root"/etc/systemd/system/tombola-* "$work/units/"
    systemd-analyze verify "$work/units/tombola-nats@.service" "$work/units/tombola-club-certificato.timer" \
        >"$work/verify.log" 2>&1 || fail "systemd-analyze verify: $(cat "$work/verify.log")"
    rm -rf "$work/units"
    [ "$(stat -c %a "$etc/segreti")" = 600 ] || fail "segreti is readable by others"
    [ "$(stat -c %a "$etc/lontani.ini")" = 600 ] || fail "lontani.ini is readable by others"
    # The settings for the program: what the servers are and what they accept.
    [[ $(secret "$root" BANCO_PASSWORD) =~ ^[A-Za-z0-9]{24}$ ]] || fail "the caller's password: $(secret "$root" BANCO_PASSWORD)"
    [ "$(ini "$etc/lontani.ini" server password)" = "$(secret "$root" BANCO_PASSWORD)" ] ||
        fail "lontani.ini has another caller's password"
    [ "$(ini "$etc/lontani.ini" telefoni password)" = "$(secret "$root" TELEFONO_PASSWORD)" ] ||
        fail "lontani.ini has another phones' password"
    grep -qF "BANCO_PASSWORD: \"$(secret "$root" BANCO_PASSWORD)\"" "$etc/nats-passwords.conf" ||
        fail "the servers have another caller's password"
    [ "$(ini "$etc/lontani.ini" server ca)" = "" ] || fail "a CA for a public certificate"
}

# --- One server -------------------------------------------------------------------------------------
one=$work/one
fake_certificate "$one" "$name"
bash "$script" --solo-file "$one" --nome "$name" >"$work/out" 2>&1 || fail "--solo-file: $(tail -n 5 "$work/out")"
check_files "$one" 1
[ "$(ini "$one/etc/tombola-club/lontani.ini" server indirizzi)" = "tls://$name:4222" ] ||
    fail "server address $(ini "$one/etc/tombola-club/lontani.ini" server indirizzi)"
[ "$(ini "$one/etc/tombola-club/lontani.ini" telefoni websocket)" = "wss://$name" ] || fail "phones' WebSocket"
[ "$(ini "$one/etc/tombola-club/lontani.ini" telefoni pagina)" = "https://$name/" ] || fail "page's address"
grep -q "Password del banco: *$(secret "$one" BANCO_PASSWORD)$" "$work/out" || fail "the caller is not told the password"
grep -q "La pagina dei telefoni non è ancora su questo server" "$work/out" || fail "the missing page is not told"
cmp -s "$one/etc/tombola-club/cert/$name.crt" \
    "$one/var/lib/caddy/.local/share/caddy/certificates/acme-v02.api.letsencrypt.org-directory/$name/$name.crt" ||
    fail "the NATS servers do not get Caddy's certificate"

# Again, with no option: the options and passwords of the first run, not a byte changed.
before=$(tree_sum "$one")
bash "$script" --solo-file "$one" >"$work/out" 2>&1 || fail "run again: $(tail -n 5 "$work/out")"
[ "$(tree_sum "$one")" = "$before" ] || fail "run again, it changed: $(diff <(echo "$before") <(tree_sum "$one"))"
old_caller=$(secret "$one" BANCO_PASSWORD) old_phones=$(secret "$one" TELEFONO_PASSWORD)
bash "$script" --solo-file "$one" --nuove-password >"$work/out" 2>&1 || fail "--nuove-password: $(tail -n 5 "$work/out")"
if [ "$(secret "$one" BANCO_PASSWORD)" = "$old_caller" ] || [ "$(secret "$one" TELEFONO_PASSWORD)" = "$old_phones" ]; then
    fail "--nuove-password kept the passwords"
fi
check_files "$one" 1

# The page the caller saved, copied for the site; then three servers on this machine, then one again.
mkdir -p "$work/page/vendor"
echo '<!DOCTYPE html><script src="app.js"></script>' >"$work/page/index.html"
echo '// app' >"$work/page/app.js"
echo '// nats' >"$work/page/vendor/nats_link.js"
bash "$script" --solo-file "$one" --pagina "$work/page" --server 3 >"$work/out" 2>&1 || fail "--server 3: $(tail -n 5 "$work/out")"
diff -r "$work/page" "$one/var/lib/tombola-club/sito" >/dev/null || fail "the page was not copied as it is"
grep -q "La pagina dei telefoni non è ancora" "$work/out" && fail "the page copied is said to be missing"
check_files "$one" 3
[ "$(ini "$one/etc/tombola-club/lontani.ini" server indirizzi)" = "tls://$name:4222,tls://$name:4223,tls://$name:4224" ] ||
    fail "three servers' addresses: $(ini "$one/etc/tombola-club/lontani.ini" server indirizzi)"
grep -q 'reverse_proxy 127.0.0.1:9222 127.0.0.1:9223 127.0.0.1:9224 {' "$one/etc/tombola-club/sito.caddy" ||
    fail "Caddy does not reach the three servers"
grep -c '"nats-route://rotta:' "$one/etc/tombola-club/nats-2.conf" | grep -qx 3 || fail "server 2 has not the three routes"
bash "$script" --solo-file "$one" --server 1 >"$work/out" 2>&1 || fail "--server 1: $(tail -n 5 "$work/out")"
check_files "$one" 1
[ -f "$one/var/lib/tombola-club/sito/app.js" ] || fail "the page went away with a run without --pagina"

# Three machines: the second one takes the first one's secrets.
fake_certificate "$work/a" a.example.org
fake_certificate "$work/b" b.example.org
bash "$script" --solo-file "$work/a" --nome a.example.org --macchine a.example.org,b.example.org,c.example.org \
    >"$work/out" 2>&1 || fail "--macchine on a: $(tail -n 5 "$work/out")"
bash "$script" --solo-file "$work/b" --nome b.example.org --macchine a.example.org,b.example.org,c.example.org \
    --segreti "$work/a/etc/tombola-club/segreti" >"$work/out" 2>&1 || fail "--macchine on b: $(tail -n 5 "$work/out")"
for m in a b; do
    check_files "$work/$m" 1
    grep -q '^  tls { cert_file: ' "$work/$m/etc/tombola-club/nats-1.conf" || fail "$m: routes between machines without TLS"
done
cmp -s "$work/a/etc/tombola-club/segreti" "$work/b/etc/tombola-club/segreti" || fail "the machines have different passwords"
[ "$(ini "$work/b/etc/tombola-club/lontani.ini" telefoni websocket)" = "wss://a.example.org,wss://b.example.org,wss://c.example.org" ] ||
    fail "three machines' WebSockets: $(ini "$work/b/etc/tombola-club/lontani.ini" telefoni websocket)"
[ "$(ini "$work/a/etc/tombola-club/lontani.ini" server indirizzi)" = "$(ini "$work/b/etc/tombola-club/lontani.ini" server indirizzi)" ] ||
    fail "the machines tell the caller different servers"

# A Caddyfile that serves other sites is left alone, until it imports the club's site itself.
other=$work/other
fake_certificate "$other" "$name"
mkdir -p "$other/etc/caddy"
printf 'example.net {\n\trespond "altro"\n}\n' >"$other/etc/caddy/Caddyfile"
bash "$script" --solo-file "$other" --nome "$name" >"$work/out" 2>&1 && fail "another Caddyfile was taken over"
grep -q "import $other/etc/tombola-club/sito.caddy" "$work/out" || fail "the import to add is not told: $(cat "$work/out")"
echo "import $other/etc/tombola-club/sito.caddy" >>"$other/etc/caddy/Caddyfile"
cp "$other/etc/caddy/Caddyfile" "$work/theirs"
bash "$script" --solo-file "$other" --nome "$name" >"$work/out" 2>&1 || fail "with the import: $(tail -n 5 "$work/out")"
cmp -s "$other/etc/caddy/Caddyfile" "$work/theirs" || fail "their Caddyfile was changed"

bash "$script" --solo-file "$work/ip" --nome 192.0.2.7 >"$work/out" 2>&1 && fail "an IP address taken for a name"

# --- The README's reference is what the servers get -----------------------------------------------------
readme_block=$(sed -n '/^authorization {$/,/^}$/p' "$here/../README.md")
users_block=$(sed -n '/^authorization {$/,/^}$/p' "$here/../scripts/nats-users.conf")
if [ -z "$users_block" ] || [ "$readme_block" != "$users_block" ]; then
    fail "README.md's permissions are not scripts/nats-users.conf's: $(diff <(echo "$readme_block") <(echo "$users_block"))"
fi

# --- --test: a WebSocket through Caddy to NATS, and nothing left behind -------------------------------
mkdir -p "$work/home"
# What a phone's browser does first: the upgrade over TLS, checked against Caddy's local root, and the
# first frame, the NATS server's INFO.
cat >"$work/ws.py" <<'EOF'
import base64, os, socket, ssl, struct, sys
port, ca = int(sys.argv[1]), sys.argv[2]
context = ssl.create_default_context(cafile=ca)
s = context.wrap_socket(socket.create_connection(("127.0.0.1", port), timeout=20), server_hostname="127.0.0.1")
key = base64.b64encode(os.urandom(16)).decode()
s.sendall(("GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % (port, key)).encode())
data = b""
while b"\r\n\r\n" not in data or len(data.split(b"\r\n\r\n", 1)[1]) < 2:
    chunk = s.recv(4096)
    if not chunk:
        break
    data += chunk
head, frame = data.split(b"\r\n\r\n", 1)
print(head.split(b"\r\n")[0].decode())
length = frame[1] & 0x7F
start = 2
if length == 126:
    while len(frame) < 4:
        frame += s.recv(4096)
    length, start = struct.unpack(">H", frame[2:4])[0], 4
while len(frame) < start + length:
    frame += s.recv(4096)
print(frame[start:start + length].decode(errors="replace").strip())
EOF
HOME=$work/home XDG_DATA_HOME='' XDG_CONFIG_HOME='' TMPDIR=$work bash "$script" --test -- bash -c '
    echo "$TOMBOLA_CLUB_SETTINGS $TOMBOLA_CLUB_CADDY_PID $TOMBOLA_CLUB_NATS_PIDS" >"'"$work"'/seen"
    port=${TOMBOLA_CLUB_PAGE#https://127.0.0.1:}
    python3 "'"$work"'/ws.py" "${port%/}" "$TOMBOLA_CLUB_CA"' >"$work/out" 2>&1 || fail "--test: $(tail -n 5 "$work/out")"
grep -q '^HTTP/1.1 101 Switching Protocols' "$work/out" || fail "no WebSocket through Caddy: $(tail -n 3 "$work/out")"
grep -q '^INFO {.*"server_name":"tombola-1"' "$work/out" || fail "no NATS server behind Caddy: $(tail -n 3 "$work/out")"
read -r settings pids <"$work/seen"
[ -n "$settings" ] || fail "the command did not run"
for pid in $pids; do
    kill -0 "$pid" 2>/dev/null && fail "process $pid still runs after the test"
done
[ -e "$(dirname "$settings")" ] && fail "the test's folder is still there: $(dirname "$settings")"
[ -z "$(ls -A "$work/home")" ] || fail "the test wrote into HOME: $(find "$work/home")"

if [ "$failures" -gt 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "club-server.sh: passed"
