#!/usr/bin/env bash
# Installs the Debian packages that Cadrel needs and that are missing.
#   scripts/setup.sh        what building and running the program needs
#   scripts/setup.sh test   that, plus what the test suite needs
# Uses sudo when not run as root.
set -euo pipefail

packages=(cmake make g++ pkg-config qt6-base-dev libsdl2-dev libpulse-dev libasound2-dev
          libsndfile1-dev libsamplerate0-dev
          qt6-translations-l10n
          fonts-liberation2)
if [[ "${1:-}" == test ]]; then
    # A real X server for screenshots, a sound server to record from, and the tools that
    # check the installed desktop entry, its metadata and the Debian package.
    packages+=(xvfb xauth pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber sox
               desktop-file-utils appstream dpkg-dev file lintian man-db clang-format)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
