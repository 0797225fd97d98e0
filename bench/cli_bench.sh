#!/usr/bin/env bash
# End-to-end timing of dendrix-score on the shared benchmark models: best and
# median wall time of a few runs (milliseconds, including the start of the
# process), CPU time and peak memory of one more run, the best time of the
# same run on the header row alone (start and model load), for --threads 1
# and 2, and the agreement of the predictions with the expected answers.
#
#   bench/cli_bench.sh [BUILD_DIR] [RUNS]     (defaults: build, 5)
#   FOREST_RUNS=N bench/cli_bench.sh ...      (runs for forest-100; default RUNS)
#   SEMANTICS=pmml|both bench/cli_bench.sh    (the engine: native (default), pmml, or both
#                                              in the same run, one row each)
#
# Build first in Release: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release &&
# cmake --build build --target dendrix-score
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
RUNS=${2:-5}
TOOL=$BUILD_DIR/bin/dendrix-score
case ${SEMANTICS:-native} in
  native | pmml) SEMANTICS_LIST=${SEMANTICS:-native} ;;
  both) SEMANTICS_LIST="native pmml" ;;
  *) echo "SEMANTICS must be native, pmml or both" >&2; exit 1 ;;
esac
MODELS=${DENDRIX_BENCH_MODELS:-../shared/bench-models}
[ -x "$TOOL" ] || { echo "no $TOOL: build it first" >&2; exit 1; }
[ -d "$MODELS" ] || { echo "no benchmark models in $MODELS" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package 'time')" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for f in medium-tree.pmml forest-100.pmml.gz medium-tree-input.csv.gz medium-tree-expected.csv.gz \
         forest-100-input.csv.gz forest-100-expected.csv.gz; do
  if [[ $f == *.gz ]]; then gunzip -c "$MODELS/$f" > "$WORK/${f%.gz}"; else cp "$MODELS/$f" "$WORK/"; fi
done

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
# Best wall time of a command over $1 runs, in seconds.
best_wall() {
  local runs=$1 best= start end wall i
  shift
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    "$@" > /dev/null
    end=$EPOCHREALTIME
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$wall; fi
  done
  echo "$best"
}

printf '%-12s %-9s %-8s %10s %10s %10s %10s %12s\n' model semantics threads "best wall" "median" \
  "cpu" "peak MB" "start+load"
for model in medium-tree forest-100; do
 for sem in $SEMANTICS_LIST; do
  # The same run on the header row alone: starting, reading the model, exit.
  head -n 1 "$WORK/$model-input.csv" > "$WORK/$model-header.csv"
  for threads in 1 2; do
    walls=()
    runs=$RUNS
    [ "$model" = forest-100 ] && runs=${FOREST_RUNS:-$RUNS}
    for ((i = 0; i < runs; i++)); do
      # Wall time in milliseconds from the shell's clock, the tool started
      # directly (time(1) rounds to hundredths and adds its own start). The
      # previous run's output is removed first: truncating it would time the
      # release of its pages too.
      rm -f "$WORK/$model-$sem-$threads.out"
      start=$EPOCHREALTIME
      "$TOOL" --semantics "$sem" --threads "$threads" "$WORK/$model.pmml" \
        "$WORK/$model-input.csv" > "$WORK/$model-$sem-$threads.out"
      end=$EPOCHREALTIME
      walls+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
    done
    # CPU time and peak memory: one more run under time(1).
    /usr/bin/time -f '%U %S %M' -o "$WORK/time" \
      "$TOOL" --semantics "$sem" --threads "$threads" "$WORK/$model.pmml" "$WORK/$model-input.csv" \
      > /dev/null
    read -r user sys peak < "$WORK/time"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    sorted=$(printf '%s\n' "${walls[@]}" | sort -n)
    best=$(echo "$sorted" | head -1)
    median=$(echo "$sorted" | sed -n "$(( (runs + 1) / 2 ))p")
    load=$(best_wall "$runs" "$TOOL" --semantics "$sem" --threads "$threads" "$WORK/$model.pmml" \
      "$WORK/$model-header.csv")
    printf '%-12s %-9s %-8s %9ss %9ss %9ss %10.1f %11ss\n' "$model" "$sem" "$threads" "$best" \
      "$median" "$cpu" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$load"
  done
  if ! cmp -s "$WORK/$model-$sem-1.out" "$WORK/$model-$sem-2.out"; then
    echo "  WARNING: $sem: --threads 2 output differs from --threads 1" >&2
  fi
 done
done

for sem in $SEMANTICS_LIST; do
echo
echo "--semantics $sem:"
# medium-tree: prediction, node and class shares against the expected file.
paste -d, "$WORK/medium-tree-$sem-1.out" "$WORK/medium-tree-expected.csv" | awk -F, 'NR > 1 {
    n++
    if ($1 == $9) pred++
    if ($3 == $10) node++
    if ($4 + 0 == $11 + 0 && $5 + 0 == $12 + 0 && $6 + 0 == $13 + 0) share++
  } END {
    printf "medium-tree: %d rows; prediction %d, node_id %d, probabilities %d agree\n", n, pred, node, share
  }'
# forest-100: the expected answer is a one-vote-per-tree majority; the native
# rules sum the trees' confidences, so close votes may differ there.
paste -d, "$WORK/forest-100-$sem-1.out" "$WORK/forest-100-expected.csv" | awk -F, 'NR > 1 {
    n++
    max = $10; if ($11 > max) max = $11; if ($12 > max) max = $12
    tie = ($10 == max) + ($11 == max) + ($12 == max) > 1
    if ($1 == $9) agree++; else { differ++; if (tie) differTie++ }
    if ($1 == $13) soft++
  } END {
    printf "forest-100: %d rows; agree with the majority vote on %d (%.2f%%); of the %d that differ, %d are vote ties; agree with averaged probabilities on %d (%.2f%%)\n",
      n, agree, 100 * agree / n, differ, differTie, soft, 100 * soft / n
  }'
done
