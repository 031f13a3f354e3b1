#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (only what is missing) and builds into build/:
# the targets named as arguments, or everything without any; each "--also PACKAGE" installs a
# further package (the packaging tools); "--packages-only" installs and builds nothing else.
# Used by run.sh, test.sh, package.sh and sanitize.sh; safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-wayland libsqlite3-dev
          libespeak-ng-dev espeak-ng-data libpcaudio-dev libasound2-dev fonts-wqy-microhei
          librapidcheck-dev qt6-translations-l10n qt6-tools-dev qt6-l10n-tools libmosquitto-dev
          mosquitto mosquitto-clients desktop-file-utils)
targets=()
packagesOnly=false
while [ $# -gt 0 ]; do
    if [ "$1" = "--packages-only" ]; then
        packagesOnly=true
        shift
    elif [ "$1" = "--also" ]; then
        packages+=("$2")
        shift 2
    else
        targets+=(--target "$1")
        shift
    fi
done
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing the missing Debian packages: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
$packagesOnly && exit 0

if [ ! -f build/CMakeCache.txt ]; then
    echo "Configuring the build in build/"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if [ ${#targets[@]} -gt 0 ]; then
    echo "Building ${targets[*]//--target /} in build/ (only what that needs)"
else
    echo "Building everything in build/ (program, tools, tests, benchmarks)"
fi
cmake --build build -j"$(nproc)" "${targets[@]}"
