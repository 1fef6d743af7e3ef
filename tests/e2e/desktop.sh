# desktop.sh, sourced by the scripts that drive the real program: a private X server (Xvfb) with a
# window manager, its display number kept in the script's own $work folder. The program draws on
# it, not on the offscreen platform. stop_desktop ends both; the script calls it from its cleanup.
xvfb=
wm=
start_desktop() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
    export DISPLAY=:$(cat "$work/display")
    unset QT_QPA_PLATFORM
    openbox >/dev/null 2>&1 &
    wm=$!
    # The window manager takes the screen before the first window comes.
    sleep 1
}
stop_desktop() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
}
