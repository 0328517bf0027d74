#!/bin/sh
# Installs what the build, the tests and the demo need and the machine lacks;
# with the argument "fuzz", also what the fuzz build needs (clang and its
# libFuzzer and sanitizer runtimes).
# As root it runs apt-get; as anyone else it prints the one line to run.
set -eu

# gnuplot, a font and Ghostscript let Octave draw and print the demo's plot headless.
# EDFlib writes and reads the recordings' EDF+/BDF+ files; octave-signal computes
# spectra; BioSig and MNE are the independent readers the tests check our files with.
packages="cmake make g++ libgtest-dev octave liboctave-dev gnuplot-nox fonts-freefont-otf ghostscript
libedf-dev octave-signal octave-biosig python3-mne"
if [ "${1:-}" = fuzz ]; then
    packages="$packages clang libclang-rt-14-dev"
fi
missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root, then try again:" >&2
    echo "  apt-get update && apt-get install -y$missing" >&2
    exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
