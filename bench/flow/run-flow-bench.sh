#!/bin/sh
# The user's first minute, measured from what the listener hears: for each sound server
# (PulseAudio, and PipeWire with its PulseAudio server) and each load (a quiet machine, and two
# busy loops taking both cores), it runs the driver N times on a private null sink. Each run
# types the tempo and presses start 1-2 s after launch, beats for S seconds, and records the
# sink's monitor; on PipeWire, pw-top's error count for the stream is read near the end. The
# report prints one line a run and a summary a condition. Asserts nothing.
#
#   bench/flow/run-flow-bench.sh [--build DIR] [--runs N] [--seconds S] [--tempo BPM]
#                                [--servers "pulseaudio pipewire"] [--loads "quiet loaded"]
#                                [--keep DIR]
# e.g. bench/flow/run-flow-bench.sh --runs 10 --seconds 30
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
runs=10 seconds=30 tempo=240 servers="pulseaudio pipewire" loads="quiet loaded" keep=""
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --tempo) tempo=$2; shift 2 ;;
    --servers) servers=$2; shift 2 ;;
    --loads) loads=$2; shift 2 ;;
    --keep) keep=$2; mkdir -p "$keep"; shift 2 ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done
drive="$build/bin/cadrel_flow_drive"
onsets="$build/bin/cadrel_program_onsets"
for f in "$drive" "$onsets"; do
    [ -x "$f" ] || { echo "missing $f: build the bench targets first" >&2; exit 1; }
done
for tool in parec tmux pw-top; do
    command -v "$tool" >/dev/null || { echo "needs $tool (pulseaudio-utils, tmux, pipewire-bin)" >&2; exit 1; }
done

out=${keep:-$(mktemp -d /tmp/cadrel-flow-bench.XXXXXX)}
sink="$root/scripts/null-sink.sh"
busy="" started="" module=""
cleanup() {
    [ -z "$busy" ] || kill $busy 2>/dev/null || true
    tmux kill-session -t cadrel-pwtop 2>/dev/null || true
    [ -z "$module" ] || pactl unload-module "$module" 2>/dev/null || true
    for s in $started; do "$sink" "$s" stop >/dev/null || true; done
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen PULSE_SINK=cadrel_flow
unset SDL_AUDIODRIVER PULSE_LATENCY_MSEC CADREL_SOUND_DIR

# The servers the tests use, started if they are not running: two PipeWire daemons on one
# machine disturb each other (measured: 66 errors in pw-top within 15 s). The bench plays
# into a sink of its own, so that nothing else playing meanwhile is recorded.
for server in $servers; do
    if ! "$sink" "$server" status >/dev/null 2>&1; then
        "$sink" "$server" start >&2
        started="$started $server"
    fi
    PULSE_SERVER=$("$sink" "$server" address)
    export PULSE_SERVER
    runtime=${PULSE_SERVER#unix:}
    runtime=${runtime%/pulse/native}
    module=$(pactl load-module module-null-sink sink_name=cadrel_flow rate=48000 channels=2)
    for load in $loads; do
        busy=""
        if [ "$load" = loaded ]; then
            for _ in 1 2; do
                sh -c 'while :; do :; done' &
                busy="$busy $!"
            done
        fi
        run=1
        while [ "$run" -le "$runs" ]; do
            name="$server-$load-$run"
            after=$((1000 + $(od -An -N2 -tu2 /dev/urandom) % 1001))
            echo "run $name: start $after ms after launch" >&2
            parec -d cadrel_flow.monitor --format=s16le --rate=48000 --channels=1 \
                --latency-msec=100 >"$out/$name.raw" &
            rec=$!
            sleep 2.5 # an idle sink's monitor delivers its first data late
            cap=""
            if [ "$server" = pipewire ]; then
                tmux new-session -d -s cadrel-pwtop -x 200 -y 30 \
                    "XDG_RUNTIME_DIR=$runtime pw-top"
                (
                    sleep $((after / 1000 + seconds - 1))
                    tmux capture-pane -p -t cadrel-pwtop >"$out/$name.pwtop" 2>/dev/null
                ) &
                cap=$!
            fi
            "$drive" --start-after "$after" --tempo "$tempo" --seconds "$seconds" \
                >"$out/$name.txt" 2>"$out/$name.err"
            [ -z "$cap" ] || wait "$cap" 2>/dev/null || true
            sleep 0.5
            kill "$rec" 2>/dev/null || true
            wait "$rec" 2>/dev/null || true
            tmux kill-session -t cadrel-pwtop 2>/dev/null || true
            "$onsets" "$out/$name.raw" "$tempo" --list >>"$out/$name.txt"
            [ -n "$keep" ] || rm -f "$out/$name.raw"
            run=$((run + 1))
        done
        [ -z "$busy" ] || kill $busy 2>/dev/null || true
        busy=""
    done
    pactl unload-module "$module"
    module=""
done
echo "figures in $out" >&2
python3 "$here/report.py" "$out" "$tempo"
