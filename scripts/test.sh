#!/usr/bin/env bash
# Installs what is missing, builds Cadrel and runs the whole test suite: once as built for use,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test

# A private sound server with a silent sink, for the tests that record what the listener hears.
scripts/pulse-null-sink.sh start
trap 'scripts/pulse-null-sink.sh stop' EXIT

status=0
for preset in default asan; do
    echo "== $preset build =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" || status=1
done
exit $status
