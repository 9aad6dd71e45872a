#!/bin/sh
# Runs the click facility's timing bench on a private null sink of PulseAudio or PipeWire,
# starting the server if it is not running yet (and stopping it again afterwards in that case).
#
#   bench/sound/run-sound-bench.sh BUILD_DIR [--server pulseaudio|pipewire] [--seconds N] [--bpm B]...
# e.g. bench/sound/run-sound-bench.sh build/default --server pipewire --seconds 10
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: $0 BUILD_DIR [--server pulseaudio|pipewire] [--seconds N] [--bpm B]...}
shift
server=pulseaudio
if [ "${1:-}" = --server ]; then
    server=$2
    shift 2
fi
sink="$root/scripts/null-sink.sh"

started=no
if ! "$sink" "$server" status >/dev/null 2>&1; then
    "$sink" "$server" start
    started=yes
fi
PULSE_SERVER=$("$sink" "$server" address)
export PULSE_SERVER
unset SDL_AUDIODRIVER
# A sink of the bench's own, so that tests playing on the shared sink meanwhile are not recorded.
module=$(pactl load-module module-null-sink sink_name=cadrel_bench rate=48000 channels=2)
status=0
"$build/bin/cadrel_sound_bench" --sink cadrel_bench "$@" || status=$?
pactl unload-module "$module"
if [ "$started" = yes ]; then
    "$sink" "$server" stop
fi
exit "$status"
