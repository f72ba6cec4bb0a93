#!/usr/bin/env bash
# Sets everything up, builds, and runs the main job on built-in demo data in ./demo:
# synthetic binaural measurements imported into a fresh store, the impulse responses
# calculated, then everything listed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF
root="$PWD"
rm -rf demo && mkdir -p demo && cd demo
cli="$root/build/cli/vesk-cli"
"$root/build/cli/vesk-synth" wav >/dev/null
"$cli" import --kind ir --title "Concert hall" --place "Main floor" wav/hall-seat-*.wav
"$cli" import --kind acf --title "Solo recital" wav/music-solo.wav
"$cli" import --kind noise --title "Street" --cal-level 94 wav/street-*.wav
echo "== calc 1 (impulse responses, octave bands and A-weighting)"
"$cli" calc 1 --a-weighting on
echo "== folders"
"$cli" folders
for id in $("$cli" folders | cut -f1); do
  echo "== list $id"
  "$cli" list "$id"
done
echo "The store is in $PWD/DATA."
