#!/usr/bin/env bash
# Fails when an #include crosses the floors of the architecture (README, "Layout"): a folder may
# include only from its own floor or below, store and dsp ignore each other, the command line
# links no desktop code, and nothing below the desktop folders sees wxWidgets.
set -euo pipefail
cd "$(dirname "$0")/.."

floor_of() {
  case "$1" in
    base|resources) echo 1 ;;
    store|dsp) echo 2 ;;
    impulse|acf|noise|iso|sweep|sofa|audio) echo 3 ;;
    export|plot) echo 4 ;;
    shell) echo 5 ;;
    display|capture|app|cli) echo 6 ;;
    *) echo "" ;;
  esac
}

bad=0
local_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([a-z_]+)/'
wx_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*<wx/'
complain() { echo "layering: $1" >&2; bad=1; }

for dir in */; do
  dir=${dir%/}
  from=$(floor_of "$dir")
  [ -n "$from" ] || continue
  while IFS=: read -r file line text; do
    if [[ $text =~ $local_include ]]; then
      to_dir=${BASH_REMATCH[1]}
      to=$(floor_of "$to_dir")
      [ -n "$to" ] || continue
      if [ "$to" -gt "$from" ]; then
        complain "$file:$line: $dir (floor $from) includes $to_dir (floor $to)"
      elif { [ "$dir" = store ] && [ "$to_dir" = dsp ]; } || { [ "$dir" = dsp ] && [ "$to_dir" = store ]; }; then
        complain "$file:$line: store and dsp must not include each other"
      elif [ "$dir" = cli ] && [[ $to_dir =~ ^(app|display|capture)$ ]]; then
        complain "$file:$line: the command line includes desktop code ($to_dir)"
      fi
    elif [[ $text =~ $wx_include ]] && { [ "$from" -lt 6 ] || [ "$dir" = cli ]; }; then
      complain "$file:$line: $dir includes a wxWidgets header"
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' "$dir" --include='*.h' --include='*.cpp' || true)
done
[ "$bad" = 0 ] && echo "layering: ok"
exit "$bad"
