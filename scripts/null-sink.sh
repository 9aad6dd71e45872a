#!/bin/sh
# Starts or stops a private sound server whose only sink is a null sink, for the sound tests and
# the benches: PulseAudio itself, or PipeWire with its PulseAudio server (pipewire-pulse), as the
# desktops run them. Either way clients reach it with
#   PULSE_SERVER=unix:$dir/run/pulse/native
# and record the sink with `parec -d cadrel_null.monitor`. Its folders are private, so it cannot
# collide with a user's own server or with the other kind.
#
# Usage: scripts/null-sink.sh pulseaudio|pipewire start|stop|status|address|pause|resume
# pause stops the server's processes where they are (as a hung server would), resume lets them
# go on.
# The folder is $CADREL_SOUND_DIR, by default /tmp/cadrel-pulseaudio or /tmp/cadrel-pipewire.
set -eu

kind=${1:-}
case "$kind" in
pulseaudio | pipewire) ;;
*)
    echo "usage: $0 pulseaudio|pipewire start|stop|status|address|pause|resume" >&2
    exit 2
    ;;
esac
base=${CADREL_SOUND_DIR:-/tmp/cadrel-$kind}
sink=cadrel_null
export XDG_RUNTIME_DIR="$base/run" XDG_CONFIG_HOME="$base/cfg" XDG_STATE_HOME="$base/state"
export HOME="$base/home" PULSE_SERVER="unix:$base/run/pulse/native"
# Neither server may reach a desktop session's bus or display.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE PULSE_RUNTIME_PATH

pids() {
    for f in "$base"/*.pid "$XDG_RUNTIME_DIR/pulse/pid"; do
        [ -f "$f" ] && cat "$f"
    done
    return 0
}

running() {
    pactl info >/dev/null 2>&1
}

wait_until() { # wait_until TENTHS COMMAND...: polls COMMAND every 0.1 s
    tenths=$1
    shift
    i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ "$i" -le "$tenths" ] || return 1
        sleep 0.1
    done
}

start_pulseaudio() {
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --disallow-exit \
        --log-target="file:$base/server.log" \
        --load="module-null-sink sink_name=$sink rate=48000 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1" 2>>"$base/server.log"
}

# WirePlumber 0.4 ends at once without a session bus unless its device monitors and the
# flatpak portal are off; a null sink needs none of them.
configure_wireplumber() {
    mkdir -p "$XDG_CONFIG_HOME/wireplumber/main.lua.d" "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d"
    cat >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/60-headless.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
EOF
    echo 'bluez_monitor.enabled = false' \
        >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/60-headless.lua"
}

start_pipewire() {
    configure_wireplumber
    pipewire >>"$base/server.log" 2>&1 &
    echo $! >"$base/pipewire.pid"
    wait_until 100 test -S "$XDG_RUNTIME_DIR/pipewire-0" || return 1
    wireplumber >>"$base/server.log" 2>&1 &
    echo $! >"$base/wireplumber.pid"
    pipewire-pulse >>"$base/server.log" 2>&1 &
    echo $! >"$base/pipewire-pulse.pid"
    wait_until 100 pactl info || return 1
    pactl load-module module-null-sink sink_name=$sink rate=48000 channels=2 >/dev/null
    wait_until 100 sh -c "pactl list short sources | grep -q '$sink.monitor'"
}

stop() {
    list=$(pids)
    [ -n "$list" ] || return 0
    # shellcheck disable=SC2086
    kill -s CONT $list 2>/dev/null || true
    # shellcheck disable=SC2086
    kill $list 2>/dev/null || true
    for pid in $list; do
        i=0
        while kill -0 "$pid" 2>/dev/null && [ "$i" -lt 50 ]; do
            i=$((i + 1))
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -f "$base"/*.pid
}

case "${2:-}" in
start)
    if running; then
        echo "null-sink: $kind already running ($PULSE_SERVER)"
        exit 0
    fi
    stop # whatever is left of an earlier server
    mkdir -p -m700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$HOME"
    rm -rf "$XDG_RUNTIME_DIR/pulse" "$XDG_RUNTIME_DIR"/pipewire-0*
    if ! "start_$kind" || ! wait_until 100 pactl info; then
        echo "null-sink: $kind did not come up; see $base/server.log" >&2
        stop
        exit 1
    fi
    pactl set-default-sink "$sink"
    echo "null-sink: $kind started ($PULSE_SERVER, sink $sink)"
    ;;
stop)
    stop
    echo "null-sink: $kind stopped"
    ;;
status)
    if running; then
        echo "null-sink: $kind running ($PULSE_SERVER)"
    else
        echo "null-sink: $kind not running"
        exit 1
    fi
    ;;
address)
    echo "$PULSE_SERVER"
    ;;
pause | resume)
    signal=STOP
    [ "$2" = resume ] && signal=CONT
    # shellcheck disable=SC2046
    kill -s "$signal" $(pids)
    ;;
*)
    echo "usage: $0 pulseaudio|pipewire start|stop|status|address|pause|resume" >&2
    exit 2
    ;;
esac
