#!/usr/bin/env bash
# Installs the Debian packages the build needs, and with --test those the
# test suite needs too. Only what is missing is installed.
set -euo pipefail

build_pkgs=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev
            libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
            libx11-dev libsndfile1-dev libsmf-dev
            lv2-dev liblilv-dev libjack-jackd2-dev libsuil-dev)
test_pkgs=(clang libclang-rt-14-dev imagemagick libpixman-1-dev xvfb xauth
           lilv-utils sordi jalv jackd2 x11-utils xdotool)

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
