#!/usr/bin/env bash
# Builds dendrix (Release) and scores every model of the conformance corpora,
# printing per model and column how many rows agree with the other tool's
# expected file, against the figures docs/conformance.md states. Entries with
# a "semantics pmml" block are scored again with --semantics pmml when the
# built tool offers it, and skipped (and counted) when it does not.
#
#   scripts/conformance.sh [--build DIR] [--only NAME]...
#
# The corpora are read from ../shared next to the repository. Exit status 1
# when a model falls below its stated agreement.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-conformance"
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --only) args+=(--only "$2"); shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 64 ;;
  esac
done

if [ ! -d "$root/../shared/conformance" ]; then
  echo "$root/../shared/conformance is absent: nothing to compare" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dendrix-conformance -j2 >/dev/null
exec "$build/bin/dendrix-conformance" "${args[@]+"${args[@]}"}"
