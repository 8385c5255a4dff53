#!/usr/bin/env bash
# The network stream's costs, measured side by side in one run: CPU of the process with the server
# off, on without clients and with 1 and 4 clients, at 360x288 and 720x576; and the latency from
# the live hand-over to a client's decoder (median, p99). The machine's load shows in the numbers.
# Usage: bash scripts/measure-stream.sh [build-dir] [seconds per measurement]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target stream_measure >/dev/null
"$build/bench/stream/stream_measure" "${2:-8}"
