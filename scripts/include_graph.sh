#!/usr/bin/env bash
# Prints the folder -> folder include edges of the product sources (one
# "from -> to  (count)" line each) and fails when the folders include each
# other in a cycle. Only quoted includes of the form "folder/File.h" count.
set -euo pipefail
cd "$(dirname "$0")/.."

shopt -s nullglob
sources() { echo "$1"/*.h "$1"/*.hpp "$1"/*.cpp "$1"/*.cc; }

folders=()
for dir in */; do
  dir=${dir%/}
  case $dir in
    build* | tests | bench | fuzz | examples | docs | scripts | cmake) continue ;;
  esac
  [ -n "$(sources "$dir")" ] && folders+=("$dir")
done

edges=$(for dir in "${folders[@]}"; do
  # shellcheck disable=SC2046
  grep -ho '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z0-9_]*/' $(sources "$dir") |
    sed -E 's/.*"([A-Za-z0-9_]+)\/$/\1/' | grep -vx "$dir" | sed "s|^|$dir |" || true
done | sort | uniq -c | awk '{print $2, $3, $1}')

if [ -n "$edges" ]; then
  while read -r from to count; do printf '%s -> %s  (%s)\n' "$from" "$to" "$count"; done <<<"$edges"
fi

# tsort reports a cycle on stderr and exits non-zero.
if ! cycle=$(awk '{print $1, $2}' <<<"$edges" | tsort 2>&1 >/dev/null) || [ -n "$cycle" ]; then
  echo "include cycle between folders:" >&2
  awk '/input contains a loop/ { if (c) print "  " c; c = ""; next }
       { sub(/^tsort: /, ""); c = c (c ? " -> " : "") $0 }
       END { if (c) print "  " c }' <<<"$cycle" >&2
  exit 1
fi
