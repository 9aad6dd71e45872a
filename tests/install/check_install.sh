#!/bin/sh
# Installs the built program as a user would and checks the result:
#   check_install.sh <build folder> <scratch folder>
# 1. cmake --install into a scratch DESTDIR: files in place, desktop entry and
#    AppStream metadata accepted by their validators;
# 2. the manual pages render without warnings, English and Italian;
# 3. cpack -G DEB: dependencies taken from the binary, lintian silent on it, the
#    package unpacked into a scratch root, its command line answering without a
#    display, and the unpacked program started offscreen for three seconds from
#    its launcher on the PATH, with sn.wav in its own folder;
# 4. as root, on a machine without the package: installed with dpkg, run, and
#    purged again, leaving none of its files behind.
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
need lintian
need man

rm -rf "$scratch"
mkdir -p "$scratch"

# Files a desktop install needs, relative to the prefix.
check_layout() {
    prefix=$1
    for file in bin/cadrel lib/cadrel/cadrel lib/cadrel/sn.wav \
        share/man/man1/cadrel.1.gz share/man/it/man1/cadrel.1.gz \
        share/doc/cadrel/copyright share/doc/cadrel/changelog.gz \
        share/applications/cadrel.desktop \
        share/metainfo/io.github.cadrel.cadrel.metainfo.xml \
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
# Clean even to the pedantic eye: appstreamcli passes files with hints, so any hint fails here.
appstreamcli validate --pedantic --no-net \
    "$scratch/destdir/usr/share/metainfo/io.github.cadrel.cadrel.metainfo.xml" \
    >"$scratch/appstream.log" 2>&1 || fail "appstreamcli rejects the metainfo: $(cat "$scratch/appstream.log")"
! grep -q "^[EWIP]: " "$scratch/appstream.log" ||
    fail "appstreamcli has remarks on the metainfo: $(cat "$scratch/appstream.log")"
grep -q "^StartupWMClass=Cadrel$" "$scratch/destdir/usr/share/applications/cadrel.desktop" ||
    fail "the desktop entry does not name the window's class, Cadrel"

echo "== man"
for page in man1/cadrel.1.gz it/man1/cadrel.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
        "$scratch/destdir/usr/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$scratch/destdir/usr/share/man/$page" 2>/dev/null |
        grep -q "SDL_AUDIODRIVER" || fail "$page does not tell how to choose another output"
done

# expect_run STATUS TEXT ARGUMENTS...: the program, without any display (but what $with sets),
# ends with STATUS and says TEXT on its standard output or error.
with=
expect_run() {
    status=$1 text=$2
    shift 2
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $with timeout 10 "$program" "$@" 2>&1)
    got=$?
    [ "$got" -eq "$status" ] || fail "cadrel $* ended with $got, not $status: $out"
    echo "$out" | grep -q -- "$text" || fail "cadrel $* did not say \"$text\": $out"
}

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

    echo "== lintian"
    lintian --fail-on error,warning --info "$deb" >"$scratch/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$scratch/lintian.log")"
    cat "$scratch/lintian.log"

    echo "== command line"
    version=$(dpkg-deb -f "$deb" Version)
    expect_run 0 "cadrel $version" --version
    expect_run 0 "cadrel $version" -v
    expect_run 0 "Utilizzo:" --help
    expect_run 0 "\-\-version" -h
    expect_run 2 "Opzione sconosciuta" --bogus
    expect_run 2 "Utilizzo:" --bogus
    expect_run 2 "argomento inatteso" extra
    expect_run 2 "Opzione sconosciuta" -platform offscreen --bogus
    # A display or platform that cannot be used ends with the program's own word, not an abort.
    expect_run 1 "Ritmolino non può mostrare" -platform junk
    expect_run 1 "xvfb-run" -display :99
    with="QT_QPA_PLATFORM=junk"
    expect_run 1 "Ritmolino non può mostrare"
    with="DISPLAY=junk"
    expect_run 1 "Ritmolino non può mostrare"
    with=""

    if ldd "$program" | grep -q "not found"; then
        fail "libraries of the installed program are missing: $(ldd "$program" | grep 'not found')"
    fi

    # Still running when timeout stops it (status 124) means the program started
    # its window and did not fail or crash on the way.
    raw=$(mktemp /tmp/cadrel-install-XXXXXX.raw)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM SDL_AUDIODRIVER=disk \
        SDL_DISKAUDIOFILE="$raw" timeout -k 2 3 "$root/usr/bin/cadrel" -platform offscreen \
        -style Fusion >"$scratch/run.log" 2>&1
    status=$?
    rm -f "$raw"
    [ "$status" -eq 124 ] ||
        fail "the installed program ended with status $status within 3 s: $(cat "$scratch/run.log")"
    if grep -q "cadrel:" "$scratch/run.log"; then
        fail "the installed program reported a problem: $(grep "cadrel:" "$scratch/run.log")"
    fi
fi

if [ -n "${deb:-}" ] && [ "$(id -u)" -eq 0 ] && ! dpkg -s cadrel >/dev/null 2>&1; then
    echo "== dpkg -i, cadrel --version, dpkg --purge"
    dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || fail "dpkg -i failed: $(cat "$scratch/dpkg.log")"
    /usr/bin/cadrel --version >/dev/null 2>&1 || fail "the installed cadrel --version failed"
    dpkg --purge cadrel >>"$scratch/dpkg.log" 2>&1 || fail "dpkg --purge failed"
    left=$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        [ -d "$path" ] && [ ! -L "$path" ] && continue # folders other packages share
        echo "$path"
    done)
    [ -z "$left" ] || fail "left behind after dpkg --purge: $left"
    [ ! -e /usr/lib/cadrel ] || fail "/usr/lib/cadrel is left behind"
    [ ! -e /usr/share/doc/cadrel ] || fail "/usr/share/doc/cadrel is left behind"
else
    echo "== (not root, or cadrel already installed: install and removal not tried)"
fi

[ "$failures" -eq 0 ] && echo "install and package: all checks passed"
[ "$failures" -eq 0 ]
