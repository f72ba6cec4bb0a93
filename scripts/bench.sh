#!/usr/bin/env bash
# Builds and runs the benchmarks, printing their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --bench
bash scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=ON
for b in build-bench/bench/*_bench; do
  case "$b" in
    *display_bench) xvfb-run -a -s "-screen 0 1280x1024x24" "$b" "$@" ;;  # needs a display
    *) "$b" "$@" ;;
  esac
done

root="$PWD"
cli="$root/build-bench/cli/vesk-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs a command three times and prints its wall time each run.
three_runs() {
  local what="$1"
  shift
  for run in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    echo "$what, run $run: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
  done
}

# A folder of 20 binaural order-16 impulse responses through `vesk-cli calc`, default conditions.
"$root/build-bench/cli/vesk-synth" --seats 20 wav >/dev/null
"$cli" import --kind ir --title "Bench" wav/seat-*.wav >/dev/null
three_runs "calc of 20 order-16 measurements" "$cli" calc 1 --target all 2>/dev/null
# The same folder at one and at two threads, runs interleaved so that the load of a shared
# machine falls on both alike: the medians of five and the speed-up.
thread_scaling() {
  local t1=() t2=()
  for run in 1 2 3 4 5; do
    for n in 1 2; do
      local start end
      start=$(date +%s.%N)
      "$cli" --threads "$n" calc 1 --target all 2>/dev/null
      end=$(date +%s.%N)
      local took
      took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
      if [ "$n" = 1 ]; then t1+=("$took"); else t2+=("$took"); fi
    done
  done
  local m1 m2
  m1=$(printf '%s\n' "${t1[@]}" | sort -n | sed -n 3p)
  m2=$(printf '%s\n' "${t2[@]}" | sort -n | sed -n 3p)
  echo "calc of 20 order-16 measurements, octaves: median ${m1} s at --threads 1, ${m2} s at" \
    "--threads 2, speed-up $(awk -v a="$m1" -v b="$m2" 'BEGIN { printf "%.2f", a / b }')x"
}
thread_scaling

# A noise folder of 20 ten-second binaural recordings, default conditions (noise_bench's
# BM_CalcNoiseFactors10s times the engine alone for one of them).
"$root/build-bench/cli/vesk-synth" --street 20 street >/dev/null
"$cli" import --kind noise --title "Street" --cal-level -94 street/street-*.wav >/dev/null
three_runs "calc of 20 ten-second noise recordings" "$cli" calc 2 --target all 2>/dev/null

# The demo as a whole; it prints the time of each folder's calculation.
three_runs "vesk-cli demo" sh -c "\"$cli\" demo demo-run 2>/dev/null | grep -E '^[0-9]|Made'"
