#!/usr/bin/env bash
# Installs what is missing, builds Cadrel and runs the whole test suite: once as built for use,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test

# Private sound servers with a silent sink, PulseAudio and PipeWire as desktops run them, for
# the tests that record what the listener hears.
trap 'scripts/null-sink.sh pulseaudio stop; scripts/null-sink.sh pipewire stop' EXIT
scripts/null-sink.sh pulseaudio start
scripts/null-sink.sh pipewire start

status=0
for preset in default asan; do
    echo "== $preset build =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
exit $status
