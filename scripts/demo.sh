#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer on the simulated receiver.
# Without a display the viewer runs on Qt's offscreen platform for a few seconds and leaves
# build/run/vidora-demo-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build
cd build/run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    echo "No display: running headless; the screenshot goes to $(pwd)/vidora-demo-screenshot.png"
    exec ../programs/vidora-demo --screenshot vidora-demo-screenshot.png --quit-after 8
fi
exec ../programs/vidora-demo
