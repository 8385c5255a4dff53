#!/usr/bin/env bash
# The demo's live view measured while it runs: the whole viewer on the simulated receiver in quad
# layout at 25 pictures per second, 3 s of warm-up and then a measured window (30 s unless given).
# Prints the pictures that reached the presenter and the pictures the GUI painted, per second,
# and the process's CPU time per second (user + system of all its threads, from /proc), once on
# Qt's offscreen platform and once on a virtual X display (Xvfb) when xvfb-run is installed.
# Usage: bash scripts/measure-demo.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-30}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vidora-demo-measure vidora_default_skin >/dev/null
tool=$(realpath "$build/bench/ui/vidora-demo-measure")

work=$(mktemp -d /tmp/vidora-measure-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$build/run/UI" "$work/"
mkdir -p "$work/RECORD" "$work/SNAPSHOT"

run() {  # label, platform, launcher...
    local label=$1 platform=$2
    shift 2
    rm -f "$work/vidora.cfg"
    local launcher=""
    [ $# -gt 0 ] && launcher=$(printf '%q ' "$@")
    echo "== $label: (cd <run folder> && ${launcher}env QT_QPA_PLATFORM=$platform $tool $seconds)"
    (cd "$work" && "$@" env QT_QPA_PLATFORM="$platform" "$tool" "$seconds" 2>/dev/null)
}

run "offscreen platform" offscreen
if command -v xvfb-run >/dev/null; then
    run "virtual X display" xcb xvfb-run -a -s "-screen 0 1920x1080x24"
fi
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
