#!/bin/sh
# The user's first minute, measured from what the listener hears: for each sound server
# (PulseAudio, and PipeWire with its PulseAudio server), each PipeWire quantum and each load, it
# runs the driver N times on a null sink of its own. Each run types the tempo and presses start
# 1-2 s after launch, beats for S seconds, and records the sink's monitor; on PipeWire, pw-top is
# read while the run beats (the graph's quantum, and the stream's error count near the end). The
# report prints one line a run, a summary a condition and a table of all conditions. Asserts
# nothing.
#
#   bench/flow/run-flow-bench.sh [--build DIR] [--runs N] [--seconds S] [--tempo BPM]
#                                [--servers "pulseaudio pipewire"]
#                                [--loads "quiet build loaded"]
#                                [--quanta "default 128 256 1024 change"] [--keep DIR]
# e.g. bench/flow/run-flow-bench.sh --runs 10 --seconds 10 --servers pipewire --quanta "128 change"
#
# Loads: quiet (nothing of the bench's own beside; other users of the machine are not stopped,
# the load average is kept with each run), build (the measured tree compiled again and again
# with one job, in a build folder of its own), loaded (two busy loops, one per core).
# Quanta (PipeWire only): default leaves the graph to choose; a number forces it with
# `pw-metadata -n settings 0 clock.force-quantum N` for the run; change forces 256 at launch,
# 1024 a few seconds into beating, 128 as long again later, then lets go (0), with steps of
# (S-1)/3 s, at most 4 s, so that all three fall while it beats, each put off by a random part
# of a beat (the same in a run), as another program's change falls anywhere between two clicks
# (a step of whole beats would put every change on a click). The force is lifted (0) at the
# end. The setting is the server's own: every graph of that server follows it meanwhile.
# Besides the onset finder's clicks, every sound's start is listed (sound_starts.py), so that a
# sound too soft for the finder is still counted and its spacing shown.
# The recorder asks for 100 ms of latency (parec --latency-msec=100), so that it does not set
# the graph's quantum itself: on PipeWire a recorder asking for little latency would force a
# quantum of 256 on the sink it records.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/default"
runs=10 seconds=30 tempo=240 servers="pulseaudio pipewire" loads="quiet build loaded"
quanta="default" keep="" rec_latency=100
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --tempo) tempo=$2; shift 2 ;;
    --servers) servers=$2; shift 2 ;;
    --loads) loads=$2; shift 2 ;;
    --quanta) quanta=$2; shift 2 ;;
    --keep) keep=$2; mkdir -p "$keep"; shift 2 ;;
    *) sed -n '2,28p' "$0" >&2; exit 2 ;;
    esac
done
drive="$build/bin/cadrel_flow_drive"
onsets="$build/bin/cadrel_program_onsets"
for f in "$drive" "$onsets"; do
    [ -x "$f" ] || { echo "missing $f: build the bench targets first" >&2; exit 1; }
done
for tool in parec pactl tmux pw-top pw-metadata; do
    command -v "$tool" >/dev/null || { echo "needs $tool (pulseaudio-utils, tmux, pipewire-bin)" >&2; exit 1; }
done
# The build load compiles the tree the measured driver was built from.
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -n "$source_dir" ] || source_dir=$root
load_build=/tmp/cadrel-bench-build

out=${keep:-$(mktemp -d /tmp/cadrel-flow-bench.XXXXXX)}
sink="$root/scripts/null-sink.sh"
busy="" group="" started="" module="" runtime=""
now() { date +%s.%N; }
stop_load() {
    [ -z "$busy" ] || kill $busy 2>/dev/null || true
    busy=""
    if [ -n "$group" ]; then
        /bin/kill -s TERM -- "-$group" 2>/dev/null || true
        sleep 0.5
        /bin/kill -s KILL -- "-$group" 2>/dev/null || true
    fi
    group=""
}
force_quantum() { # force_quantum N: 0 lets the graph choose again
    XDG_RUNTIME_DIR=$runtime pw-metadata -n settings 0 clock.force-quantum "$1" >/dev/null
}
cleanup() {
    stop_load
    tmux kill-session -t cadrel-flow-pwtop 2>/dev/null || true
    [ -z "$runtime" ] || force_quantum 0 2>/dev/null || true
    [ -z "$module" ] || pactl unload-module "$module" 2>/dev/null || true
    for s in $started; do "$sink" "$s" stop >/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export QT_QPA_PLATFORM=offscreen PULSE_SINK=cadrel_flow
unset SDL_AUDIODRIVER PULSE_LATENCY_MSEC CADREL_SOUND_DIR

start_load() { # start_load quiet|build|loaded
    case "$1" in
    loaded)
        for _ in 1 2; do
            sh -c 'while :; do :; done' &
            busy="$busy $!"
        done
        ;;
    build)
        rm -f "$out/.build-load.pgid"
        # A session of its own, so that the compilers it starts go with it.
        setsid sh -c 'echo $$ >"$1"; while :; do
                cmake -S "$2" -B "$3" -DCMAKE_BUILD_TYPE=Debug >/dev/null 2>&1 || sleep 1
                cmake --build "$3" -j1 --clean-first >/dev/null 2>&1 || sleep 1
            done' build-load "$out/.build-load.pgid" "$source_dir" "$load_build" \
            </dev/null >/dev/null 2>&1 &
        i=0
        while [ ! -s "$out/.build-load.pgid" ] && [ "$i" -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
        group=$(cat "$out/.build-load.pgid" 2>/dev/null || true)
        sleep 5 # under way before the first run
        ;;
    esac
}

# pwtop_capture LABEL: appends pw-top's screen, under a line naming when it was taken.
pwtop_capture() {
    {
        echo "@@ $1"
        tmux capture-pane -p -t cadrel-flow-pwtop 2>/dev/null || true
    } >>"$pwtop"
}

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
    server_runtime=${PULSE_SERVER#unix:}
    server_runtime=${server_runtime%/pulse/native}
    server_quanta=-
    if [ "$server" = pipewire ]; then
        runtime=$server_runtime
        server_quanta=$quanta
    fi
    module=$(pactl load-module module-null-sink sink_name=cadrel_flow rate=48000 channels=2)
    # The first recording of a new sink's monitor starts a second or two late: one is made and
    # thrown away. On PulseAudio most later ones start late too (measured: 0.6-1.9 s of 15
    # missing), which the 2.5 s before launch covers; the report shows each recording's loss.
    parec -d cadrel_flow.monitor --format=s16le --rate=48000 --channels=1 \
        --latency-msec=$rec_latency >/dev/null &
    rec=$!
    sleep 3
    kill "$rec" 2>/dev/null || true
    wait "$rec" 2>/dev/null || true
    for quantum in $server_quanta; do
        for load in $loads; do
            case "$quantum" in
            -) condition="$server-$load" ;;
            *) condition="$server-q$quantum-$load" ;;
            esac
            echo "condition $condition: load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
            start_load "$load"
            run=1
            while [ "$run" -le "$runs" ]; do
                name="$condition-$run"
                txt="$out/$name.txt" pwtop="$out/$name.pwtop"
                rm -f "$pwtop"
                after=$((1000 + $(od -An -N2 -tu2 /dev/urandom) % 1001))
                forced=-
                case "$quantum" in
                -) ;;
                default) forced=0 ;;
                change) forced=256 ;;
                *) forced=$quantum ;;
                esac
                [ "$forced" = - ] || force_quantum "$forced"
                {
                    echo "bench.server $server"
                    echo "bench.quantum $quantum"
                    echo "bench.load $load"
                    echo "bench.seconds $seconds"
                    echo "bench.start_after_ms $after"
                    echo "bench.loadavg $(cut -d' ' -f1 /proc/loadavg)"
                } >"$txt"
                rec_start=$(now)
                parec -d cadrel_flow.monitor --format=s16le --rate=48000 --channels=1 \
                    --latency-msec=$rec_latency >"$out/$name.raw" &
                rec=$!
                sleep 2.5 # an idle sink's monitor delivers its first data late
                watcher=""
                if [ "$server" = pipewire ]; then
                    tmux new-session -d -s cadrel-flow-pwtop -x 200 -y 60 \
                        "XDG_RUNTIME_DIR=$runtime pw-top"
                    # Times from launch: the press comes after/1000 s in, the first click a
                    # period later. The quantum is read 2 s into beating and after each change;
                    # the error count a second before the end.
                    first=$(awk -v a="$after" 'BEGIN { printf "%.2f", a / 1000 + 2 }')
                    last=$(awk -v a="$after" -v s="$seconds" 'BEGIN { printf "%.2f", a / 1000 + s - 1 }')
                    step=$(awk -v s="$seconds" 'BEGIN { t = (s - 1) / 3; if (t > 4) t = 4; printf "%.2f", t }')
                    phase=$(awk -v r="$(od -An -N2 -tu2 /dev/urandom)" -v b="$tempo" \
                        'BEGIN { printf "%.3f", r / 65536 * 60 / b }')
                    (
                        launched=$(now)
                        at() { # at SECONDS: sleeps until SECONDS after launch
                            awk -v l="$launched" -v t="$1" -v n="$(now)" \
                                'BEGIN { d = l + t - n; if (d < 0) d = 0; printf "%.3f", d }' | xargs sleep
                        }
                        at "$first"
                        pwtop_capture "beating $first s"
                        if [ "$quantum" = change ]; then
                            k=1
                            for q in 1024 128 0; do
                                t=$(awk -v a="$after" -v s="$step" -v k="$k" -v p="$phase" 'BEGIN { printf "%.3f", a / 1000 + k * s + p }')
                                at "$t"
                                force_quantum "$q"
                                echo "bench.forced $q at $t s after launch" >>"$txt.schedule"
                                at "$(awk -v t="$t" 'BEGIN { printf "%.2f", t + 1.5 }')"
                                pwtop_capture "forced $q at $t s, read 1.5 s later"
                                k=$((k + 1))
                            done
                        fi
                        at "$last"
                        pwtop_capture "end $last s"
                    ) &
                    watcher=$!
                fi
                launch=$(now)
                "$drive" --start-after "$after" --tempo "$tempo" --seconds "$seconds" \
                    >>"$txt" 2>"$out/$name.err"
                [ -z "$watcher" ] || wait "$watcher" 2>/dev/null || true
                sleep 0.5
                kill "$rec" 2>/dev/null || true
                wait "$rec" 2>/dev/null || true
                rec_stop=$(now)
                tmux kill-session -t cadrel-flow-pwtop 2>/dev/null || true
                if [ -f "$txt.schedule" ]; then
                    cat "$txt.schedule" >>"$txt"
                    rm -f "$txt.schedule"
                fi
                awk -v a="$rec_start" -v b="$rec_stop" -v l="$launch" 'BEGIN {
                    printf "bench.rec_wall_s %.3f\nbench.launch_in_rec_s %.3f\n", b - a, l - a }' >>"$txt"
                "$onsets" "$out/$name.raw" "$tempo" --list >>"$txt"
                python3 "$here/sound_starts.py" "$out/$name.raw" >>"$txt"
                [ -n "$keep" ] || rm -f "$out/$name.raw"
                q=""
                [ ! -f "$pwtop" ] || q=", quantum $(awk '$NF == "cadrel_flow" { printf "%s%s", s, $3; s = ">" }' "$pwtop")"
                echo "run $name: start $after ms after launch$q; beats $(sed -n 's/^beats //p' "$txt"), recorded $(sed -n 's/^rec.onsets //p' "$txt"), dropouts $(sed -n 's/^sound.dropouts //p' "$txt")" >&2
                run=$((run + 1))
            done
            stop_load
        done
    done
    if [ "$server" = pipewire ]; then
        force_quantum 0
    fi
    pactl unload-module "$module"
    module=""
done
rm -f "$out/.build-load.pgid"
echo "figures in $out" >&2
python3 "$here/report.py" "$out" "$tempo"
