#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on built-in demo data: `vesk-cli demo`
# makes ./demo with a store of a simulated concert hall, a solo recital and a building site,
# calculates every folder and writes their text and CSV output files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF
build/cli/vesk-cli demo demo
echo
echo "A result on the terminal:"
build/cli/vesk-cli --store demo/DATA show 1 1 | head -12
