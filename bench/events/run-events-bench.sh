#!/bin/bash
# The events bench: the real program on a real X server (Xvfb and openbox), typed into and
# started with real keys at 240 bpm, carried through what a desktop's sound goes through (the
# events in events.sh), on PulseAudio and on PipeWire (through pipewire-pulse). Each event comes
# about 8 s into beating and 15 s are recorded after it from the monitors of the sinks involved
# (merged by time on CLOCK_MONOTONIC); the light is stamped from XDamage on the same clock.
# report.py prints, per run, the intervals around each step of the event, doubled, clipped and
# missing clicks, the picture-to-click offsets, the server's dropouts and the program's lines,
# and a summary table. Asserts nothing.
#
#   bench/events/run-events-bench.sh [--events "calm move default suspend quantum rate kill
#       noserver two"] [--servers "pulseaudio pipewire"] [--runs N] [--tempo BPM]
#       [--program PATH] [--build DIR] [--soak] [--soak-minutes M] [--soak-server S]
#       [--soak-vm-bytes 60%] [--calibrate OFFSET_MS] [--rec-latency MS] [--keep DIR]
#   bench/events/run-events-bench.sh --report DIR     prints the tables of an earlier run again
# --soak adds the long run (event soak, 10 min at 250 bpm beside stress-ng) on --soak-server
# (pipewire by default); --events soak runs it alone. --calibrate runs the picture bench's
# stand-in (a known picture-to-click offset) instead of the program, to check the picture
# measurement. --program measures another build (sn.wav is taken from beside it); the program
# is copied into the results folder first, so a rebuild meanwhile does not change what is run.
# Default: the nine events, both servers, 3 runs, 240 bpm.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
command_line="$0 $*"
events="calm move default suspend quantum rate kill noserver two"
servers="pulseaudio pipewire" runs=3 tempo=240 program_path="" soak=no soak_minutes=10
soak_server=pipewire soak_vm_bytes=60% calibrate="" rec_latency=20 keep=""
while [ $# -gt 0 ]; do
    case "$1" in
    --events) events=$2; shift 2 ;;
    --servers) servers=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --tempo) tempo=$2; shift 2 ;;
    --program) program_path=$(realpath "$2"); shift 2 ;;
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --soak) soak=yes; shift ;;
    --soak-minutes) soak_minutes=$2; shift 2 ;;
    --soak-server) soak_server=$2; shift 2 ;;
    --soak-vm-bytes) soak_vm_bytes=$2; shift 2 ;;
    --calibrate) calibrate=$2; shift 2 ;;
    --rec-latency) rec_latency=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --report) exec python3 "$here/report.py" "$2" ;;
    *) sed -n '2,23p' "$0" >&2; exit 2 ;;
    esac
done
[ "$soak" = no ] || events="$events soak"
bin="$build/bin"
record="$bin/cadrel_events_record" watch="$bin/cadrel_picture_watch"
onsets="$bin/cadrel_program_onsets" calibrate_bin="$bin/cadrel_picture_calibrate"
listen_pw="$bin/cadrel_picture_listen_pw" # optional: built with libpipewire-0.3-dev
for f in "$record" "$watch" "$onsets" "$calibrate_bin"; do
    [ -x "$f" ] || { echo "missing $f: cmake --build --preset default --target $(basename "$f")" >&2; exit 1; }
done
for tool in Xvfb openbox xdotool parec pactl tmux pw-top pw-metadata python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool (xvfb openbox xdotool pulseaudio-utils tmux pipewire-bin)" >&2; exit 1; }
done
case " $events " in *" soak "*) command -v stress-ng >/dev/null || { echo "needs stress-ng (apt-get install stress-ng)" >&2; exit 1; } ;; esac

out=${keep:-$(mktemp -d /tmp/cadrel-events-bench.XXXXXX)}
mkdir -p "$out"
# The program measured, with its click, copied so that a rebuild meanwhile changes nothing.
[ -n "$program_path" ] || program_path="$bin/cadrel"
mkdir -p "$out/program"
cp "$program_path" "$out/program/cadrel"
cp "$(dirname "$program_path")/sn.wav" "$out/program/" 2>/dev/null || echo "no sn.wav beside $program_path" >&2
program="$out/program/cadrel"
{
    echo "command $command_line"
    echo "program $program_path $(stat -c '%y' "$program_path") sha256 $(sha256sum "$program_path" | cut -c1-16)"
    echo "tree $(git -C "$root" rev-parse --short HEAD 2>/dev/null) $(git -C "$root" status --short -- platform core window 2>/dev/null | wc -l) files changed under platform/ core/ window/"
    echo "rec_latency_ms $rec_latency"
    [ -z "$calibrate" ] || echo "calibrate $calibrate"
} >"$out/bench.txt"

source "$here/lib.sh"
source "$here/events.sh"

started="" modules="" bg_pids="" srv_dir="" server="" event=""
xpids=""
cleanup() {
    end_run 2>/dev/null || true
    [ -z "$srv_dir" ] || { force quantum 0; force rate 0; } 2>/dev/null || true
    stop_servers
    for p in $xpids; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

display=90
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
export DISPLAY=:$display
unset QT_QPA_PLATFORM SDL_AUDIODRIVER PULSE_LATENCY_MSEC PULSE_SINK CADREL_SOUND_DIR WAYLAND_DISPLAY
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xpids=$!
i=0
until [ -e "/tmp/.X11-unix/X$display" ] || [ "$i" -ge 100 ]; do sleep 0.1; i=$((i + 1)); done
openbox >"$out/openbox.log" 2>&1 &
xpids="$! $xpids"
sleep 1

for server in $servers; do
    for event in $events; do
        if [ "$event" = soak ]; then
            [ "$server" = "$soak_server" ] || continue
            n=1
        else
            applies "$event" "$server" || continue
            n=$runs
        fi
        for run in $(seq 1 "$n"); do
            name="$event-$server-$run"
            echo "run $name: load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
            run_event "$event" "$name"
        done
    done
    stop_servers
done
echo "figures in $out" >&2
for r in "$out"/*/rec-*.raw; do
    [ -e "$r" ] && "$onsets" "$r" "$tempo" --list >"${r%.raw}.onsets" 2>/dev/null || true
done
python3 "$here/report.py" "$out" | tee "$out/report.txt"
