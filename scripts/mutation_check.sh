#!/usr/bin/env bash
# Plants one deliberate fault at a time in the product code, rebuilds the
# given build folder incrementally, runs the test suite and records whether
# any test failed (caught) or none did (missed). The file is put back after
# each fault and the folder is rebuilt clean at the end.
#
#   scripts/mutation_check.sh [build-dir]      (default: build)
#
# MUTATION_EXCLUDE is a ctest -E pattern for tests left out of every run
# (default: the conformance corpora, which take minutes and mostly score
# documents other tools wrote). MUTATION_ONLY=n runs fault n alone.
# Configure the folder with -DDENDRIX_BUILD_BENCH=OFF to keep rebuilds short.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
EXCLUDE=${MUTATION_EXCLUDE:-^Corpus\.}
JOBS=${MUTATION_JOBS:-2}

# file | which line the substitution applies to (1 = the first it changes) |
# sed substitution | what the fault is
faults=(
  "host/Splits.cpp@1@s/x >= r.low/x > r.low/@closed lower bound of a range treated as open"
  "scoring/DendrixPMMLModel.cpp@1@s/= 0.9;/= 1.0;/@no confidence penalty for a surrogate"
  "scoring/DendrixPMMLModel.cpp@1@s/AdviceCode::kNoValue/AdviceCode::kMissingValue/@no-value advice given the missing-value code"
  "pmml/DiscreteSplits.cpp@1@s/low = idx + 1;/low = idx;/@ordinal greaterThan includes its own category"
  "scoring/DendrixPMMLModel.cpp@1@s/return split->GetMissvalMap();/return 0;/@absent value goes to child 0, not the missing-value child"
  "pmml/NodeReader.cpp@1@s/nodeIdCounter)/nodeIdCounter + 1)/@default node identifiers start one too high"
  "cli/CsvReader.cpp@1@s/q\[1\] == '\"'/q[1] == '\\\\''/@doubled quote inside a quoted cell not unescaped"
  "host/Values.cpp@1@s/ || \*digits == '.'//@numbers starting with a point refused"
  "scoring/DendrixPMMLModel.cpp@1@s/costMatrix\[i\]\[j\] = cell/costMatrix[j][i] = cell/@cost matrix rows and columns swapped"
  "scoring/DendrixPMMLModel.cpp@2@s/kNoRuleConfidence/1.0/@rule set fallback confidence wrong"
  "scoring/DendrixPMMLModel.cpp@1@s/GetTotalRecord() \/ total :/GetTotalRecord() \/ (total + 1) :/@C5 child weight not a share of the parent's records"
  "host/DerivedField.cpp@1@s/std::floor(a + 0.5)/std::floor(a)/@derived round() truncates"
  "scoring/DendrixPMMLModel.cpp@1@s/sum \/ count/sum \/ (count + 1)/@ensemble mean divides by one too many"
  "scoring/DendrixPMMLModel.cpp@1@s/c == 0 \&\& /c == 0 || /@empty leaf falls back to its parent too often"
  "scoring/DendrixPMMLModel.cpp@1@s/ruleVotes\[best\] \/ fired/ruleVotes[best] \/ (fired + 1)/@voting confidence over the wrong count"
  "pmml/SimplePredicate.cpp@3@s/closed = false;/closed = true;/@lessThan read as lessOrEqual"
  "scoring/DendrixPMMLModel.h@1@s/v > f.threshold/v >= f.threshold/@compiled threshold node sends a tie up"
  "host/Dictionary.cpp@1@s/category == x/category != x/@numeric category check inverted"
  "legacy/DendrixTranslator.cpp@1@s/split->SetMissvalMap(missing);/split->SetMissvalMap(missing * 0 - 1);/@legacy discrete split loses its missing-value child"
  "pmml/NodeReader.cpp@1@s/VerifyDouble(GetAttributeForced(child, \"recordCount\"))/VerifyDouble(GetAttributeForced(child, \"recordCount\")) + 1/@distribution record counts read one too high"
)

build() { cmake --build "$BUILD" -j"$JOBS" >"$BUILD/mutation-build.log" 2>&1; }
# The tests that failed in the last run (skipped ones are listed too; not those).
failed() { grep -E '^\s+[0-9]+ - ' "$BUILD/mutation-test.log" | grep -v '(Skipped)$'; }
suite() { ctest --test-dir "$BUILD" -E "$EXCLUDE" -j"$JOBS" --timeout 600 >"$BUILD/mutation-test.log" 2>&1; }

if ! build; then echo "the unchanged tree does not build; see $BUILD/mutation-build.log"; exit 2; fi
if [ -z "${MUTATION_ONLY:-}" ] && ! suite; then
  echo "the unchanged suite fails; see $BUILD/mutation-test.log"
  grep -E '^\s+[0-9]+ - ' "$BUILD/mutation-test.log"
  exit 2
fi

backup=$(mktemp)
current=""
restore() { if [ -n "$current" ]; then cp "$backup" "$current"; current=""; fi; }
trap 'restore; rm -f "$backup"' EXIT
trap 'exit 130' INT TERM

# Which tests caught each fault, for whoever trims the suite next.
catchers=$BUILD/mutation-catchers.txt
: >"$catchers"
caught=0; total=0
for i in "${!faults[@]}"; do
  n=$((i + 1))
  if [ -n "${MUTATION_ONLY:-}" ] && [ "$MUTATION_ONLY" != "$n" ]; then continue; fi
  IFS='@' read -r file occurrence expr what <<<"${faults[$i]}"
  line=$(sed -n "${expr};T;=" "$file" | sed -n "${occurrence}p")
  if [ -z "$line" ]; then echo "fault $n matches no line of $file: fix its pattern"; exit 2; fi
  cp "$file" "$backup"; current=$file
  sed -i "${line}${expr}" "$file"
  total=$((total + 1))
  if ! build; then
    result="does not build"
  elif suite; then
    result="MISSED"
  else
    result="caught by $(failed | wc -l) test(s)"
    { echo "fault $n: $what"; failed; } >>"$catchers"
    caught=$((caught + 1))
  fi
  printf '%2d  %-32s %-60s %s\n' "$n" "$file:$line" "$what" "$result"
  restore
done
build || true
echo "caught $caught of $total"
