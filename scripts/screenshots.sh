#!/usr/bin/env bash
# Screenshots of the desktop program for the README: builds, makes the demo store, and runs
# vesk-shots under Xvfb in it. The PNGs land in doc/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export DEBIAN_FRONTEND=noninteractive
for p in x11-apps imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || apt-get install -y -qq "$p" >/dev/null
done
bash scripts/build.sh build -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF
build/cli/vesk-cli demo demo >/dev/null 2>&1
out="$PWD/doc/screenshots"
mkdir -p "$out"
cd demo
PATH="/usr/bin:$PATH" xvfb-run -a -s "-screen 0 1280x1024x24" ../build/app/vesk-shots "$out"
