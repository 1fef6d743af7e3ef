#!/usr/bin/env bash
# Writes the 217 WAVE clips embedded by tombola_resources into resources/clips/.
#
#   bash resources/make_clips.sh            # as root on Debian 12 (installs what it needs)
#   TOMBOLA_VOICE=festival bash resources/make_clips.sh   # force a fallback voice
#
# Voice, best first: pico2wave -l it-IT (libttspico-utils, Debian non-free, Apache-2.0),
# Festival lp_diphone (festvox-italp16k, GPL-2+), espeak-ng -v it (GPL-3+).
# MBROLA voices are never used: their licence forbids commercial use.
# NUMERO1..NUMERO90 say every number as one word, the way it is said (ventuno, ventitré), all at one
# loudness; VA1..VA19 and VALE20..VALE90 are what a number is composed of when its whole clip is missing.
# SMORFIA1..SMORFIA90 say the meanings of announce/smorfia.cpp, 8-bit to keep them small.
# Jingles come from sox `synth`; the applause from a small awk generator below, shaped by sox.
#
# Last run (clips in git): Debian 12, pico2wave from libttspico-utils 1.0+git20130326-13
# (libttspico-data 1.0+git20130326-13), sox 14.4.2+git20190427-3.5, mawk 1.3.4.20200120-3.1.
# The exact versions of each run are written to clips/clips.txt.
set -euo pipefail
export LC_ALL=C
# Repeatable mode: fixed seeds for dither and noise, so reruns give identical files.
export SOX_OPTS="-R"

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
OUT="$HERE/clips"
RATE=22050
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

log() { printf '%s\n' "$*" >&2; }

# ---------------------------------------------------------------- installation

is_root() { [ "$(id -u)" -eq 0 ]; }

apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@" >/dev/null
}

has_candidate() {
    apt-cache policy "$1" 2>/dev/null | grep -q 'Candidate: [^(]'
}

# The Debian mirror already configured for the main suite.
debian_mirror() {
    local uri=""
    shopt -s nullglob
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ "$(basename "$f")" = tombola-nonfree.sources ] && continue
        uri=$(awk 'BEGIN { RS = ""; FS = "\n" }
            /(^|\n)Suites:/ && !/-security/ && /debian/ {
                for (i = 1; i <= NF; i++) if ($i ~ /^URIs:/) { sub(/^URIs:[ \t]*/, "", $i); split($i, u, " "); print u[1]; exit }
            }' "$f")
        [ -n "$uri" ] && break
    done
    shopt -u nullglob
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" && !/security/ {
                for (i = 2; i <= NF; i++) if ($i ~ /^(https?|file|ftp):/) { print $i; exit } }' /etc/apt/sources.list)
    fi
    printf '%s\n' "${uri:-http://deb.debian.org/debian}"
}

enable_nonfree() {
    local codename mirror file=/etc/apt/sources.list.d/tombola-nonfree.sources
    # shellcheck disable=SC1091
    codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-bookworm}")
    mirror=$(debian_mirror)
    log "adding $file ($mirror $codename contrib non-free)"
    cat >"$file" <<EOF
Types: deb
URIs: $mirror
Suites: $codename $codename-updates
Components: contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get update >/dev/null
}

install_tools() {
    if ! is_root || ! command -v apt-get >/dev/null; then
        log "not root or no apt-get: using the tools already installed"
        return 0
    fi
    apt-get update >/dev/null
    apt_install sox mawk
    if [ "${TOMBOLA_VOICE:-pico}" = pico ] && ! command -v pico2wave >/dev/null; then
        has_candidate libttspico-utils || enable_nonfree
        apt_install libttspico-utils || log "libttspico-utils did not install"
    fi
    if ! command -v pico2wave >/dev/null || [ "${TOMBOLA_VOICE:-pico}" = festival ]; then
        apt_install festival festvox-italp16k || log "festival Italian voice did not install"
    fi
    if ! command -v pico2wave >/dev/null && ! command -v text2wave >/dev/null; then
        apt_install espeak-ng || true
    fi
}

festival_ok() {
    command -v text2wave >/dev/null && [ -d /usr/share/festival/voices/italian/lp_diphone ]
}

pick_voice() {
    local want=${TOMBOLA_VOICE:-}
    if [ -n "$want" ]; then
        printf '%s\n' "$want"
    elif command -v pico2wave >/dev/null; then
        echo pico
    elif festival_ok; then
        echo festival
    elif command -v espeak-ng >/dev/null; then
        echo espeak
    else
        log "no Italian synthesizer found"
        exit 1
    fi
}

# speak TEXT RAW.wav: raw synthesizer output, any rate.
speak() {
    case "$VOICE" in
    pico) pico2wave -l it-IT -w "$2" "$1" ;;
    festival) printf '%s\n' "$1" | text2wave -eval '(voice_lp_diphone)' \
        -eval "(Parameter.set 'Duration_Stretch 1.35)" -o "$2" ;;
    espeak) espeak-ng -v it -s 150 -w "$2" "$1" ;;
    *) log "unknown voice $VOICE"; exit 1 ;;
    esac
}

# ---------------------------------------------------------------- voice clips

FINAL=(-r "$RATE" -c 1 -b 16 -e signed-integer)
# 8-bit unsigned: about half the bytes; enough for a short phrase.
SMALL=(-r "$RATE" -c 1 -b 8 -e unsigned-integer)

# Speech loudness target (RMS, -15 dBFS); quiet words get at most +4 dB through a limiter.
VOICE_RMS=0.178

rms_of() { sox "$1" -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }

# fit NAME TEXT MAX_SECONDS: TEXT spoken, trimmed of leading and trailing silence and of the
# synthesizer's low tail noise, sped up only when longer than MAX_SECONDS, at $RATE with its peak at
# -1 dBFS, in $WORK/NAME.fit.wav. Sets TEMPO_NOTE for the listing.
fit() {
    local name=$1 text=$2 max=$3 raw="$WORK/$1.raw.wav" cut="$WORK/$1.cut.wav"
    local dur factor tempo=()
    speak "$text" "$raw"
    sox "$raw" -b 32 -e float "$cut" remix - gain -n -6 highpass 60 gain -n -1 \
        silence 1 0.01 -45d reverse silence 1 0.01 -45d reverse
    dur=$(soxi -D "$cut")
    factor=$(awk -v d="$dur" -v m="$max" 'BEGIN { printf "%.3f", d / m }')
    TEMPO_NOTE=""
    if awk -v f="$factor" 'BEGIN { exit !(f > 1) }'; then
        tempo=(tempo -s "$factor")
        TEMPO_NOTE=" (tempo $factor)"
    fi
    sox "$cut" -b 32 -e float "$WORK/$name.fit.wav" gain -4 "${tempo[@]}" rate -v "$RATE" gain -n -1 \
        fade t 0.004 0 0.02
}

# voice NAME TEXT MAX_SECONDS [FORMAT...]
voice() {
    local name=$1 text=$2 max=$3 fit="$WORK/$1.fit.wav" level
    fit "$name" "$text" "$max"
    level=$(awk -v r="$(rms_of "$fit")" -v t="$VOICE_RMS" 'BEGIN {
        g = 20 * log(t / r) / log(10); if (g > 4) g = 4; printf "%.2f", g }')
    local limit=()
    awk -v g="$level" 'BEGIN { exit !(g > 0) }' && limit=(-l)
    local format=("${FINAL[@]}")
    [ $# -gt 3 ] && format=("${@:4}")
    sox "$fit" "${format[@]}" "$OUT/$name.wav" gain "${limit[@]}" "$level"
    printf '%-13s %-17s %s s%s\n' "$name" "\"$text\"" "$(soxi -D "$OUT/$name.wav")" "$TEMPO_NOTE"
}

db_of() { awk -v r="$(rms_of "$1")" 'BEGIN { printf "%.3f", 20 * log(r) / log(10) }'; }

# at_level IN OUT: OUT is IN brought to VOICE_RMS within 0.05 dB. The voice clips above stop at +4 dB
# through sox's clipping limiter, so a word with a long silent closure ("otto", "settanta") ends up
# 1.6 dB short; here a gain above 0 dB goes through a look-ahead limiter instead (ceiling -2 dBFS,
# 0.2 ms attack, 30 ms release, 5 ms ahead), and since the limiter takes back part of the gain the
# gain is raised again, by the measured slope, until the level is reached. Prints the gain applied.
at_level() {
    local in=$1 out=$2 target total=0 slope=1 before after miss step ceiling _
    target=$(awk -v t="$VOICE_RMS" 'BEGIN { printf "%.3f", 20 * log(t) / log(10) }')
    cp "$in" "$out"
    before=$(db_of "$out")
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12; do
        miss=$(awk -v t="$target" -v l="$before" 'BEGIN { printf "%.3f", t - l }')
        awk -v m="$miss" 'BEGIN { exit !(m < 0.05 && m > -0.05) }' && break
        step=$(awk -v m="$miss" -v s="$slope" 'BEGIN { printf "%.3f", m / s }')
        total=$(awk -v a="$total" -v s="$step" 'BEGIN { printf "%.3f", a + s }')
        if awk -v g="$total" 'BEGIN { exit !(g > 0) }'; then
            ceiling=$(awk -v g="$total" 'BEGIN { printf "%.3f", -2 - g }')
            sox "$in" -b 32 -e float "$out" compand 0.0002,0.03 "-90,-90,$ceiling,$ceiling,0,$ceiling" \
                "$total" -90 0.005
        else
            sox "$in" -b 32 -e float "$out" gain "$total"
        fi
        after=$(db_of "$out")
        # dB of level per dB of gain in this pass; the limiter keeps it below 1.
        slope=$(awk -v a="$after" -v b="$before" -v s="$step" -v old="$slope" 'BEGIN {
            k = (s > 0.001 || s < -0.001) ? (a - b) / s : old; if (k < 0.2) k = 0.2; if (k > 1) k = 1; printf "%.3f", k }')
        before=$after
    done
    awk -v t="$target" -v l="$(db_of "$out")" 'BEGIN { exit !(t - l < 0.25 && l - t < 0.25) }' ||
        { log "$in: level $(db_of "$out") dBFS, wanted $target"; exit 1; }
    printf '%.2f\n' "$total"
}

NUMBERS=(uno due tre quattro cinque sei sette otto nove dieci undici dodici tredici
    quattordici quindici sedici diciassette diciotto diciannove)
TENS=(venti trenta quaranta cinquanta sessanta settanta ottanta novanta)

# The Italian word of n (1..90), as it is said: the ten drops its last vowel before "uno" and "otto"
# (ventuno, ottantotto) and "tre" after a ten is stressed (ventitré). The accent makes Pico stress it.
number_word() {
    local n=$1 ten unit
    if [ "$n" -lt 20 ]; then
        printf '%s\n' "${NUMBERS[$((n - 1))]}"
        return
    fi
    ten=${TENS[$((n / 10 - 2))]}
    unit=$((n % 10))
    case $unit in
    0) printf '%s\n' "$ten" ;;
    1 | 8) printf '%s%s\n' "${ten%?}" "${NUMBERS[$((unit - 1))]}" ;;
    3) printf '%stré\n' "$ten" ;;
    *) printf '%s%s\n' "$ten" "${NUMBERS[$((unit - 1))]}" ;;
    esac
}

# NUMERO1..NUMERO90: every number as one word, all at the same loudness, 8-bit. Trimmed once more
# at 1% of full scale after the level, so that the sound starts and ends at the edges of the file
# (what is cut is a tail 25 dB and more below the word), with 2 and 3 ms fades against clicks.
make_numbers() {
    local n name text gain
    for n in $(seq 1 90); do
        name=NUMERO$n
        text=$(number_word "$n")
        fit "$name" "$text" 1.3
        gain=$(at_level "$WORK/$name.fit.wav" "$WORK/$name.level.wav")
        sox "$WORK/$name.level.wav" -b 32 -e float "$WORK/$name.trim.wav" \
            silence 1 0.002 1% reverse silence 1 0.002 1% reverse
        sox "$WORK/$name.trim.wav" "${SMALL[@]}" "$OUT/$name.wav" fade t 0.002 0 0.003
        printf '%-13s %-17s %s s, %s dBFS RMS, gain %s dB%s\n' "$name" "\"$text\"" \
            "$(soxi -D "$OUT/$name.wav")" "$(db_of "$OUT/$name.wav")" "$gain" "$TEMPO_NOTE"
    done
}

# The meanings as the program shows them, one per line in number order, read from the table so
# that the voice says what the window writes. "e'" and "a'" are the window's accents: spoken, they
# must be real ones ("papa'" is not "papa").
meanings() {
    sed -n 's/^ *"\(.*\)", *\/\/ *[0-9]*$/\1/p' "$HERE/../announce/smorfia.cpp" |
        sed "s/e'/è/g; s/a'/à/g"
}

make_meanings() {
    local n=0 text
    while IFS= read -r text; do
        n=$((n + 1))
        voice "SMORFIA$n" "$text" 2.5 "${SMALL[@]}"
    done < <(meanings)
    [ "$n" -eq 90 ] || { log "expected 90 meanings, read $n"; exit 1; }
}

# ---------------------------------------------------------------- jingles

# note FILE START DURATION FREQUENCY TIMBRE LEVEL_DB (44.1 kHz float: pluck needs it)
note() {
    local file=$1 start=$2 dur=$3 f=$4 timbre=$5 level=$6
    mul() { awk -v f="$f" -v k="$1" 'BEGIN { printf "%.2f", f * k }'; }
    local gen=(-r 44100 -c 4 -n -b 32 -e float "$WORK/n.wav" synth "$dur")
    case "$timbre" in
    bell) # plucked attack over a few sine partials
        sox "${gen[@]}" pluck "$f" sine "$f" sine "$(mul 2)" sine "$(mul 3.01)" \
            remix 1v0.3,2v0.4,3v0.2,4v0.1 fade p 0.004 "$dur" "$(awk -v d="$dur" 'BEGIN { print d * 0.92 }')" ;;
    brass) # detuned saws and a square, softened
        sox "${gen[@]}" sawtooth "$f" sawtooth "$(mul 1.004)" square "$(mul 0.998)" sine "$(mul 2)" \
            remix 1v0.35,2v0.35,3v0.15,4v0.15 lowpass 2600 fade h 0.025 "$dur" "$(awk -v d="$dur" 'BEGIN { print (d > 0.75 ? 0.3 : d * 0.4) }')" ;;
    esac
    sox "$WORK/n.wav" "$file" pad "$start" 0 gain "$level"
}

# jingle NAME "start dur freq timbre level" ...
jingle() {
    local name=$1 i=0 parts=() n
    shift
    for n in "$@"; do
        # shellcheck disable=SC2086
        note "$WORK/$name.$i.wav" $n
        parts+=("$WORK/$name.$i.wav")
        i=$((i + 1))
    done
    sox -m "${parts[@]}" -b 32 -e float "$WORK/$name.mix.wav" gain -n -6
    sox "$WORK/$name.mix.wav" "$WORK/$name.rev.wav" \
        reverb 35 50 60 100 0 -4 remix - highpass 120 \
        silence 1 0.005 -50d reverse silence 1 0.02 -50d reverse
    sox "$WORK/$name.rev.wav" "${FINAL[@]}" "$OUT/$name.wav" gain -n -6 rate -v "$RATE" \
        gain -n -1 fade t 0.002 0 0.3
    printf '%-13s %-17s %s s\n' "$name" "(jingle)" "$(soxi -D "$OUT/$name.wav")"
}

# Equal-tempered frequencies used below.
C5=523.25 E5=659.26 G5=783.99 C6=1046.50 E6=1318.51 G6=1567.98 C7=2093.00
G4=392.00 C4=261.63 E4=329.63

make_jingles() {
    # APRI: a rising bell arpeggio that lands on a ringing C major chord.
    jingle APRI \
        "0.00 0.9 $C5 bell -3" "0.11 0.9 $E5 bell -3" "0.22 0.9 $G5 bell -3" \
        "0.33 0.9 $C6 bell -4" "0.44 0.9 $E6 bell -5" "0.55 0.9 $G6 bell -6" \
        "0.80 1.6 $C5 bell -2" "0.80 1.6 $E5 bell -4" "0.80 1.6 $G5 bell -4" \
        "0.80 1.6 $C6 bell -5" "0.95 1.3 $C7 bell -12"
    # INIZIO: a short fanfare (three pick-ups and a held chord) with bells on top.
    jingle INIZIO \
        "0.00 0.16 $G4 brass -4" "0.18 0.16 $G4 brass -4" "0.36 0.16 $G4 brass -4" \
        "0.54 1.50 $C5 brass -2" "0.54 1.50 $E4 brass -6" "0.54 1.50 $G4 brass -6" \
        "0.54 1.60 $C6 bell -6" "0.66 1.50 $E6 bell -8" "0.78 1.40 $G6 bell -9" \
        "0.90 1.30 $C7 bell -12" "0.54 1.60 $C4 brass -8"
}

# ---------------------------------------------------------------- applause

# A crowd of clappers, each a few claps per second with its own hand tone (a resonant
# band-pass on a short noise burst); they join during the swell and drop out in the fade.
# Written as sox text samples (.dat). Fixed seed, so reruns give the same file.
APPLAUSE_AWK='
function clap(t0, a,    s, len, tau, k, x, y, x1, x2, y1, y2, att) {
    s = int(t0 * sr); len = int(0.035 * sr); tau = (0.0025 + rand() * 0.004) * sr
    att = 0.0008 * sr; x1 = x2 = y1 = y2 = 0
    for (k = 0; k < len && s + k < n; k++) {
        x = (rand() * 2 - 1) * exp(-k / tau) * (k < att ? k / att : 1)
        y = (b0 * x - b0 * x2 - a1 * y1 - a2 * y2) / a0
        x2 = x1; x1 = x; y2 = y1; y1 = y
        buf[s + k] += a * (2.5 * y + 0.25 * x)
    }
}
function level(t) {
    if (t < swell) return 0.25 + 0.75 * t / swell
    if (t > dur - fade) return (dur - t) / fade
    return 1
}
BEGIN {
    srand(seed); sr = rate; n = int(dur * sr); pi = atan2(0, -1)
    swell = 0.5; fade = 1.6
    for (i = 0; i < n; i++) buf[i] = 0
    for (c = 0; c < clappers; c++) {
        fc = 700 + rand() * 1800; q = 1.0 + rand() * 1.8
        w0 = 2 * pi * fc / sr; alpha = sin(w0) / (2 * q)
        b0 = alpha; a0 = 1 + alpha; a1 = -2 * cos(w0); a2 = 1 - alpha
        period = 1 / (3.2 + rand() * 2.4)
        amp = 0.4 + rand() * 0.6
        t = rand() * 0.4
        stop = dur - fade - 0.2 + rand() * (fade + 0.1)
        while (t < stop) {
            clap(t, amp * level(t) * (0.7 + 0.3 * rand()))
            t += period * (0.85 + rand() * 0.3)
        }
    }
    peak = 1e-9
    for (i = 0; i < n; i++) if (buf[i] > peak || -buf[i] > peak) peak = buf[i] > 0 ? buf[i] : -buf[i]
    printf "; Sample Rate %d\n; Channels 1\n", sr
    for (i = 0; i < n; i++) printf "%.6f %.6f\n", i / sr, 0.25 * buf[i] / peak
}'

make_applause() {
    local awk_bin
    awk_bin=$(command -v mawk || command -v awk)
    "$awk_bin" -v seed=20240901 -v rate="$RATE" -v dur=3.6 -v clappers=28 \
        "$APPLAUSE_AWK" >"$WORK/applause.dat"
    sox "$WORK/applause.dat" "${FINAL[@]}" "$OUT/APPLAUSI.wav" \
        highpass 300 lowpass 7000 reverb 30 60 50 100 0 -6 remix - \
        trim 0 3.5 gain -n -2 fade t 0.02 0 0.3
    printf '%-13s %-17s %s s\n' APPLAUSI "(applause)" "$(soxi -D "$OUT/APPLAUSI.wav")"
}

# ---------------------------------------------------------------- main

install_tools
command -v sox >/dev/null || { log "sox is missing"; exit 1; }
VOICE=$(pick_voice)
mkdir -p "$OUT"
rm -f "$OUT"/*.wav

{
    for i in "${!NUMBERS[@]}"; do
        voice "VA$((i + 1))" "${NUMBERS[$i]}" 1.0
    done
    for i in "${!TENS[@]}"; do
        voice "VALE$(((i + 2) * 10))" "${TENS[$i]}" 1.0
    done
    voice AMBO ambo 1.1
    voice TERNO terno 1.1
    voice QUATERNO quaterno 1.1
    voice CINQUINA cinquina 1.1
    voice NUM_ESTRATTI "numeri estratti" 1.8
    voice TOMBOLA "tombola!" 1.2
    voice TOMBOLINO "tombolino!" 1.3
    make_numbers
    make_meanings
    make_jingles
    make_applause
} | tee "$WORK/list.txt"

case "$VOICE" in
pico) voice_pkgs="libttspico-utils libttspico0 libttspico-data"; voice_cmd="pico2wave -l it-IT -w OUT.wav TEXT" ;;
festival) voice_pkgs="festival festvox-italp16k"; voice_cmd="text2wave -eval '(voice_lp_diphone)', Duration_Stretch 1.35" ;;
espeak) voice_pkgs="espeak-ng espeak-ng-data"; voice_cmd="espeak-ng -v it -s 150" ;;
esac

# shellcheck disable=SC1091,SC2086
{
    echo "Made by resources/make_clips.sh on $(. /etc/os-release && echo "$PRETTY_NAME")."
    echo "Voice: $VOICE ($voice_cmd)"
    echo "Packages:"
    dpkg-query -W -f='  ${Package} ${Version}\n' $voice_pkgs sox libsox3 mawk 2>/dev/null || true
    echo "Clips (name, text, seconds):"
    sed 's/^/  /' "$WORK/list.txt"
} >"$OUT/clips.txt"

log ""
log "voice: $VOICE; $(find "$OUT" -name '*.wav' | wc -l) clips, $(du -cb "$OUT"/*.wav | tail -1 | cut -f1) bytes in $OUT"
