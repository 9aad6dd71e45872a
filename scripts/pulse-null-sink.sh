#!/bin/sh
# Starts or stops a private PulseAudio server whose only sink is a null sink, for the sound
# tests and the sound bench. Clients reach it with
#   PULSE_SERVER=unix:/tmp/cadrel-pulse/run/pulse/native
# (the tests set that themselves) and record the sink with `parec -d cadrel_null.monitor`.
# Its runtime folder is private, so it cannot collide with a user's own server.
#
# Usage: scripts/pulse-null-sink.sh start|stop|status
set -eu

base=${CADREL_PULSE_DIR:-/tmp/cadrel-pulse}
sink=cadrel_null
export XDG_RUNTIME_DIR="$base/run" XDG_CONFIG_HOME="$base/cfg" HOME="$base/home"
export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
pidfile="$XDG_RUNTIME_DIR/pulse/pid"

running() {
    [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

case "${1:-}" in
start)
    if running; then
        echo "pulse-null-sink: already running ($PULSE_SERVER)"
        exit 0
    fi
    mkdir -p -m700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$HOME"
    # Quiet the "running as root" warning in the log file rather than on the terminal.
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --disallow-exit \
        --log-target="file:$base/pulse.log" \
        --load="module-null-sink sink_name=$sink rate=48000 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1" 2>>"$base/pulse.log"
    # Wait until the server answers (it needs a moment to create its socket).
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1))
        if [ "$i" -gt 100 ]; then
            echo "pulse-null-sink: server did not come up; see $base/pulse.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    pactl set-default-sink "$sink"
    echo "pulse-null-sink: started ($PULSE_SERVER, sink $sink)"
    ;;
stop)
    if running; then
        pid=$(cat "$pidfile")
        kill "$pid"
        i=0
        while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 50 ]; do
            i=$((i + 1))
            sleep 0.1
        done
        echo "pulse-null-sink: stopped"
    else
        echo "pulse-null-sink: not running"
    fi
    ;;
status)
    if running; then
        echo "pulse-null-sink: running ($PULSE_SERVER)"
    else
        echo "pulse-null-sink: not running"
        exit 1
    fi
    ;;
*)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
