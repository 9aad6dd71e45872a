#!/bin/sh
# Installs the built program as a user would and checks the result:
#   check_install.sh <build folder> <scratch folder>
# 1. cmake --install into a scratch DESTDIR: files in place, desktop entry and
#    AppStream metadata accepted by their validators;
# 2. cpack -G DEB: dependencies taken from the binary, the package unpacked
#    into a scratch root, and the unpacked program started offscreen for three
#    seconds from its launcher on the PATH, with sn.wav in its own folder.
set -u
build=$(cd "$1" && pwd)
scratch=$2
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    command -v "$1" >/dev/null 2>&1 || { echo "SKIP: $1 is not installed" >&2; exit 77; }
}
need desktop-file-validate
need appstreamcli
need dpkg-deb
need cpack
need file

rm -rf "$scratch"
mkdir -p "$scratch"

# Files a desktop install needs, relative to the prefix.
check_layout() {
    prefix=$1
    for file in bin/cadrel lib/cadrel/cadrel lib/cadrel/sn.wav \
        share/applications/cadrel.desktop \
        share/metainfo/io.github.cadrel.Cadrel.metainfo.xml \
        share/icons/hicolor/scalable/apps/cadrel.svg; do
        [ -e "$prefix/$file" ] || fail "$file is missing under $prefix"
    done
    for size in 16 22 24 32 48 64 128 256; do
        icon=$prefix/share/icons/hicolor/${size}x$size/apps/cadrel.png
        if [ ! -f "$icon" ]; then
            fail "no $size by $size icon"
        elif ! file "$icon" | grep -q "PNG image data, $size x $size,"; then
            fail "$icon is not a $size by $size PNG: $(file -b "$icon")"
        fi
    done
    # Only the launcher belongs on the PATH; data files there are a packaging fault.
    extra=$(ls -A "$prefix/bin" | grep -v -x cadrel)
    [ -z "$extra" ] || fail "unexpected files in $prefix/bin: $extra"
    [ -L "$prefix/bin/cadrel" ] || fail "bin/cadrel is not a link to the program"
    program=$(readlink -f "$prefix/bin/cadrel")
    [ "$program" = "$(readlink -f "$prefix/lib/cadrel/cadrel")" ] ||
        fail "bin/cadrel leads to $program, not to lib/cadrel/cadrel"
    [ -f "$(dirname "$program")/sn.wav" ] || fail "sn.wav is not beside $program"
}

echo "== cmake --install into $scratch/destdir"
DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }
check_layout "$scratch/destdir/usr"
desktop-file-validate "$scratch/destdir/usr/share/applications/cadrel.desktop" ||
    fail "desktop-file-validate rejects the desktop entry"
appstreamcli validate --no-net \
    "$scratch/destdir/usr/share/metainfo/io.github.cadrel.Cadrel.metainfo.xml" ||
    fail "appstreamcli rejects the metainfo"

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$scratch/package") >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$scratch"/package/cadrel_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    fail "cpack made no .deb"
else
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for library in libqt6widgets6 libqt6gui6 libqt6core6 libsdl2; do
        echo "$depends" | grep -q "$library" || fail "Depends lacks $library"
    done
    [ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "the package is not in section sound"

    root=$scratch/root
    dpkg-deb -x "$deb" "$root"
    check_layout "$root/usr"
    program=$(readlink -f "$root/usr/bin/cadrel")
    if ldd "$program" | grep -q "not found"; then
        fail "libraries of the installed program are missing: $(ldd "$program" | grep 'not found')"
    fi

    # Still running when timeout stops it (status 124) means the program started
    # its window and did not fail or crash on the way.
    raw=$(mktemp /tmp/cadrel-install-XXXXXX.raw)
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=disk \
        SDL_DISKAUDIOFILE="$raw" timeout -k 2 3 "$root/usr/bin/cadrel" >"$scratch/run.log" 2>&1
    status=$?
    rm -f "$raw"
    [ "$status" -eq 124 ] ||
        fail "the installed program ended with status $status within 3 s: $(cat "$scratch/run.log")"
    if grep -q "cadrel:" "$scratch/run.log"; then
        fail "the installed program reported a problem: $(grep "cadrel:" "$scratch/run.log")"
    fi
fi

[ "$failures" -eq 0 ] && echo "install and package: all checks passed"
[ "$failures" -eq 0 ]
