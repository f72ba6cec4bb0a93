#!/usr/bin/env bash
# Builds a Release, makes the Debian package with CPack, unpacks it into a scratch root with
# dpkg -x and runs the packaged vesk-cli's demo from there. Exits non-zero when any step fails
# or the package lacks what an installed desktop program needs.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-release
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/vesk_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
debs=("$dir"/vesk_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
deb=${debs[0]}
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg -x "$deb" "$root"

fail() {
  echo "package.sh: $*" >&2
  exit 1
}
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libsndfile1 libc6; do
  [[ $depends == *"$lib"* ]] || fail "Depends does not name $lib"
done
for file in usr/bin/vesk-cli usr/share/applications/vesk.desktop; do
  [ -e "$root/$file" ] || fail "the package has no /$file"
done
if [ -e "$root/usr/bin/vesk" ]; then
  [[ $depends == *libwxgtk3.2* ]] || fail "Depends does not name wxWidgets"
  [[ $depends == *libgif* ]] || fail "Depends does not name giflib (the screen copy)"
  for icon in scalable/apps/vesk.svg 48x48/apps/vesk.png 128x128/apps/vesk.png; do
    [ -e "$root/usr/share/icons/hicolor/$icon" ] || fail "the package has no icon $icon"
  done
  # Every library the desktop program needs is found on this system.
  if ldd "$root/usr/bin/vesk" | grep -q "not found"; then
    ldd "$root/usr/bin/vesk" | grep "not found" >&2
    fail "the packaged vesk misses libraries"
  fi
fi

# The packaged command line makes, calculates and exports the demo.
out=$scratch/demo
"$root/usr/bin/vesk-cli" demo "$out" >"$scratch/demo.log"
cat "$scratch/demo.log"
[ -s "$out/DATA/FOLDER.DBF" ] || fail "the demo made no store"
ls "$out"/*.csv >/dev/null 2>&1 || fail "the demo wrote no output files"
"$root/usr/bin/vesk-cli" --store "$out/DATA" folders >/dev/null || fail "the demo's store does not read back"
echo "package.sh: $deb unpacks and runs"
