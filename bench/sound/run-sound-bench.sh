#!/bin/sh
# Runs the click facility's timing bench on a private PulseAudio null sink, starting the server
# if it is not running yet (and stopping it again afterwards in that case).
#
#   bench/sound/run-sound-bench.sh BUILD_DIR [--seconds N] [--bpm B]...
# e.g. bench/sound/run-sound-bench.sh build-sound --seconds 10
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: $0 BUILD_DIR [--seconds N] [--bpm B]...}
shift
pulse="$root/scripts/pulse-null-sink.sh"

started=no
if ! "$pulse" status >/dev/null 2>&1; then
    "$pulse" start
    started=yes
fi
export PULSE_SERVER=unix:/tmp/cadrel-pulse/run/pulse/native
# A sink of the bench's own, so that tests playing on the shared sink meanwhile are not recorded.
module=$(pactl load-module module-null-sink sink_name=cadrel_bench rate=48000 channels=2)
status=0
"$build/bin/cadrel_sound_bench" --sink cadrel_bench "$@" || status=$?
pactl unload-module "$module"
if [ "$started" = yes ]; then
    "$pulse" stop
fi
exit "$status"
