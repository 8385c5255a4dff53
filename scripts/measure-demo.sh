#!/usr/bin/env bash
# The demo's live view measured while it runs: the whole viewer on the simulated receiver at 25
# pictures per second, 3 s of warm-up and then a measured window (60 s unless given), in single
# and in quad layout, and once more in single layout while recording at 720x576 and 25 pictures
# per second with the alarms polled. Prints the pictures that reached the presenter and the
# pictures the GUI painted, per second, the capture-to-screen latency (median, 99th percentile),
# the process's CPU time per second (user + system of all its threads, from /proc) and the time
# from process start to the first painted picture; each on Qt's offscreen platform and on a
# virtual X display (Xvfb) when xvfb-run is installed. Runs one after another, never together.
# Usage: bash scripts/measure-demo.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vidora-demo-measure vidora_default_skin >/dev/null
tool=$(realpath "$build/bench/ui/vidora-demo-measure")

work=$(mktemp -d /tmp/vidora-measure-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$build/run/UI" "$work/"
mkdir -p "$work/RECORD" "$work/SNAPSHOT"

run() {  # label, platform, mode ("single", "quad" or "single record"), launcher...
    local label=$1 platform=$2 mode=$3
    shift 3
    rm -f "$work/vidora.cfg"
    local launcher=""
    [ $# -gt 0 ] && launcher=$(printf '%q ' "$@")
    rm -rf "$work/RECORD" && mkdir -p "$work/RECORD"
    # One viewer at a time holds "VidoraMutex": wait (up to two minutes) while another runs, and
    # give up on a run that cannot start (its "Another instance" box would wait for ever).
    for _ in $(seq 120); do
        grep -q '@VidoraMutex' /proc/net/unix || break
        sleep 1
    done
    echo "== $label, $mode: (cd <run folder> && ${launcher}env QT_QPA_PLATFORM=$platform $tool $seconds $mode)"
    # shellcheck disable=SC2086  # the mode is one or two words
    (cd "$work" && timeout $((seconds + 60)) "$@" env QT_QPA_PLATFORM="$platform" "$tool" "$seconds" $mode 2>/dev/null) ||
        echo "(no result: the run did not finish)"
}

for mode in single quad "single record"; do
    run "offscreen platform" offscreen "$mode"
    if command -v xvfb-run >/dev/null; then
        run "virtual X display" xcb "$mode" xvfb-run -a -s "-screen 0 1920x1080x24"
    fi
done
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
