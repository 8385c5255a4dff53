#!/usr/bin/env bash
# Configures (once) and builds Vidora in ./build (or the folder given as $1 with extra cmake args).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
# Only warnings and errors are shown; pipefail keeps the build's own status.
cmake --build "$dir" -j"$(nproc)" 2>&1 | { grep -vE '^\[[0-9]+/[0-9]+\] |^ninja: no work to do' || true; }
