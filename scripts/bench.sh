#!/usr/bin/env bash
# Builds and runs the benchmarks, printing their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --bench
bash scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=ON
for b in build-bench/bench/*_bench; do "$b" "$@"; done
