#!/bin/sh
# Measures how far the beat light's change of colour is from the click being heard, on one
# clock (CLOCK_MONOTONIC): the metronome (or, with --calibrate, the stand-in that makes a known
# offset) runs on a private Xvfb display under openbox and plays into a null sink of its own;
# cadrel_picture_watch stamps the light's colour changes from XDamage events and
# cadrel_picture_listen stamps the clicks' onsets in the sink's monitor. The table is printed at
# the end; the raw stamps stay in the folder it names.
#
#   bench/picture/run-picture-bench.sh [--build DIR] [--server pulseaudio|pipewire]
#       [--seconds S] [--tempo BPM] [--calibrate OFFSET_MS] [--poll] [--program PATH]
#       [--native] [--quantum N] [--quantum-after S N]
# --program runs another build of the metronome than DIR/bin/cadrel.
# --native (PipeWire) records the sink with cadrel_picture_listen_pw, which takes each buffer's
# time from the graph's own clock, instead of from the PulseAudio service's latency answers.
# --quantum N forces PipeWire's cycle to N frames for the run; --quantum-after S N forces it to N
# S seconds after start is pressed (the table then shows the beats before and after).
# --poll reads the light every millisecond instead of waiting for damage events. The sound
# server is started if it is not running, and stopped again in that case.
# e.g. bench/picture/run-picture-bench.sh --calibrate 30 --seconds 30
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
server=pulseaudio
seconds=30
tempo=240
offset=""
watch_mode=""
program_path=""
native=no
quantum=""
later_after=""
later_quantum=""
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --server) server=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --tempo) tempo=$2; shift 2 ;;
    --calibrate) offset=$2; shift 2 ;;
    --poll) watch_mode=--poll; shift ;;
    --program) program_path=$2; shift 2 ;;
    --native) native=yes; shift ;;
    --quantum) quantum=$2; shift 2 ;;
    --quantum-after) later_after=$2; later_quantum=$3; shift 3 ;;
    *) echo "usage: $0 [--build DIR] [--server S] [--seconds S] [--tempo BPM] [--calibrate MS] [--poll] [--program PATH]" >&2; exit 2 ;;
    esac
done
bin="$build/bin"
listener=cadrel_picture_listen
[ "$native" = no ] || listener=cadrel_picture_listen_pw
for f in cadrel_picture_watch $listener cadrel_picture_calibrate; do
    [ -x "$bin/$f" ] || { echo "missing $bin/$f: build the bench targets first (libx11-dev, libxdamage-dev; libpipewire-0.3-dev for --native)" >&2; exit 1; }
done
[ -n "$program_path" ] || program_path="$bin/cadrel"
[ -n "$offset" ] || [ -x "$program_path" ] || { echo "missing $program_path" >&2; exit 1; }

need=""
command -v Xvfb >/dev/null || need="$need xvfb xauth"
command -v openbox >/dev/null || need="$need openbox"
command -v xdotool >/dev/null || need="$need xdotool"
command -v pactl >/dev/null || need="$need pulseaudio-utils"
if [ -n "$need" ]; then
    # shellcheck disable=SC2086
    apt-get install -y --no-install-recommends $need >&2 ||
        { apt-get update >&2 && apt-get install -y --no-install-recommends $need >&2; }
fi

unset CADREL_SOUND_DIR
sink="$root/scripts/null-sink.sh"
started=no
if ! "$sink" "$server" status >/dev/null 2>&1; then
    "$sink" "$server" start >&2
    started=yes
fi
PULSE_SERVER=$("$sink" "$server" address)
export PULSE_SERVER
# PipeWire's own clients (pw-metadata, the native listener) find the server in its folder.
pipewire_dir=$(dirname "$(dirname "${PULSE_SERVER#unix:}")")
force_quantum() {
    XDG_RUNTIME_DIR=$pipewire_dir pw-metadata -n settings 0 clock.force-quantum "$1" >/dev/null
}
out=$(mktemp -d /tmp/cadrel-picture-bench.XXXXXX)
display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
DISPLAY=:$display
export DISPLAY
pids=""
module=""
cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $pids; do
        wait "$pid" 2>/dev/null || true
    done
    [ -z "$module" ] || pactl unload-module "$module" 2>/dev/null || true
    [ -z "$quantum$later_quantum" ] || force_quantum 0 || true
    if [ "$started" = yes ]; then
        "$sink" "$server" stop >&2 || true
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A sink of its own, so that no other client on a shared server is heard in the recording.
module=$(pactl load-module module-null-sink sink_name=cadrel_picture rate=48000 channels=2)
PULSE_SINK=cadrel_picture
export PULSE_SINK
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
i=0
until [ -e "/tmp/.X11-unix/X$display" ] || [ "$i" -ge 100 ]; do
    i=$((i + 1))
    sleep 0.1
done
openbox >"$out/openbox.log" 2>&1 &
wm=$!
sleep 1

[ -z "$quantum" ] || force_quantum "$quantum"
if [ "$native" = yes ]; then
    XDG_RUNTIME_DIR=$pipewire_dir "$bin/cadrel_picture_listen_pw" cadrel_picture \
        >"$out/listen.txt" 2>"$out/listen.err" &
else
    "$bin/cadrel_picture_listen" cadrel_picture.monitor >"$out/listen.txt" 2>"$out/listen.err" &
fi
listen=$!
# An idle sink's monitor delivers its first data up to 1.7 s late.
sleep 2
if [ -n "$offset" ]; then
    echo "calibration stand-in: offset $offset ms, $tempo bpm, $seconds s on $server" >&2
    "$bin/cadrel_picture_calibrate" --offset "$offset" --bpm "$tempo" --seconds "$((seconds + 3))" \
        >"$out/calibrate.txt" 2>"$out/calibrate.err" &
else
    echo "metronome $program_path: $tempo bpm, $seconds s on $server" >&2
    "$program_path" >"$out/program.log" 2>&1 &
fi
program=$!
pids="$program $listen $wm $xvfb"
window=$(xdotool search --sync --onlyvisible --name '^Ritmolino$' | head -n 1)
"$bin/cadrel_picture_watch" --window "$window" $watch_mode >"$out/watch.txt" 2>"$out/watch.err" &
watch=$!
pids="$watch $pids"
if [ -z "$offset" ]; then
    # The tempo box ("Text2", 136,448 65x22 px in the window), then the start button by Alt+A.
    # The box's text is replaced in one step: an emptied box makes the program ask for a number.
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool mousemove --window "$window" 168 459 click 1
    sleep 0.3
    xdotool key End shift+Home
    xdotool type --delay 100 "$tempo"
    sleep 0.3
    xdotool key alt+a
fi
if [ -n "$later_quantum" ]; then
    sleep "$later_after"
    force_quantum "$later_quantum"
    echo "quantum forced to $later_quantum about $later_after s after start was pressed" >&2
    sleep "$(awk "BEGIN { print $seconds - $later_after }")"
else
    sleep "$seconds"
fi
kill "$watch" "$listen" 2>/dev/null || true
wait "$watch" "$listen" 2>/dev/null || true
if [ -n "$offset" ]; then
    wait "$program" 2>/dev/null || true
fi
cat "$out/watch.err" "$out/listen.err" >&2
echo "raw stamps in $out" >&2
calibration=""
[ -z "$offset" ] || calibration="$out/calibrate.txt"
# shellcheck disable=SC2086
python3 "$here/report.py" "$out/watch.txt" "$out/listen.txt" "$tempo" $calibration
