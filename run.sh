#!/usr/bin/env bash
# Installs what is missing, builds in build/ (Release) and runs the main job on
# the bundled example.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
dendrix_install_packages
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DDENDRIX_BUILD_TESTS=OFF -DDENDRIX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
if [ -x build/bin/dendrix-score ] && [ -f examples/iris/model.pmml ]; then
  build/bin/dendrix-score examples/iris/model.pmml examples/iris/input.csv
else
  build/bin/example_build_tree
fi
