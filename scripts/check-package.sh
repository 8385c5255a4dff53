#!/usr/bin/env bash
# Package checks. Builds the Debian package from a build folder (default: build), installs it on
# this machine with its dependencies, checks the installed files as a distribution would
# (desktop-file-validate, appstreamcli, lintian) and the installed programs as a user would (the
# menu entries' commands, in a fresh home and an empty working folder), then purges the package
# again, so the machine is left as it was. Runs as root (sudo otherwise); `.ci/run` calls it
# after the tests. Every check is reported; the exit status is 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(cd "${1:-build}" && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

failures=0
check() { # check "what is checked" command...: runs the command, reports ok or FAILED
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
fatal() {
    echo "FAILED: $*"
    exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fatal "no configured build in $build"
deb=$build/packages/vidora_${version}_amd64.deb
work=$(mktemp -d)
installed() { dpkg-query -W -f='${Status}' vidora 2>/dev/null | grep -q "install ok installed"; }
cleanup() {
    installed && $sudo dpkg -P vidora >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# --- The package -------------------------------------------------------------------------------
rm -f "$deb"
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fatal "cpack -G DEB"; }
[ -f "$deb" ] || { cat "$work/cpack.log"; fatal "cpack wrote no $deb"; }
echo "ok: cpack -G DEB wrote $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

{ $sudo dpkg -i "$deb" || $sudo apt-get -f install -y -qq; } >"$work/install.log" 2>&1 || true
installed || { cat "$work/install.log"; fatal "dpkg -i / apt-get -f install: vidora is not installed"; }
echo "ok: installed with dpkg -i (and apt-get -f install)"

# --- Installed files ---------------------------------------------------------------------------
files=(/usr/bin/vidora /usr/bin/vidora-demo /usr/bin/vidora-installer
    /usr/lib/udev/rules.d/70-halcap.rules /usr/share/vidora/halcap.rules
    /usr/share/applications/vidora.desktop /usr/share/applications/vidora-demo.desktop
    /usr/share/man/man1/vidora.1.gz /usr/share/man/man1/vidora-demo.1.gz
    /usr/share/man/man1/vidora-installer.1.gz
    /usr/share/doc/vidora/copyright /usr/share/doc/vidora/changelog.gz)
for f in ui.ini frame.bmp channel.bmp volume.bmp tool.bmp alarm.wav; do
    files+=("/usr/share/vidora/UI/$f")
done
missing=()
for f in "${files[@]}"; do [ -e "$f" ] || missing+=("$f"); done
check "installed files (${missing[*]:-all there})" [ ${#missing[@]} -eq 0 ]

icons_ok() {
    local size kind
    for size in 16 22 24 32 48 64 128 256; do
        kind=$(file -b "/usr/share/icons/hicolor/${size}x${size}/apps/vidora.png" 2>&1)
        case $kind in
            "PNG image data, $size x $size, 8-bit/color RGBA"*) ;;
            *) echo "  ${size}x${size}: $kind"; return 1 ;;
        esac
    done
}
check "program icon in the hicolor theme at 16 to 256 pixels" icons_ok

library_found() {
    local program
    for program in vidora vidora-demo; do
        ldd "/usr/bin/$program" | grep -E 'libsettingsui\.so => /usr/(bin/\.\./)?lib/(.*/)?vidora/libsettingsui\.so' \
            >/dev/null || { ldd "/usr/bin/$program" | grep -E 'settingsui|not found'; return 1; }
    done
}
check "the programs find the private settings library" library_found
man_page_found() { man -w vidora-demo >/dev/null; }
check "man vidora-demo finds its page" man_page_found

# --- What distributions check ------------------------------------------------------------------
metainfo=$(dpkg -L vidora | grep '^/usr/share/metainfo/.*\.metainfo\.xml$' || true)
menu_commands_exist() {
    local entry command
    for entry in /usr/share/applications/vidora.desktop /usr/share/applications/vidora-demo.desktop; do
        command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        command -v "$command" >/dev/null || { echo "  $entry: no program $command"; return 1; }
    done
}
check "desktop-file-validate on the menu entries" desktop-file-validate \
    /usr/share/applications/vidora.desktop /usr/share/applications/vidora-demo.desktop
check "the menu entries start installed programs" menu_commands_exist
check "appstreamcli validate on ${metainfo:-the AppStream metainfo file}" \
    appstreamcli validate --no-net ${metainfo:-/usr/share/metainfo/missing.metainfo.xml}
# Warnings fail too: those that are accepted are overridden in the package, with their reason.
lintian_clean() { # lintian's own note about running as root is left out
    lintian --fail-on error,warning "$deb" 2>&1 | { grep -v 'running with root privileges' || true; }
}
check "lintian: no errors, no warnings" lintian_clean

# --- The installed programs, as a new user starts them -----------------------------------------
home=$work/home
folder=$work/folder
mkdir -p "$home" "$folder"
as_new_user() { # runs a command in the empty working folder, with a fresh home and no display;
    # its output goes to $work/run.log, and is shown when it fails
    if (cd "$folder" && env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 \
        QT_QPA_PLATFORM=offscreen timeout 90 "$@") >"$work/run.log" 2>&1; then
        return 0
    else
        local status=$?
        echo "  $* ended with status $status:"
        sed 's/^/    /' "$work/run.log"
        return $status
    fi
}
empty() { # empty folder...: true when none of the folders holds anything
    local f
    for f in "$@"; do [ -z "$(ls -A "$f")" ] || { echo "  $f holds: $(ls -A "$f")"; return 1; }; done
}

version_printed() {
    as_new_user vidora-demo --version || return 1
    grep -qF "$version" "$work/run.log" || { echo "  it printed: $(cat "$work/run.log")"; return 1; }
}
check "vidora-demo --version prints $version" version_printed
check "--version touched neither the working folder nor the home" empty "$folder" "$home"

# The demo holds the single-instance guard while it runs: wait until no other copy does.
wait_for_no_other_instance() {
    python3 - <<'EOF'
import socket, sys, time
for _ in range(600):
    s = socket.socket(socket.AF_UNIX)
    try:
        s.bind("\0VidoraMutex")
        sys.exit(0)
    except OSError:
        time.sleep(0.2)
    finally:
        s.close()
sys.exit(1)
EOF
}
wait_for_no_other_instance || echo "note: another copy of the viewer kept running"
shot=$work/vidora-demo.png
check "vidora-demo --screenshot FILE --quit-after 6 ends with status 0" \
    as_new_user vidora-demo --screenshot "$shot" --quit-after 6
check "the screenshot shows the caption and the control panel of the installed skin" \
    python3 "$source_dir/scripts/check-screenshot.py" "$shot" /usr/share/vidora/UI
settings=$home/.local/share/vidora/vidora.cfg
check "the per-user folder holds the settings file (936 bytes)" \
    [ "$(stat -c %s "$settings" 2>/dev/null)" = 936 ]
check "the videos and pictures folders were created" \
    test -d "$home/Videos/Vidora" -a -d "$home/Pictures/Vidora"
check "the settings file records into ~/Videos/Vidora" grep -qaF "$home/Videos/Vidora" "$settings"
check "the working folder stayed empty" empty "$folder"

# --- Removal -------------------------------------------------------------------------------------
$sudo dpkg -P vidora >"$work/remove.log" 2>&1 || cat "$work/remove.log"
removed() { ! installed && [ ! -e /usr/bin/vidora ] && [ ! -e /usr/lib/udev/rules.d/70-halcap.rules ]; }
check "dpkg -P removes the programs and the udev rules" removed

echo
if [ "$failures" -ne 0 ]; then
    echo "Package checks: $failures failed"
    exit 1
fi
echo "Package checks: all passed"
