# Helpers of run-events-bench.sh (sourced, bash): the sound servers, the program driven on the X
# server, the recorders and pw-top. Each run writes into $run_dir:
#   meta.txt          key value lines, and "mark NS LABEL" for each step of the event
#   rec-SINK.raw/.txt a sink's monitor (s16le mono 48 kHz) and its timeline (cadrel_events_record)
#   watch-I.txt       instance I's light changes (cadrel_picture_watch)
#   program-I.err     instance I's standard error, each line after the CLOCK_MONOTONIC it came at
#   pwtop.txt         pw-top's screen before the event and at the end (PipeWire)

now_ns() { "$record" --now; }
meta() { echo "$*" >>"$run_dir/meta.txt"; }
mark() { meta "mark $(now_ns) $*"; }
# at_ns NS: sleeps until CLOCK_MONOTONIC reaches NS.
at_ns() {
    local d
    d=$(awk -v t="$1" -v n="$(now_ns)" 'BEGIN { d = (t - n) / 1e9; if (d < 0) d = 0; printf "%.3f", d }')
    sleep "$d"
}
after_press() { at_ns $((press_ns + $1 * 1000000000)); }      # after_press SECONDS
after_event() { at_ns $((event_ns + ${1%.*} * 1000000000)); } # after_event SECONDS

# Servers. The standard servers of scripts/null-sink.sh are used, with sinks of the bench's own,
# when they run and the event changes nothing the whole server shares; otherwise a private one
# in /tmp/cadrel-events-SERVER (or -restart, for the events that stop it), started here and
# stopped again by stop_servers.
sound() { CADREL_SOUND_DIR=$1 "$root/scripts/null-sink.sh" "$server" "${@:2}"; }
standard_up() { env -u CADREL_SOUND_DIR "$root/scripts/null-sink.sh" "$server" status >/dev/null 2>&1; }
use_server() { # use_server shared|private|restart: sets srv_dir, PULSE_SERVER
    local kind=$1 dir
    case "$kind" in
    shared) if standard_up; then
        for other in $started; do stop_server "$other"; done
        srv_dir=/tmp/cadrel-$server
        export PULSE_SERVER=unix:$srv_dir/run/pulse/native
        return
    fi
    dir=/tmp/cadrel-events-$server ;;
    private) dir=/tmp/cadrel-events-$server ;;
    restart) dir=/tmp/cadrel-events-$server-restart ;;
    esac
    # One PipeWire daemon of the bench's at a time: two disturb each other.
    for other in $started; do
        [ "$other" = "$server:$dir" ] || stop_server "$other"
    done
    srv_dir=$dir
    export PULSE_SERVER=unix:$srv_dir/run/pulse/native
    case " $started " in *" $server:$dir "*) return ;; esac
    if [ "$kind" = restart ] && [ "$event" = noserver ]; then
        started="$started $server:$dir" # run_event stops it
        return
    fi
    sound "$dir" start >&2
    started="$started $server:$dir"
}
stop_server() { # stop_server SERVER:DIR
    server_saved=$server
    server=${1%%:*}
    sound "${1#*:}" stop >/dev/null 2>&1 || true
    server=$server_saved
    started=$(echo " $started " | sed "s| $1 | |; s/^ *//; s/ *$//")
}
stop_servers() { for s in $started; do stop_server "$s"; done; }
# kill_server: SIGKILL to the private server's processes (started by this bench).
kill_server() {
    local pids
    pids=$(cat "$srv_dir"/*.pid "$srv_dir/run/pulse/pid" 2>/dev/null | sort -u || true)
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill -s KILL $pids 2>/dev/null || true
}
# other_pipewire: PipeWire daemons running that are not the one in use (they disturb each other).
other_pipewire() {
    local mine n=0
    mine=$(cat "$srv_dir/pipewire.pid" 2>/dev/null || true)
    for p in $(pgrep -x pipewire || true); do [ "$p" = "$mine" ] || n=$((n + 1)); done
    echo "$n"
}

add_sink() { # add_sink NAME: a null sink of the bench's own, unloaded at the end of the run
    local m
    m=$(pactl load-module module-null-sink "sink_name=$1" rate=48000 channels=2)
    modules="$modules $m"
    local i=0
    until pactl list short sources | grep -q "$1.monitor" || [ "$i" -ge 50 ]; do sleep 0.1; i=$((i + 1)); done
}
drop_sinks() {
    for m in $modules; do pactl unload-module "$m" 2>/dev/null || true; done
    modules=""
}

# On PipeWire the sinks are recorded natively (the native listener stamps each buffer with the
# graph cycle the sink played it in; a PulseAudio client's readings are off by up to a cycle
# there). The native listener does not connect again after a restart: restart_recorder starts
# a new one, adding to the same recording, once the server is back.
native() { [ "$server" = pipewire ] && [ -x "$listen_pw" ]; }
start_recorder() { # start_recorder SINK
    if native; then
        restart_recorder "$1" new
    else
        "$record" "$1.monitor" "$run_dir/rec-$1.raw" --latency-ms "$rec_latency" \
            >"$run_dir/rec-$1.txt" 2>>"$run_dir/rec.err" &
        meta "recording $1"
        bg_pids="$bg_pids $!"
    fi
}
declare -A native_pids=()
restart_recorder() { # restart_recorder SINK [new]: the native listener, on a server (back) up
    native || return 0
    local pid=${native_pids[$1]:-} i=0
    if [ "${2:-}" = new ]; then
        : >"$run_dir/rec-$1.raw"
        : >"$run_dir/rec-$1.txt"
    elif [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
        kill -0 "$pid" 2>/dev/null && kill -s KILL "$pid" 2>/dev/null
        i=0
    fi
    native_pids[$1]=""
    if ! pactl info >/dev/null 2>&1; then
        meta "no server yet to record $1 natively"
        return 0
    fi
    # The sink itself, or the listener would record whichever the server offers.
    until pactl list short sinks | grep -q "	$1	" || [ "$i" -ge 80 ]; do sleep 0.1; i=$((i + 1)); done
    XDG_RUNTIME_DIR=$srv_dir/run "$listen_pw" "$1" --latency $((rec_latency * 48)) \
        --raw "$run_dir/rec-$1.raw" --append >>"$run_dir/rec-$1.txt" 2>>"$run_dir/rec.err" &
    native_pids[$1]=$!
    meta "recording $1 natively"
    bg_pids="$bg_pids $!"
}

# launch NAME TEMPO X [ENV...]: starts the program (or the calibration stand-in), places its
# window at X, watches its light, types the tempo into the box and presses Alt+A as a user
# would. Sets press_ns (the moment Alt+A was sent).
launch() {
    local name=$1 tempo=$2 x=$3 pid window="" known i=0
    shift 3
    known=$(xdotool search --onlyvisible --name '^Ritmolino$' 2>/dev/null || true)
    if [ -n "$calibrate" ]; then
        env "$@" "$calibrate_bin" --offset "$calibrate" --bpm "$tempo" --seconds 600 \
            >"$run_dir/calibrate-$name.txt" 2> >(stamp >"$run_dir/program-$name.err") &
    else
        env "$@" "$program" 2> >(stamp >"$run_dir/program-$name.err") >/dev/null &
    fi
    pid=$!
    bg_pids="$bg_pids $pid"
    # Its window: the one named Ritmolino that was not there before.
    while [ -z "$window" ] && [ "$i" -lt 200 ]; do
        window=$(xdotool search --onlyvisible --name '^Ritmolino$' 2>/dev/null |
            grep -vxF "${known:-none}" | head -n 1 || true)
        [ -n "$window" ] || sleep 0.05
        i=$((i + 1))
    done
    xdotool windowmove --sync "$window" "$x" 0 2>/dev/null || true
    "$watch" --window "$window" >"$run_dir/watch-$name.txt" 2>>"$run_dir/watch.err" &
    bg_pids="$bg_pids $!"
    meta "instance $name tempo $tempo pid $pid window $window"
    if [ -n "$calibrate" ]; then
        press_ns=$(now_ns)
    else
        sleep 0.5
        xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
        xdotool mousemove --window "$window" 168 459 click 1
        sleep 0.3
        xdotool key End shift+Home
        xdotool type --delay 100 "$tempo"
        sleep 0.3
        press_ns=$(now_ns)
        xdotool key alt+a
    fi
    meta "press $name $press_ns"
}
stamp() { python3 -u -c 'import sys, time
for line in sys.stdin:
    print(time.monotonic_ns(), line.rstrip("\n"), flush=True)'; }

# pw-top's screen, read through tmux (it has no batch mode here).
pwtop_start() {
    [ "$server" = pipewire ] || return 0
    tmux kill-session -t cadrel-events-pwtop 2>/dev/null || true
    tmux new-session -d -s cadrel-events-pwtop -x 200 -y 60 \
        "XDG_RUNTIME_DIR=$srv_dir/run pw-top"
}
pwtop_capture() { # pwtop_capture LABEL
    [ "$server" = pipewire ] || return 0
    { echo "@@ $1"; tmux capture-pane -p -t cadrel-events-pwtop 2>/dev/null || true; } >>"$run_dir/pwtop.txt"
}
pwtop_stop() { tmux kill-session -t cadrel-events-pwtop 2>/dev/null || true; }
force() { # force quantum|rate N
    XDG_RUNTIME_DIR=$srv_dir/run pw-metadata -n settings 0 "clock.force-$1" "$2" >/dev/null
}

end_run() {
    for p in $bg_pids; do kill "$p" 2>/dev/null || true; done
    for p in $bg_pids; do wait "$p" 2>/dev/null || true; done
    bg_pids=""
    pwtop_stop
    drop_sinks
}
