#!/bin/bash
# club-server.sh: the club's server for the relatives far away, in one command.
#
# As root on a Debian 12 machine with a public name (its DNS pointing to it, ports 80, 443 and 4222
# open):
#   bash scripts/club-server.sh --nome tombola.example.org [--server 3] [--pagina FOLDER] [--email ADDR]
# installs Debian's nats-server and caddy; writes one NATS server (or three on this machine) with
# JetStream, its client port on TLS with the certificate Caddy obtains, its WebSocket listener on the
# loopback only, and the users of scripts/nats-users.conf with random passwords; a Caddy site that
# serves the phones' page and proxies the WebSocket under the same name; starts them as system
# services (tombola-nats@N, caddy); prints what to type in the program's "Parenti lontani" dialog and
# writes it into /etc/tombola-club/istruzioni.txt and, in the program's own settings format, into
# /etc/tombola-club/lontani.ini. Safe to run again, with or without the options: what it wrote is
# kept, passwords included, unless --nuove-password.
# Three machines: the same command on each, with --macchine a,b,c (this one among them) and, on the
# second and the third, the first's /etc/tombola-club/segreti copied over and given with --segreti.
#
# --test [--server 1|3] [-- COMMAND ARGS...]: the same servers on free 127.0.0.1 ports under a
# temporary folder, with Caddy's own local CA (tls internal), in the foreground; nothing of the
# host's services or trust store changes, and everything is stopped and removed at the end. Runs
# COMMAND with the settings in TOMBOLA_CLUB_* (see below), or waits for Ctrl+C without one.
# --solo-file DIR: the real mode's files written under DIR, nothing installed, started or waited for
# (what the tests check the real mode's configuration with).
# --certificato: what the daily timer runs, a certificate Caddy renewed copied for the NATS servers.
#
# Exported to COMMAND in --test:
#   TOMBOLA_CLUB_SETTINGS   the lontani.ini written for the program (its CA: Caddy's local root)
#   TOMBOLA_CLUB_TEXT       what was printed for the caller
#   TOMBOLA_CLUB_SITE       the folder the site serves: the page is saved there
#   TOMBOLA_CLUB_PAGE       https://127.0.0.1:<port>/, TOMBOLA_CLUB_CA the root Caddy signs with
#   TOMBOLA_CLUB_NATS_URLS  tls://127.0.0.1:p1[,...], the servers' client ports
#   TOMBOLA_CLUB_CADDY_PID, TOMBOLA_CLUB_NATS_PIDS (space-separated)
set -u
here=$(cd "$(dirname "$0")" && pwd)

usage() {
    cat <<'EOF'
usage: club-server.sh --nome NAME [--server 1|3] [--macchine A,B,C [--segreti FILE]]
                      [--pagina FOLDER] [--email ADDRESS] [--nuove-password]
       club-server.sh --test [--server 1|3] [-- COMMAND ARGS...]
       club-server.sh --solo-file DIR --nome NAME [other options as above]
EOF
    exit "$1"
}

mode=real
name='' servers='' machines='' secrets_from='' page='' email='' renew='' root=''
while [ $# -gt 0 ]; do
    case $1 in
    --test) mode="test" ;;
    --solo-file) mode=files root=${2:?}; shift ;;
    --nome) name=${2:?}; shift ;;
    --server) servers=${2:?}; shift ;;
    --macchine) machines=${2:?}; shift ;;
    --segreti) secrets_from=${2:?}; shift ;;
    --pagina) page=${2:?}; shift ;;
    --email) email=${2:?}; shift ;;
    --nuove-password) renew=1 ;;
    --certificato) mode=certificate ;;
    --) shift; break ;;
    -h | --help) usage 0 ;;
    *) usage 2 ;;
    esac
    shift
done
[ "$mode" = test ] || [ $# -eq 0 ] || usage 2
[ "$mode" != test ] || [ -z "$name$machines$secrets_from$page$email$renew" ] || usage 2

# What the volunteer reads is Italian; what a developer reads in --test, English.
die() {
    echo "club-server.sh: $*" >&2
    exit 1
}

# Passwords of letters and digits only: they go unquoted into URLs, INI files and NATS's own files.
random_password() { tr -dc 'A-Za-z0-9' </dev/urandom 2>/dev/null | head -c 24; }

# secrets_read FILE: the KEY=VALUE lines of a secrets file, checked, into the variables of the same
# names (never sourced: on the second machine the file comes from elsewhere).
secrets_read() {
    local key value
    while IFS='=' read -r key value; do
        case $key in BANCO_PASSWORD | TELEFONO_PASSWORD | ROTTE_PASSWORD) ;; *) continue ;; esac
        [[ $value =~ ^[A-Za-z0-9]{16,}$ ]] || die "$1: $key non valida"
        printf -v "$key" '%s' "$value"
    done <"$1"
}

# copy_if_changed SOURCE DEST MODE [GROUP]: true when DEST was written (it differed or was missing).
copy_if_changed() {
    if [ -f "$2" ] && cmp -s "$1" "$2"; then return 1; fi
    install -m "$3" ${4:+-g "$4"} "$1" "$2.nuovo" && mv -f "$2.nuovo" "$2"
}
# write_if_changed DEST MODE [GROUP] < CONTENT: the same, from standard input.
write_if_changed() {
    local tmp
    tmp=$(mktemp) || return 2
    cat >"$tmp"
    copy_if_changed "$tmp" "$@"
    local status=$?
    rm -f "$tmp"
    return "$status"
}

# --- The configuration, the same in every mode ------------------------------------------------------
# Set before these are called: the site's address ($site, "host" or "host:port"), the servers'
# arrays (client listen address, WebSocket listen port, cluster listen address or empty, names,
# stores), $routes, $route_tls, the certificate's files, the passwords.

# nats_conf I: server I's configuration.
nats_conf() {
    local i=$1 r
    echo "# Written by club-server.sh: run it again rather than editing this file."
    echo "server_name: \"${nats_name[$i]}\""
    echo "listen: \"${nats_listen[$i]}\""
    [ -n "${nats_pid_file[$i]:-}" ] && echo "pid_file: \"${nats_pid_file[$i]}\""
    # The caller's password crosses the internet: the client port speaks TLS only.
    echo "tls { cert_file: \"$cert_file\", key_file: \"$key_file\", timeout: 3 }"
    echo "jetstream { store_dir: \"${nats_store[$i]}\", max_memory_store: $js_memory, max_file_store: $js_file }"
    # The phones' port is for Caddy alone, which speaks TLS to the browsers.
    echo "websocket { listen: \"127.0.0.1:${nats_ws[$i]}\", no_tls: true }"
    if [ -n "${nats_cluster[$i]}" ]; then
        echo "cluster {"
        echo "  name: tombola"
        echo "  listen: \"${nats_cluster[$i]}\""
        # The addresses clients are told of would be this machine's, not its name: the certificate's.
        echo "  no_advertise: true"
        echo "  authorization { user: rotta, password: \"$ROTTE_PASSWORD\", timeout: 3 }"
        [ -n "$route_tls" ] && echo "  tls { cert_file: \"$cert_file\", key_file: \"$key_file\", timeout: 3 }"
        echo "  routes: ["
        for r in $routes; do
            echo "    \"nats-route://rotta:$ROTTE_PASSWORD@$r\""
        done
        echo "  ]"
        echo "}"
    fi
    echo "max_connections: 10000"
    echo "include \"nats-users.conf\""
}

nats_passwords() {
    echo "BANCO_PASSWORD: \"$BANCO_PASSWORD\""
    echo "TELEFONO_PASSWORD: \"$TELEFONO_PASSWORD\""
}

# caddy_site SITE_OPTIONS: the site on $site, the phones' page from $site_root, the WebSocket to this
# machine's NATS servers. Nothing is served in plain HTTP.
caddy_site() {
    local i upstreams=
    for i in "${!nats_ws[@]}"; do
        upstreams="$upstreams 127.0.0.1:${nats_ws[$i]}"
    done
    cat <<EOF
# Written by club-server.sh: run it again rather than editing this file.
$site {
$1
	# Browsers that came once never try plain HTTP on this name again.
	header Strict-Transport-Security "max-age=31536000"
	# A WebSocket under the same name goes to a NATS server of this machine (to another one
	# when a server does not answer); everything else is the phones' page.
	@nats {
		header Connection *Upgrade*
		header Upgrade websocket
	}
	handle @nats {
		reverse_proxy$upstreams {
			lb_try_duration 5s
			fail_duration 30s
		}
	}
	handle {
		root * $site_root
		# A page saved again reaches the phones at their next load.
		header Cache-Control no-cache
		file_server
	}
}
EOF
}

# caddyfile GLOBAL_OPTIONS SITE_FILE: Caddy's whole configuration, the site imported from its file.
caddyfile() {
    cat <<EOF
# Written by club-server.sh: run it again rather than editing this file.
{
$1
	servers {
		protocols h1 h2
	}
}

import $2
EOF
}

# settings_ini CA: what the program reads from ~/.config/tombola/lontani.ini (ui/remote_ui.cpp).
settings_ini() {
    cat <<EOF
[General]
attivo=true

[server]
indirizzi="$caller_urls"
utente=banco
password=$BANCO_PASSWORD
ca=$1

[telefoni]
websocket="$phone_urls"
utente=telefono
password=$TELEFONO_PASSWORD
pagina=$page_url
EOF
}

# instructions CA WHERE_INI: what the caller types in the dialog, its labels as the dialog shows them.
instructions() {
    local ca=${1:-(lascia vuoto)}
    cat <<EOF
Il server del circolo per i parenti lontani è pronto.

Sul computer del banco, nel programma, apri «Parenti lontani» (Maiusc+F8) e scrivi:
  Server NATS:               $caller_urls
  Utente del banco:          banco
  Password del banco:        $BANCO_PASSWORD
  File di credenziali:       (lascia vuoto)
  Certificato CA (TLS):      $ca
  WebSocket per i telefoni:  $phone_urls
  Utente dei telefoni:       telefono
  Password dei telefoni:     $TELEFONO_PASSWORD
  Indirizzo della pagina:    $page_url
poi premi «Collega».

Le stesse impostazioni sono nel file $2, nel formato del programma: prima di una
serata nuova lo si può copiare così com'è nella cartella ~/.config/tombola/ del computer del banco
(prende il posto delle impostazioni per i parenti lontani che ci fossero già).

La password del banco resta segreta: serve solo al programma. Quella dei telefoni va nel
collegamento che il programma dà ai telefoni, e con essa si può solo seguire la serata e chiamare.
EOF
}

# The certificate's files as Caddy keeps them, for `name` from `issuer`.
caddy_certificate() { echo "$caddy_storage/certificates/$1/$2/$2"; }

listening() { (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; }

# wait_until SECONDS COMMAND...: true as soon as COMMAND is, false once SECONDS have passed.
wait_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# --- --test: everything on 127.0.0.1 under a temporary folder, in the foreground ---------------------
run_test() {
    local cmd
    for cmd in nats-server caddy curl; do
        command -v "$cmd" >/dev/null || die "$cmd is missing (bash scripts/deps.sh test installs it)"
    done
    servers=${servers:-1}
    [ "$servers" = 1 ] || [ "$servers" = 3 ] || usage 2
    dir=$(mktemp -d "${TMPDIR:-/tmp}/club-server.XXXXXX") || exit 1
    command_pid='' caddy_pid=''
    # shellcheck disable=SC2317 # called by the trap
    cleanup() {
        trap - EXIT INT TERM HUP
        [ -n "$command_pid" ] && kill -TERM -- "-$command_pid" 2>/dev/null
        local pid
        for pid in "${nats_pid[@]}" $caddy_pid; do
            kill -TERM "$pid" 2>/dev/null
        done
        for pid in "${nats_pid[@]}" $caddy_pid; do
            wait_until 5 eval "! kill -0 $pid 2>/dev/null" || kill -KILL "$pid" 2>/dev/null
        done
        wait 2>/dev/null
        rm -rf "$dir"
    }
    declare -ga nats_pid=()
    trap cleanup EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM

    # shellcheck source=scripts/free-ports.sh
    . "$here/free-ports.sh"
    BANCO_PASSWORD=$(random_password) TELEFONO_PASSWORD=$(random_password) ROTTE_PASSWORD=$(random_password)
    local site_port i
    free_port site_port
    site=https://127.0.0.1:$site_port
    site_root=$dir/sito
    mkdir -p "$site_root" "$dir/home" "$dir/data" "$dir/config"
    caddy_storage=$dir/data/caddy
    declare -ga nats_name=() nats_listen=() nats_ws=() nats_cluster=() nats_store=() nats_pid_file=()
    local -a client route
    for ((i = 1; i <= servers; i++)); do
        free_port "client[$i]"
        free_port "nats_ws[$i]"
        [ "$servers" = 3 ] && free_port "route[$i]"
    done
    routes='' caller_urls=''
    for ((i = 1; i <= servers; i++)); do
        nats_name[i]=tombola-$i
        nats_listen[i]=127.0.0.1:${client[i]}
        nats_store[i]=$dir/js$i
        nats_pid_file[i]=$dir/nats-$i.pid
        nats_cluster[i]=${route[i]:+127.0.0.1:${route[i]}}
        [ -n "${route[i]:-}" ] && routes="$routes 127.0.0.1:${route[i]}"
        caller_urls="$caller_urls${caller_urls:+,}tls://127.0.0.1:${client[i]}"
    done
    route_tls='' js_memory=64MB js_file=256MB
    phone_urls=wss://127.0.0.1:$site_port
    page_url=https://127.0.0.1:$site_port/

    # Caddy first: its local CA signs the certificate the NATS servers present too. Its data and
    # configuration stay in this folder; no admin endpoint, no trust store touched, no HTTP port.
    caddy_site "	bind 127.0.0.1
	tls internal" >"$dir/sito.caddy"
    caddyfile "	admin off
	skip_install_trust
	auto_https disable_redirects
	storage file_system $caddy_storage" "$dir/sito.caddy" >"$dir/Caddyfile"
    HOME=$dir/home XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config \
        caddy run --config "$dir/Caddyfile" --adapter caddyfile </dev/null >"$dir/caddy.log" 2>&1 &
    caddy_pid=$!
    local issued ca
    issued=$(caddy_certificate local 127.0.0.1)
    ca=$caddy_storage/pki/authorities/local/root.crt
    # Deadlines for a machine busy with builds; each wait ends as soon as its thing is there.
    if ! wait_until 60 test -s "$issued.key" -a -s "$ca"; then
        tail -n 20 "$dir/caddy.log" >&2
        die "Caddy issued no certificate for 127.0.0.1"
    fi
    mkdir -p "$dir/cert"
    cert_file=$dir/cert/server.crt key_file=$dir/cert/server.key
    copy_if_changed "$issued.crt" "$cert_file" 0644
    copy_if_changed "$issued.key" "$key_file" 0600

    cp "$here/nats-users.conf" "$dir/nats-users.conf" || exit 1
    nats_passwords >"$dir/nats-passwords.conf"
    for ((i = 1; i <= servers; i++)); do
        nats_conf "$i" >"$dir/nats-$i.conf"
        nats-server -c "$dir/nats-$i.conf" </dev/null >"$dir/nats-$i.log" 2>&1 &
        nats_pid[i]=$!
    done
    # shellcheck disable=SC2317 # called by wait_until
    all_up() {
        local j
        for ((j = 1; j <= servers; j++)); do
            listening 127.0.0.1 "${client[j]}" && listening 127.0.0.1 "${nats_ws[j]}" || return 1
            if [ "$servers" = 3 ]; then grep -q "Route connection created" "$dir/nats-$j.log" || return 1; fi
        done
        curl -s -o /dev/null --cacert "$ca" "$page_url"
    }
    if ! wait_until 60 all_up; then
        tail -n 20 "$dir"/*.log >&2
        die "the servers did not start"
    fi

    settings_ini "$ca" >"$dir/lontani.ini"
    instructions "$ca" "$dir/lontani.ini" >"$dir/istruzioni.txt"
    cat "$dir/istruzioni.txt"
    export TOMBOLA_CLUB_SETTINGS=$dir/lontani.ini TOMBOLA_CLUB_TEXT=$dir/istruzioni.txt
    export TOMBOLA_CLUB_SITE=$site_root TOMBOLA_CLUB_PAGE=$page_url TOMBOLA_CLUB_CA=$ca
    export TOMBOLA_CLUB_NATS_URLS=$caller_urls TOMBOLA_CLUB_CADDY_PID=$caddy_pid
    TOMBOLA_CLUB_NATS_PIDS=${nats_pid[*]}
    export TOMBOLA_CLUB_NATS_PIDS
    if [ $# -eq 0 ]; then
        echo "(test servers in $dir: Ctrl+C stops them)"
        wait "$caddy_pid"
        exit 1
    fi
    set -m
    "$@" &
    command_pid=$!
    set +m
    wait "$command_pid"
    local status=$?
    command_pid=
    exit "$status"
}

# --- The real mode (and --solo-file, its files alone) -------------------------------------------------
# Every path under $root: empty for the real machine.
etc_dir() { echo "$root/etc/tombola-club"; }

load_or_make_secrets() {
    local file
    file=$(etc_dir)/segreti
    BANCO_PASSWORD='' TELEFONO_PASSWORD='' ROTTE_PASSWORD=''
    if [ -n "$secrets_from" ]; then
        [ -r "$secrets_from" ] || die "non trovo il file dei segreti $secrets_from"
        secrets_read "$secrets_from"
    elif [ -f "$file" ] && [ -z "$renew" ]; then
        secrets_read "$file"
    fi
    [ -n "$BANCO_PASSWORD" ] || BANCO_PASSWORD=$(random_password)
    [ -n "$TELEFONO_PASSWORD" ] || TELEFONO_PASSWORD=$(random_password)
    [ -n "$ROTTE_PASSWORD" ] || ROTTE_PASSWORD=$(random_password)
    printf 'BANCO_PASSWORD=%s\nTELEFONO_PASSWORD=%s\nROTTE_PASSWORD=%s\n' \
        "$BANCO_PASSWORD" "$TELEFONO_PASSWORD" "$ROTTE_PASSWORD" | write_if_changed "$file" 0600
    true
}

# The options of the first run, kept for the next ones and for the certificate's daily copy.
load_options() {
    local file key value
    file=$(etc_dir)/club.conf
    [ -f "$file" ] || return 0
    while IFS='=' read -r key value; do
        case $key in
        NOME) name=${name:-$value} ;;
        SERVER) servers=${servers:-$value} ;;
        MACCHINE) machines=${machines:-$value} ;;
        EMAIL) email=${email:-$value} ;;
        esac
    done <"$file"
}

# A public name, with a dot, and not an IP address (no certificate authority signs those for Caddy).
valid_name() {
    [[ $1 =~ ^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)+$ ]] &&
        [[ ! ${1##*.} =~ ^[0-9]+$ ]]
}

# Caddy's own user keeps its certificates there (Debian's caddy.service runs as caddy, home /var/lib/caddy).
real_paths() {
    caddy_storage=$root/var/lib/caddy/.local/share/caddy
    site_root=$root/var/lib/tombola-club/sito
    cert_file=$(etc_dir)/cert/$name.crt
    key_file=$(etc_dir)/cert/$name.key
}

# The newest certificate Caddy keeps for $name, whichever ACME authority gave it (Let's Encrypt, or
# ZeroSSL when Let's Encrypt fails): its path without .crt/.key.
issued_certificate() {
    local newest
    newest=$(find "$caddy_storage/certificates" -mindepth 3 -maxdepth 3 -path "*/$name/$name.key" \
        -printf '%T@ %p\n' 2>/dev/null | sort -rn | head -n 1 | cut -d' ' -f2-)
    [ -n "$newest" ] && [ -s "${newest%.key}.crt" ] && echo "${newest%.key}"
}

# Copies that certificate where the NATS servers read it; true when it changed.
copy_certificate() {
    local issued changed=1 group=
    issued=$(issued_certificate) || return 1
    [ -z "$root" ] && group=nats
    install -d -m 0750 ${group:+-g "$group"} "$(etc_dir)/cert"
    copy_if_changed "$issued.crt" "$cert_file" 0640 $group && changed=0
    copy_if_changed "$issued.key" "$key_file" 0640 $group && changed=0
    return "$changed"
}

# The daily run of the timer: a certificate Caddy renewed reaches the NATS servers.
run_certificate() {
    load_options
    [ -n "$name" ] || die "nessun server del circolo su questa macchina"
    real_paths
    if copy_certificate; then
        systemctl reload 'tombola-nats@*.service' && echo "certificato nuovo per $name: server NATS ricaricati"
    fi
    exit 0
}

nats_unit() {
    cat <<'EOF'
# Written by club-server.sh. One NATS server of the tombola club: nats-%i.conf.
[Unit]
Description=NATS server %i of the tombola club
Documentation=file:///etc/tombola-club/istruzioni.txt
After=network-online.target
Wants=network-online.target

[Service]
Type=simple
User=nats
Group=nats
ExecStart=/usr/sbin/nats-server -c /etc/tombola-club/nats-%i.conf
ExecReload=/bin/kill -s HUP $MAINPID
KillSignal=SIGINT
Restart=on-failure
RestartSec=2
StateDirectory=tombola-club/nats-%i
LimitNOFILE=65536
PrivateTmp=true
ProtectSystem=full
ProtectHome=true
NoNewPrivileges=true

[Install]
WantedBy=multi-user.target
EOF
}

certificate_units() {
    cat >"$1.service" <<'EOF'
# Written by club-server.sh: the certificate Caddy renews, copied for the NATS servers.
[Unit]
Description=Certificate of the tombola club for its NATS servers
After=caddy.service

[Service]
Type=oneshot
ExecStart=/bin/bash /usr/local/lib/tombola-club/club-server.sh --certificato
EOF
    cat >"$1.timer" <<'EOF'
# Written by club-server.sh. Caddy renews a month before the end: once a day is early enough.
[Unit]
Description=Daily copy of the tombola club's certificate for its NATS servers

[Timer]
OnCalendar=daily
RandomizedDelaySec=1h
Persistent=true

[Install]
WantedBy=timers.target
EOF
}

# /etc/caddy/Caddyfile is the package's; it is ours to write only when unchanged from Debian's, or
# written by this script before.
caddyfile_is_ours() {
    local file=$1 shipped
    [ -f "$file" ] || return 0
    head -n 1 "$file" | grep -q '^# Written by club-server.sh' && return 0
    [ -n "$root" ] && return 1
    shipped=$(dpkg-query -W -f='${Conffiles}\n' caddy 2>/dev/null | awk '$1 == "/etc/caddy/Caddyfile" {print $2}')
    [ -n "$shipped" ] && [ "$(md5sum <"$file" | cut -d' ' -f1)" = "$shipped" ]
}

run_real() {
    local i etc
    if [ -z "$root" ]; then
        [ "$(id -u)" = 0 ] || die "va eseguito come root (sudo bash $0 ...)"
        grep -q '^VERSION_CODENAME=bookworm' /etc/os-release 2>/dev/null ||
            echo "club-server.sh: attenzione, questa macchina non è una Debian 12: provo lo stesso" >&2
    else
        mkdir -p "$root" && root=$(cd "$root" && pwd)
    fi
    load_options
    [ -n "$name" ] || usage 2
    valid_name "$name" || die "«$name» non è un nome di dominio (serve il nome pubblico della macchina, non un indirizzo IP)"
    [ -z "$email" ] || [[ $email =~ ^[^@[:space:]]+@[^@[:space:]]+$ ]] || die "«$email» non è un indirizzo di posta"
    local -a peers=()
    if [ -n "$machines" ]; then
        IFS=',' read -r -a peers <<<"$machines"
        [ ${#peers[@]} = 3 ] || die "--macchine vuole i nomi delle tre macchine, separati da virgole"
        local found=
        for i in "${peers[@]}"; do
            valid_name "$i" || die "«$i» non è un nome di dominio"
            [ "$i" = "$name" ] && found=1
        done
        [ -n "$found" ] || die "--nome ($name) deve essere una delle tre --macchine"
        [ -z "$servers" ] || [ "$servers" = 1 ] || die "con --macchine ogni macchina ha un server solo"
        servers=1
    fi
    servers=${servers:-1}
    [ "$servers" = 1 ] || [ "$servers" = 3 ] || die "--server vuole 1 oppure 3"
    [ -z "$page" ] || { [ -f "$page/index.html" ] && [ -f "$page/app.js" ]; } ||
        die "$page non è la cartella della pagina (manca index.html o app.js): la si salva dal programma con «Salva la pagina per il sito...»"

    if [ -z "$root" ]; then
        local -a missing=()
        for i in nats-server caddy curl ca-certificates; do
            dpkg-query -W -f='${Status}' "$i" 2>/dev/null | grep -q "install ok installed" || missing+=("$i")
        done
        if [ ${#missing[@]} -gt 0 ]; then
            echo "Installo ${missing[*]}..."
            if ! DEBIAN_FRONTEND=noninteractive apt-get update -qq ||
                ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
                die "apt-get non è riuscito a installare ${missing[*]}"
            fi
        fi
    fi

    etc=$(etc_dir)
    mkdir -p "$etc" "$root/etc/caddy" "$root/etc/systemd/system" "$root/usr/local/lib/tombola-club"
    chmod 0755 "$etc"
    real_paths
    load_or_make_secrets
    printf 'NOME=%s\nSERVER=%s\nMACCHINE=%s\nEMAIL=%s\n' "$name" "$servers" "$machines" "$email" |
        write_if_changed "$etc/club.conf" 0644
    # The script and what it reads, where the certificate's timer runs it and where a later run finds them.
    for i in club-server.sh nats-users.conf free-ports.sh; do
        copy_if_changed "$here/$i" "$root/usr/local/lib/tombola-club/$i" 0644
    done

    # The site: the page the caller saved, or a word that it is still to come.
    install -d -m 0755 "$site_root"
    if [ -n "$page" ]; then
        rm -rf "$site_root.nuovo" "$site_root.vecchio"
        if ! cp -r "$page" "$site_root.nuovo" || ! chmod -R a+rX "$site_root.nuovo" ||
            ! mv "$site_root" "$site_root.vecchio" || ! mv "$site_root.nuovo" "$site_root"; then
            die "non sono riuscito a copiare la pagina in $site_root"
        fi
        rm -rf "$site_root.vecchio"
    elif [ ! -f "$site_root/index.html" ]; then
        cat >"$site_root/index.html" <<'EOF'
<!DOCTYPE html>
<html lang="it"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width">
<title>Tombola</title></head>
<body><p>La pagina della tombola non è ancora stata caricata su questo server.</p></body></html>
EOF
        chmod 0644 "$site_root/index.html"
    fi

    declare -ga nats_name=() nats_listen=() nats_ws=() nats_cluster=() nats_store=() nats_pid_file=()
    routes='' route_tls='' caller_urls='' phone_urls='' js_memory=256MB js_file=1GB
    site=$name
    for ((i = 1; i <= servers; i++)); do
        nats_ws[i]=$((9221 + i))
        nats_store[i]=$root/var/lib/tombola-club/nats-$i
        if [ ${#peers[@]} = 3 ]; then
            nats_name[i]=$name
            nats_listen[i]=0.0.0.0:4222
            nats_cluster[i]=0.0.0.0:6222
        else
            nats_name[i]=tombola-$i
            nats_listen[i]=0.0.0.0:$((4221 + i))
            nats_cluster[i]=
            [ "$servers" = 3 ] && nats_cluster[i]=127.0.0.1:$((6221 + i)) routes="$routes 127.0.0.1:$((6221 + i))"
            caller_urls="$caller_urls${caller_urls:+,}tls://$name:$((4221 + i))"
        fi
    done
    if [ ${#peers[@]} = 3 ]; then
        # Between machines the routes cross the internet: TLS with each machine's certificate.
        route_tls=1
        for i in "${peers[@]}"; do
            routes="$routes $i:6222"
            caller_urls="$caller_urls${caller_urls:+,}tls://$i:4222"
            phone_urls="$phone_urls${phone_urls:+,}wss://$i"
        done
        page_url=https://${peers[0]}/
    else
        phone_urls=wss://$name
        page_url=https://$name/
    fi

    local caddy_changed=
    # The site in a file of its own: a Caddyfile that serves other sites too takes it with one import.
    caddy_site "" | write_if_changed "$etc/sito.caddy" 0644 && caddy_changed=1
    local global="	storage file_system $caddy_storage"
    [ -n "$email" ] && global="$global
	email $email"
    if caddyfile_is_ours "$root/etc/caddy/Caddyfile"; then
        caddyfile "$global" "$etc/sito.caddy" | write_if_changed "$root/etc/caddy/Caddyfile" 0644 &&
            caddy_changed=1
    elif ! grep -qx "[[:space:]]*import $etc/sito.caddy" "$root/etc/caddy/Caddyfile"; then
        die "/etc/caddy/Caddyfile serve già altri siti e non lo cambio: aggiungi in fondo la riga
  import $etc/sito.caddy
poi esegui di nuovo questo comando."
    fi
    if [ -z "$root" ]; then
        # Checked as Caddy's own user, so that nothing in its folder comes to belong to root.
        runuser -u caddy -- env HOME=/var/lib/caddy caddy validate --config /etc/caddy/Caddyfile \
            --adapter caddyfile >/dev/null 2>"$etc/caddy-validate.log" ||
            die "Caddy rifiuta la configurazione: $(tail -n 3 "$etc/caddy-validate.log")"
        systemctl enable --quiet caddy
        if ! systemctl is-active --quiet caddy; then
            systemctl start caddy || die "Caddy non parte: journalctl -u caddy"
        elif [ -n "$caddy_changed" ]; then
            systemctl reload caddy || die "Caddy non accetta la configurazione nuova: journalctl -u caddy"
        fi
        echo "Aspetto il certificato di $name da Let's Encrypt (al più 5 minuti)..."
        wait_until 300 issued_certificate >/dev/null ||
            die "Caddy non ha ancora il certificato per $name. Controlla che il nome punti a questa macchina e che le porte 80 e 443 siano aperte (journalctl -u caddy), poi esegui di nuovo questo comando."
    fi
    local cert_changed=
    copy_certificate && cert_changed=1

    local group=
    [ -z "$root" ] && group=nats
    local -a changed=()
    copy_if_changed "$here/nats-users.conf" "$etc/nats-users.conf" 0644 && changed=(all)
    nats_passwords | write_if_changed "$etc/nats-passwords.conf" 0640 $group && changed=(all)
    for ((i = 1; i <= servers; i++)); do
        nats_conf "$i" | write_if_changed "$etc/nats-$i.conf" 0640 $group && changed+=("$i")
        [ -n "$root" ] || nats-server -t -c "$etc/nats-$i.conf" >/dev/null 2>"$etc/nats-validate.log" ||
            die "nats-server rifiuta la configurazione $etc/nats-$i.conf: $(tail -n 3 "$etc/nats-validate.log")"
    done
    for ((i = servers + 1; i <= 3; i++)); do
        rm -f "$etc/nats-$i.conf"
    done
    nats_unit | write_if_changed "$root/etc/systemd/system/tombola-nats@.service" 0644
    certificate_units "$root/etc/systemd/system/tombola-club-certificato"

    if [ -z "$root" ]; then
        systemctl daemon-reload
        # Debian's own instance listens on 127.0.0.1:4222, the first server's port.
        if systemctl is-enabled --quiet nats-server.service 2>/dev/null ||
            systemctl is-active --quiet nats-server.service; then
            systemctl disable --now --quiet nats-server.service
            echo "Il servizio nats-server di Debian è fermato: al suo posto ci sono i server tombola-nats@."
        fi
        for ((i = servers + 1; i <= 3; i++)); do
            systemctl disable --now --quiet "tombola-nats@$i.service" 2>/dev/null
        done
        for ((i = 1; i <= servers; i++)); do
            systemctl enable --quiet "tombola-nats@$i.service"
            if ! systemctl is-active --quiet "tombola-nats@$i.service"; then
                systemctl start "tombola-nats@$i.service"
            elif [ -n "$cert_changed" ] || [ ${#changed[@]} -gt 0 ]; then
                case " ${changed[*]} " in
                *" all "* | *" $i "*) systemctl restart "tombola-nats@$i.service" ;;
                *) systemctl reload "tombola-nats@$i.service" ;;
                esac
            fi
        done
        systemctl enable --now --quiet tombola-club-certificato.timer

        for ((i = 1; i <= servers; i++)); do
            wait_until 30 listening 127.0.0.1 "${nats_listen[i]##*:}" ||
                die "il server NATS $i non risponde: journalctl -u tombola-nats@$i"
        done
        # Seen from outside as a phone sees it (through this machine's own name).
        if ! curl -fsS -o /dev/null --max-time 20 "$page_url"; then
            echo "club-server.sh: attenzione, $page_url non risponde da questa macchina (forse solo da qui)." >&2
        fi
    fi

    settings_ini "" | write_if_changed "$etc/lontani.ini" 0600
    instructions "" "$etc/lontani.ini" | write_if_changed "$etc/istruzioni.txt" 0600
    cat "$etc/istruzioni.txt"
    echo
    echo "Per copiarle sul computer del banco:  scp root@$name:$etc/lontani.ini ~/.config/tombola/"
    if [ ! -f "$site_root/app.js" ]; then
        echo
        echo "La pagina dei telefoni non è ancora su questo server: salvala in una cartella dal programma con"
        echo "«Salva la pagina per il sito...», poi copiala qui:  scp -r CARTELLA/. root@$name:$site_root/"
        echo "(oppure esegui di nuovo questo comando con --pagina CARTELLA)."
    fi
    if [ ${#peers[@]} = 3 ]; then
        echo
        echo "Sulle altre due macchine: lo stesso comando con --nome il loro nome, e --segreti con una copia"
        echo "di $etc/segreti di questa macchina. La pagina va copiata su tutte e tre. Con --nuove-password"
        echo "su questa, il file nuovo va dato di nuovo alle altre due."
        echo "Porte da aprire verso ogni macchina: 80 e 443 (la pagina e il certificato), 4222 (il programma), 6222 (le altre macchine)."
    else
        echo
        echo "Porte da aprire verso questa macchina: 80 e 443 (la pagina e il certificato), $(
            for ((i = 1; i <= servers; i++)); do printf '%s ' "$((4221 + i))"; done
        )(il programma)."
    fi
}

case $mode in
test) run_test "$@" ;;
certificate) run_certificate ;;
*) run_real ;;
esac
