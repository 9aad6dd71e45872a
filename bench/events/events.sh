# The events of run-events-bench.sh (sourced, bash). Each run: the sinks and recorders, the
# program launched and started at its tempo, the event about 8 s into beating (each of its steps
# marked on CLOCK_MONOTONIC), 15 s recorded after it.
#   calm      nothing happens (a baseline; with --calibrate, the stand-in's known offset)
#   move      the stream moved to another sink (pactl move-sink-input), and back 6 s later
#   default   the default sink changed (the stream follows it), and back 6 s later
#   suspend   its sink suspended for 2 s, then resumed (pactl suspend-sink)
#   quantum   PipeWire: the graph forced to 1024 frames, 5 s later to 128, 5 s later let go
#   rate      PipeWire: the graph forced to 44100 Hz, let go 6 s later
#   kill      the server killed (SIGKILL) and started again, twice, 7 s apart
#   noserver  no server at launch; one started 8 s after the press
#   two       a second instance at half the tempo started beside it, on a sink of its own
#   soak      --soak-minutes at 250 bpm with a memory- and CPU-heavy job (stress-ng) on both cores

applies() { # applies EVENT SERVER
    case "$1" in quantum | rate) [ "$2" = pipewire ] ;; *) true ;; esac
}
server_kind() {
    case "$1" in
    # Changing the default sink moves every stream that follows it: not on a server the tests
    # share. The graph's quantum and rate are forced on it, as the flow bench does.
    default) echo private ;;
    kill | noserver) echo restart ;;
    *) echo shared ;;
    esac
}

# input_of PID: the program's sink input.
input_of() {
    pactl list sink-inputs | awk -v pid="$1" '
        /^Sink Input #/ { id = substr($3, 2) }
        $1 == "application.process.id" && $3 == "\"" pid "\"" { print id; exit }'
}

run_event() { # run_event EVENT NAME
    local event=$1 name=$2 a=cadrel_events_a b=cadrel_events_b tempo=$tempo seconds=15 pid
    run_dir="$out/$name"
    mkdir -p "$run_dir"
    use_server "$(server_kind "$event")"
    [ "$event" != noserver ] || sound "$srv_dir" stop >/dev/null 2>&1 || true
    [ "$event" = soak ] && tempo=250 && seconds=$((soak_minutes * 60))
    meta "event $event"
    meta "server $server $srv_dir"
    meta "program $program"
    meta "loadavg_start $(cut -d' ' -f1-3 /proc/loadavg)"
    meta "other_pipewire $(other_pipewire)"
    local sinks="$a" env=("PULSE_SINK=$a")
    case "$event" in
    move | default | two) sinks="$a $b" ;;
    kill | noserver) sinks=cadrel_null env=() ;;
    esac
    [ "$event" = default ] && env=()
    if [ "$event" != kill ] && [ "$event" != noserver ]; then
        for s in $sinks; do add_sink "$s"; done
    fi
    [ "$event" = default ] && pactl set-default-sink "$a"
    for s in $sinks; do start_recorder "$s"; done
    sleep 2.5 # an idle sink's monitor delivers its first data late
    pwtop_start
    launch A "$tempo" 0 "${env[@]}"
    pid=$(awk '$1 == "instance" && $2 == "A" { print $6 }' "$run_dir/meta.txt")
    if [ "$event" = soak ]; then
        after_press 5
        event_ns=$(now_ns)
        mark "stress-ng --vm 2 --vm-bytes $soak_vm_bytes starts"
        stress-ng --vm 2 --vm-bytes "$soak_vm_bytes" --timeout "$((seconds + 30))s" >"$run_dir/stress.log" 2>&1 &
        bg_pids="$bg_pids $!"
        after_press 35
        pwtop_capture "30 s into the load"
        after_press $((seconds - 2))
        pwtop_capture end
        meta "loadavg_end $(cut -d' ' -f1-3 /proc/loadavg)"
        after_press "$seconds"
        end_run
        return
    fi
    after_press 7
    pwtop_capture "before the event"
    after_press 8
    event_ns=$(now_ns)
    case "$event" in
    calm) mark "nothing" ;;
    move)
        input=$(input_of "$pid")
        mark "moved to $b (sink input $input)"
        pactl move-sink-input "$input" "$b" || meta "failed move"
        sleep 0.5
        meta "streams_after_move $(pactl list short sink-inputs | awk '{ printf "%s%s@%s", s, $1, $2; s = "," }')"
        after_event 6
        input=$(input_of "$pid")
        mark "moved back to $a (sink input $input)"
        pactl move-sink-input "$input" "$a" || meta "failed move back"
        ;;
    default)
        mark "default sink $b"
        pactl set-default-sink "$b"
        after_event 6
        mark "default sink $a"
        pactl set-default-sink "$a"
        ;;
    suspend)
        mark "suspended"
        pactl suspend-sink "$a" 1
        sleep 2
        mark "resumed"
        pactl suspend-sink "$a" 0
        ;;
    quantum)
        mark "quantum 1024"
        force quantum 1024
        after_event 5
        mark "quantum 128"
        force quantum 128
        after_event 10
        mark "quantum given back"
        force quantum 0
        ;;
    rate)
        mark "rate 44100"
        force rate 44100 || meta "failed force rate"
        sleep 1.5
        pwtop_capture "rate forced"
        after_event 6
        mark "rate given back"
        force rate 0
        ;;
    kill)
        for k in 1 2; do
            [ "$k" = 1 ] || after_event 7
            mark "server killed ($k)"
            kill_server
            sleep 0.2
            sound "$srv_dir" start >/dev/null 2>&1 || meta "failed restart"
            mark "server back ($k)"
            restart_recorder cadrel_null
            pwtop_start
        done
        ;;
    noserver)
        mark "server starting"
        sound "$srv_dir" start >/dev/null 2>&1 || meta "failed start"
        mark "server up"
        restart_recorder cadrel_null
        pwtop_start
        ;;
    two)
        launch B $((tempo / 2)) 640 "PULSE_SINK=$b"
        meta "mark $press_ns second instance started at $((tempo / 2)) bpm"
        event_ns=$press_ns
        ;;
    esac
    after_event 3
    # Where the program's streams are: sink input, sink, client.
    meta "streams $(pactl list short sink-inputs 2>/dev/null | awk '{ printf "%s%s@%s", s, $1, $2; s = "," }')"
    meta "sinks $(pactl list short sinks 2>/dev/null | awk '{ printf "%s%s=%s", s, $1, $2; s = "," }')"
    after_event 14
    pwtop_capture end
    after_event 15
    meta "loadavg_end $(cut -d' ' -f1-3 /proc/loadavg)"
    end_run
    case "$event" in
    default) pactl set-default-sink cadrel_null 2>/dev/null || true ;;
    quantum) force quantum 0 2>/dev/null || true ;;
    rate) force rate 0 2>/dev/null || true ;;
    esac
}
