#!/bin/sh
# The real program on a real X server with a window manager, driven with real keys and clicks
# (xdotool), on each sound server: about a second after launch 240 is typed into the tempo box
# and Alt+A pressed; the sink's monitor is recorded while it beats; then the window is closed
# with Alt+F4, once while beating and once after a launch left stopped, timing how long the
# process takes to end. Prints the figures; asserts nothing.
#
#   bench/desktop/run-desktop-check.sh [--build DIR] [--seconds S] [--runs N]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
seconds=10 runs=3
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) sed -n '2,8p' "$0" >&2; exit 2 ;;
    esac
done
for tool in Xvfb openbox xdotool parec; do
    command -v "$tool" >/dev/null || { echo "needs $tool (xvfb, openbox, xdotool, pulseaudio-utils)" >&2; exit 1; }
done
program="$build/bin/cadrel"
onsets="$build/bin/cadrel_program_onsets"
sink="$root/scripts/null-sink.sh"
out=$(mktemp -d /tmp/cadrel-desktop.XXXXXX)
display=:97
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
started="" rec=""
cleanup() {
    [ -z "$rec" ] || kill "$rec" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    for s in $started; do "$sink" "$s" stop >/dev/null || true; done
}
trap cleanup EXIT
sleep 1
DISPLAY=$display openbox >"$out/openbox.log" 2>&1 &
sleep 1
export DISPLAY=$display
unset QT_QPA_PLATFORM SDL_AUDIODRIVER WAYLAND_DISPLAY

now() { date +%s%N; }

# launch NAME: starts the program, waits for its window; sets pid and window.
launch() {
    "$program" >"$out/$1.log" 2>&1 &
    pid=$!
    window=$(xdotool search --sync --onlyvisible --name '^Ritmolino$' | head -n 1)
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
}

# close: Alt+F4 to the window through the window manager; prints the milliseconds until the
# process has ended.
close() {
    t0=$(now)
    # As a keyboard sends it (XTEST), to the active window: openbox closes the window on the
    # key press.
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    xdotool key alt+F4 || true
    # This runs in a subshell that cannot reap the program: an ended one shows as a zombie.
    while [ -e "/proc/$pid" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$pid/stat" 2>/dev/null; do
        sleep 0.005
    done
    wait "$pid" 2>/dev/null || true
    echo $(( ($(now) - t0) / 1000000 ))
}

printf '%-12s %4s %8s %10s %10s %12s %12s\n' server run clicks "spread ms" "worst ms" "close run ms" "close stop ms"
for server in pulseaudio pipewire; do
    if ! "$sink" "$server" status >/dev/null 2>&1; then
        "$sink" "$server" start >/dev/null
        started="$started $server"
    fi
    PULSE_SERVER=$("$sink" "$server" address)
    export PULSE_SERVER
    run=1
    while [ "$run" -le "$runs" ]; do
        name="$server-$run"
        parec -d cadrel_null.monitor --format=s16le --rate=48000 --channels=1 \
            --latency-msec=100 >"$out/$name.raw" &
        rec=$!
        sleep 2.5
        launch "$name"
        sleep 0.7
        # The tempo box, as a user reaches it: a click into it, then keys.
        xdotool mousemove --window "$window" 168 459 click --repeat 3 1
        xdotool type --delay 60 240
        xdotool key alt+a
        sleep "$seconds"
        closeRunning=$(close)
        sleep 0.5
        kill "$rec"; wait "$rec" 2>/dev/null || true
        rec=""
        "$onsets" "$out/$name.raw" 240 >"$out/$name.txt"
        clicks=$(awk '$1 == "rec.onsets" { print $2 }' "$out/$name.txt")
        spread=$(awk '$1 == "rec.spread_ms" { print $2 }' "$out/$name.txt")
        worst=$(awk '$1 == "rec.worst_deviation_ms" { print $2 }' "$out/$name.txt")
        launch "$name-stopped"
        sleep 2
        closeStopped=$(close)
        printf '%-12s %4s %8s %10s %10s %12s %12s\n' "$server" "$run" "$clicks" \
            "$spread" "$worst" "$closeRunning" "$closeStopped"
        run=$((run + 1))
    done
done
echo "recordings and logs in $out" >&2
