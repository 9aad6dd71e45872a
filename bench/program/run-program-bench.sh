#!/bin/sh
# Measures the whole metronome on a private null sink: for each tempo it records the
# sink's monitor, runs the driver (the real window, offscreen, pressed with real mouse clicks:
# 10 s idle, N s beating, 10 s stopped), measures the clicks in the recording and prints one table
# of figures beside their targets. With --soak S it adds an S-second run at 120 bpm for memory
# flatness. The server (PulseAudio, or PipeWire with --server pipewire) is started if it is not
# running, and stopped again in that case.
#
#   bench/program/run-program-bench.sh [--build DIR] [--server S] [--seconds N] [--soak S]
#                                      [--bpm B]... [--keep]
# --keep leaves the recordings (s16le mono 48 kHz) beside the figures. The bench plays into a
# sink of its own on the tests' server (two PipeWire daemons on one machine disturb each other).
# e.g. bench/program/run-program-bench.sh --build build-bench --seconds 60 --soak 600
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
seconds=60
soak=0
tempos=""
keep=no
server=pulseaudio
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --server) server=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --soak) soak=$2; shift 2 ;;
    --bpm) tempos="$tempos $2"; shift 2 ;;
    --keep) keep=yes; shift ;;
    *) echo "usage: $0 [--build DIR] [--server S] [--seconds N] [--soak S] [--bpm B]... [--keep]" >&2; exit 2 ;;
    esac
done
[ -n "$tempos" ] || tempos="120 250"
drive="$build/bin/cadrel_program_drive"
onsets="$build/bin/cadrel_program_onsets"
program="$build/bin/cadrel"
for f in "$drive" "$onsets" "$program"; do
    [ -x "$f" ] || { echo "missing $f: build the bench targets first" >&2; exit 1; }
done

# A sink of its own: another client playing into a shared sink would be recorded too.
unset CADREL_SOUND_DIR
sink="$root/scripts/null-sink.sh"
started=no
module=""
if ! "$sink" "$server" status >/dev/null 2>&1; then
    "$sink" "$server" start >&2
    started=yes
fi
out=$(mktemp -d /tmp/cadrel-program-bench.XXXXXX)
cleanup() {
    pactl unload-module "$module" 2>/dev/null || true
    if [ "$started" = yes ]; then
        "$sink" "$server" stop >&2 || true
    fi
}
trap cleanup EXIT
PULSE_SERVER=$("$sink" "$server" address)
export PULSE_SERVER QT_QPA_PLATFORM=offscreen PULSE_SINK=cadrel_bench
module=$(pactl load-module module-null-sink sink_name=cadrel_bench rate=48000 channels=2)
unset SDL_AUDIODRIVER

ticks=$(getconf CLK_TCK)
proc_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
status_kb() { awk -v f="$2:" '$1 == f { print $2 }' "/proc/$1/status"; }

# The program itself, measured from outside while it sits idle (it cannot be pressed from here).
echo "program binary: $program, idle 10 s measured from outside" >&2
"$program" >"$out/program.log" 2>&1 &
pid=$!
sleep 3
t0=$(proc_ticks "$pid") w0=$(date +%s%N)
sleep 10
t1=$(proc_ticks "$pid") w1=$(date +%s%N)
{
    echo "ext.idle_cpu_pct $(awk -v t="$((t1 - t0))" -v hz="$ticks" -v w="$((w1 - w0))" \
        'BEGIN { printf "%.3f", 100 * t / hz / (w / 1e9) }')"
    echo "ext.vmrss_kb $(status_kb "$pid" VmRSS)"
    echo "ext.vmhwm_kb $(status_kb "$pid" VmHWM)"
} >"$out/program.txt"
kill "$pid"
wait "$pid" 2>/dev/null || true

# run NAME BPM SECONDS: records the sink around one driver run and measures the recording.
run() {
    name=$1 bpm=$2 secs=$3
    echo "run $name: $bpm bpm, $secs s beating" >&2
    parec -d cadrel_bench.monitor --format=s16le --rate=48000 --channels=1 --latency-msec=100 \
        >"$out/$name.raw" &
    rec=$!
    # An idle sink's monitor delivers its first data 0.7-1.7 s late.
    sleep 2.5
    (
        launch=$(date +%s%N)
        exec "$drive" --launch-ns "$launch" --bpm "$bpm" --idle 10 --seconds "$secs" --after 10
    ) >"$out/$name.txt" 2>"$out/$name.err"
    sleep 1
    kill "$rec"
    wait "$rec" 2>/dev/null || true
    echo "bpm $bpm" >>"$out/$name.txt"
    "$onsets" "$out/$name.raw" "$bpm" >>"$out/$name.txt"
    [ "$keep" = yes ] || rm -f "$out/$name.raw"
}

names=""
for bpm in $tempos; do
    run "bpm$bpm" "$bpm" "$seconds"
    names="$names bpm$bpm"
done
if [ "$soak" -gt 0 ]; then
    run soak 120 "$soak"
    names="$names soak"
fi
echo "raw figures in $out" >&2
cd "$out"
# shellcheck disable=SC2086
python3 "$here/report.py" program.txt $names
