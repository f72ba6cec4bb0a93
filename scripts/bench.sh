#!/usr/bin/env bash
# Builds and runs the benchmarks, printing their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --bench
bash scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=ON
for b in build-bench/bench/*_bench; do "$b" "$@"; done

# A folder of 20 binaural order-16 impulse responses through `vesk-cli calc`, default conditions.
root="$PWD"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
"$root/build-bench/cli/vesk-synth" --seats 20 wav >/dev/null
"$root/build-bench/cli/vesk-cli" import --kind ir --title "Bench" wav/seat-*.wav >/dev/null
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$root/build-bench/cli/vesk-cli" calc 1 --target all 2>/dev/null
  end=$(date +%s.%N)
  echo "calc of 20 order-16 measurements, run $run: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
done

# A noise folder of 20 ten-second binaural recordings through `vesk-cli calc`, default
# conditions (noise_bench's BM_CalcNoiseFactors10s times the engine alone for one of them).
cd "$work"
"$root/build-bench/cli/vesk-synth" --street 20 street >/dev/null
"$root/build-bench/cli/vesk-cli" import --kind noise --title "Street" --cal-level -94 street/street-*.wav >/dev/null
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$root/build-bench/cli/vesk-cli" calc 2 --target all 2>/dev/null
  end=$(date +%s.%N)
  echo "calc of 20 ten-second noise recordings, run $run: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
done

# The demo as a whole; it prints the time of each folder's calculation.
cd "$work"
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$root/build-bench/cli/vesk-cli" demo "demo-$run" 2>/dev/null | grep -E "^[0-9]|Made"
  end=$(date +%s.%N)
  echo "vesk-cli demo, run $run: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
done
