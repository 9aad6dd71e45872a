#!/usr/bin/env bash
# Quick start: installs what is missing, builds Cadrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/default/bin/cadrel "$@"
