#!/usr/bin/env bash
# Installs the Debian packages the build needs, and with --test those the
# test suite needs too. Only what is missing is installed.
set -euo pipefail

build_pkgs=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev
            libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
            libx11-dev libxext-dev libxfixes-dev libxtst-dev libdbus-1-dev libjack-jackd2-dev libsndfile1-dev libsmf-dev
            librtaudio-dev librtmidi-dev
            lv2-dev liblilv-dev libsuil-dev)
# mma and timidity ship the MIDI files, python3-mido reads them independently,
# and golang-1.19-src ships the PNG suite: the conformance tests' material.
# pulseaudio and pulseaudio-utils (parec) let the player's test listen at a
# null sink; desktop-file-utils checks the installed .desktop file.
test_pkgs=(clang libclang-rt-14-dev imagemagick libpixman-1-dev xvfb xauth
           mma timidity python3-mido golang-1.19-src locales jackd2
           lilv-utils sordi jalv x11-utils xdotool dbus
           pulseaudio pulseaudio-utils desktop-file-utils)

pkgs=("${build_pkgs[@]}")
if [[ "${1:-}" == "--test" ]]; then
  pkgs+=("${test_pkgs[@]}")
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "error: missing packages and not root; run as root or install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The preset tests read and write numbers under a locale whose decimal
# separator is a comma, as a host may set one; Debian ships none compiled.
if [[ "${1:-}" == "--test" ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [[ $(id -u) -eq 0 ]]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not compile the de_DE.UTF-8 locale" >&2
  else
    echo "note: the de_DE.UTF-8 locale is missing; the comma-locale preset test will be skipped" >&2
  fi
fi
