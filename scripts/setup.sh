#!/usr/bin/env bash
# Installs what building and testing Vesk needs (Debian, as root).
set -euo pipefail
packages=(build-essential cmake pkg-config libsndfile1-dev libnetcdf-dev libgif-dev libgtest-dev libgmock-dev libbenchmark-dev
          libcairo2-dev poppler-utils  # graph files and reports; the report tests read PDFs with poppler
          portaudio19-dev  # sound cards (ALSA, JACK)
          jackd2 libjack-jackd2-dev  # the loopback test on JACK's dummy backend
          libwxgtk3.2-dev xvfb xauth)  # the desktop program and its tests under Xvfb
case "${1:-}" in
  --fuzz) packages+=(clang libclang-rt-dev) ;;
  --bench) packages+=(libfftw3-dev) ;;  # the yardstick of the FFT benchmark
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
