#!/usr/bin/env bash
# Sets everything up, builds, and runs every test (those of the desktop program under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build -DVESK_BUILD_TESTS=ON -DVESK_BUILD_BENCH=OFF
cd build
ctest --output-on-failure --no-tests=error -j2 -LE gui
xvfb-run -a ctest --output-on-failure --no-tests=error -L gui
