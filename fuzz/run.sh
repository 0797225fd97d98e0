#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, starting from its checked-in corpus.
#
#   fuzz/run.sh TARGET SECONDS      TARGET: fuzz_model, fuzz_csv, fuzz_derived or fuzz_pmml44
#
# New inputs go to $FUZZ_WORK/TARGET/corpus (default build-fuzz/fuzz-work), not
# into fuzz/corpus; a crash, leak or timeout is written to
# $FUZZ_WORK/TARGET/artifacts and the script exits non-zero. The fuzzers are
# built in $BUILD_DIR (default build-fuzz), see docs/fuzzing.md.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: fuzz/run.sh TARGET SECONDS}
seconds=${2:?usage: fuzz/run.sh TARGET SECONDS}
build=${BUILD_DIR:-build-fuzz}
work=${FUZZ_WORK:-$build/fuzz-work}/$target

case $target in
  fuzz_model) dict=fuzz/model.dict max_len=65536 ;;
  fuzz_csv) dict=fuzz/csv.dict max_len=8192 ;;
  fuzz_derived) dict=fuzz/derived.dict max_len=16384 ;;
  fuzz_pmml44) dict=fuzz/model.dict max_len=65536 ;;
  *) echo "unknown target: $target" >&2; exit 64 ;;
esac

binary=$build/bin/$target
[[ -x $binary ]] || { echo "$binary not built (see docs/fuzzing.md)" >&2; exit 2; }
mkdir -p "$work/corpus" "$work/artifacts"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$binary" \
  -max_total_time="$seconds" \
  -timeout=10 \
  -rss_limit_mb=2048 \
  -malloc_limit_mb=1024 \
  -max_len="$max_len" \
  -dict="$dict" \
  -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" \
  "$work/corpus" "fuzz/corpus/$target"
