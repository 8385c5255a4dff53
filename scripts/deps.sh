#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vidora need. Quiet and quick
# when everything is there already; uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools gstreamer1.0-alsa
    # the recordings player's MPEG-4 decoder (avdec_mpeg4)
    gstreamer1.0-libav
    libxvidcore-dev libjpeg62-turbo-dev libusb-1.0-0-dev
    # the event log (events.db) and the sqlite3 program its tests read it with
    libsqlite3-dev sqlite3
    libgtest-dev libgmock-dev libbenchmark-dev
    ffmpeg xvfb fonts-dejavu-core clang-format
    # the Debian package: built by CPack (dpkg-shlibdeps, file) and checked as distributions
    # check one (scripts/check-package.sh, python3 for its pixel check); xdg-user-dirs is a
    # run-time dependency of the package
    dpkg-dev file desktop-file-utils appstream lintian man-db python3 xdg-user-dirs
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
