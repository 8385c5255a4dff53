#!/usr/bin/env bash
# `cmake --install` of a built tree into a scratch prefix, as a user installing from source does:
# exactly the files a desktop installation needs, programs that find their private settings
# library wherever the tree is moved, manual pages that name the prefix's own folders and
# format without warnings, and `--strip` stripping every program.
# usage: install_tree_test.sh BUILD_FOLDER
set -uo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; echo "FAILED: cmake --install"; exit 1; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
metainfo=$(cd "$prefix" && ls share/metainfo/*.metainfo.xml 2>/dev/null)

expected() {
    printf '%s\n' bin/vidora bin/vidora-demo bin/vidora-installer \
        "$libdir/vidora/libsettingsui.so" lib/udev/rules.d/70-halcap.rules \
        share/applications/vidora.desktop share/applications/vidora-demo.desktop \
        "${metainfo:-share/metainfo/<id>.metainfo.xml}" \
        share/man/man1/vidora.1.gz share/man/man1/vidora-demo.1.gz \
        share/man/man1/vidora-installer.1.gz \
        share/doc/vidora/copyright share/doc/vidora/changelog.gz \
        share/vidora/halcap.rules
    local f size
    for f in ui.ini frame.bmp channel.bmp volume.bmp tool.bmp alarm.wav; do
        echo "share/vidora/UI/$f"
    done
    for size in 16 22 24 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x${size}/apps/vidora.png"
    done
}
same_files() {
    (cd "$prefix" && find . -type f -o -type l) | sed 's#^\./##' | sort >"$scratch/found"
    expected | sort >"$scratch/expected"
    diff "$scratch/expected" "$scratch/found" | sed -n 's/^</  missing:/p; s/^>/  unexpected:/p'
    cmp -s "$scratch/expected" "$scratch/found"
}
check "the installed files are exactly the desktop installation's" same_files

finds_library() { # finds_library TREE: both viewers load libsettingsui.so from TREE
    local program line
    for program in vidora vidora-demo; do
        line=$(ldd "$1/bin/$program" | grep settingsui)
        [[ $line == *"=> $1/bin/../$libdir/vidora/libsettingsui.so"* ]] ||
            { echo "  $program: ${line:-no settings library}"; return 1; }
    done
}
check "the programs load the settings library of their own tree" finds_library "$prefix"
moved=$scratch/moved
mv "$prefix" "$moved"
check "... also after the tree was moved" finds_library "$moved"

man_page_names() { # man_page_names PAGE TEXT: the formatted page mentions TEXT
    zcat "$moved/share/man/man1/$1" | grep -qF "$2" || { echo "  $1 lacks $2"; return 1; }
}
check "vidora(1) names the prefix's skin folder and udev rules" \
    man_page_names vidora.1.gz "$prefix/share/vidora/UI"
check "vidora-installer(1) names the prefix's driver package folder" \
    man_page_names vidora-installer.1.gz "cd $prefix/share/vidora"
check "vidora-demo(1) is a link to vidora(1)" \
    test "$(readlink "$moved/share/man/man1/vidora-demo.1.gz")" = vidora.1.gz
formats_cleanly() {
    local page warnings
    for page in vidora.1.gz vidora-installer.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$moved/share/man/man1/$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || { echo "  $page: $warnings"; return 1; }
    done
}
check "the manual pages format without warnings" formats_cleanly

stripped=$scratch/stripped
cmake --install "$build" --prefix "$stripped" --strip >/dev/null 2>&1
all_stripped() {
    local f kind
    for f in bin/vidora bin/vidora-demo bin/vidora-installer "$libdir/vidora/libsettingsui.so"; do
        kind=$(file -b "$stripped/$f")
        [[ $kind == *", stripped"* ]] || { echo "  $f: $kind"; return 1; }
    done
}
check "cmake --install --strip strips every program and the library" all_stripped

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
