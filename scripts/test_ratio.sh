#!/usr/bin/env bash
# Lines of test code against lines of product code: non-blank lines that are
# not only a comment, in C++ and Python sources tracked by git. Tests are
# everything under tests/ and python/tests/; product code is every other
# source outside bench/, fuzz/, examples/ and scripts/.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  if [ $# -eq 0 ]; then echo 0; return; fi
  cat "$@" | grep -vE '^[[:space:]]*$' | grep -vE '^[[:space:]]*(//|#[^a-z!]|# |\*|/\*)' | wc -l
}
mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc' '*.py')
tests=(); code=()
for f in "${sources[@]}"; do
  case "$f" in
    tests/*|python/tests/*) tests+=("$f") ;;
    bench/*|fuzz/*|examples/*|scripts/*|cmake/*) ;;
    *) code+=("$f") ;;
  esac
done
t=$(count "${tests[@]}"); c=$(count "${code[@]}")
awk -v t="$t" -v c="$c" 'BEGIN { printf "tests %d, code %d, ratio %.3f\n", t, c, (c ? t / c : 0) }'
