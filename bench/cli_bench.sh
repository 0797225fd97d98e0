#!/usr/bin/env bash
# End-to-end timing of dendrix-score on the shared benchmark models: best wall
# time of a few runs, CPU time and peak memory, for --threads 1 and 2, and
# the agreement of the predictions with the expected answers.
#
#   bench/cli_bench.sh [BUILD_DIR] [RUNS]     (defaults: build, 5)
#   FOREST_RUNS=N bench/cli_bench.sh ...      (runs for forest-100; default RUNS)
#
# Build first in Release: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release &&
# cmake --build build --target dendrix-score
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
RUNS=${2:-5}
TOOL=$BUILD_DIR/bin/dendrix-score
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
printf '%-12s %-8s %10s %10s %10s %10s\n' model threads "best wall" "median" "cpu (best)" "peak MB"
for model in medium-tree forest-100; do
  for threads in 1 2; do
    walls=()
    best_cpu=
    peak=0
    runs=$RUNS
    [ "$model" = forest-100 ] && runs=${FOREST_RUNS:-$RUNS}
    for ((i = 0; i < runs; i++)); do
      /usr/bin/time -f '%e %U %S %M' -o "$WORK/time" \
        "$TOOL" --threads "$threads" "$WORK/$model.pmml" "$WORK/$model-input.csv" > "$WORK/$model-$threads.out"
      read -r wall user sys rss < "$WORK/time"
      walls+=("$wall")
      cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
      if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
      (( rss > peak )) && peak=$rss
    done
    sorted=$(printf '%s\n' "${walls[@]}" | sort -n)
    best=$(echo "$sorted" | head -1)
    median=$(echo "$sorted" | sed -n "$(( (runs + 1) / 2 ))p")
    printf '%-12s %-8s %9ss %9ss %9ss %10.1f\n' "$model" "$threads" "$best" "$median" "$best_cpu" \
      "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
  done
  if ! cmp -s "$WORK/$model-1.out" "$WORK/$model-2.out"; then
    echo "  WARNING: --threads 2 output differs from --threads 1" >&2
  fi
done

echo
# medium-tree: prediction, node and class shares against the expected file.
paste -d, "$WORK/medium-tree-1.out" "$WORK/medium-tree-expected.csv" | awk -F, 'NR > 1 {
    n++
    if ($1 == $9) pred++
    if ($3 == $10) node++
    if ($4 + 0 == $11 + 0 && $5 + 0 == $12 + 0 && $6 + 0 == $13 + 0) share++
  } END {
    printf "medium-tree: %d rows; prediction %d, node_id %d, probabilities %d agree\n", n, pred, node, share
  }'
# forest-100: the expected answer is a one-vote-per-tree majority; this
# model sums the trees' confidences, so close votes may differ.
paste -d, "$WORK/forest-100-1.out" "$WORK/forest-100-expected.csv" | awk -F, 'NR > 1 {
    n++
    max = $10; if ($11 > max) max = $11; if ($12 > max) max = $12
    tie = ($10 == max) + ($11 == max) + ($12 == max) > 1
    if ($1 == $9) agree++; else { differ++; if (tie) differTie++ }
    if ($1 == $13) soft++
  } END {
    printf "forest-100: %d rows; agree with the majority vote on %d (%.2f%%); of the %d that differ, %d are vote ties; agree with averaged probabilities on %d (%.2f%%)\n",
      n, agree, 100 * agree / n, differ, differTie, soft, 100 * soft / n
  }'
