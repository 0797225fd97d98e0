#!/usr/bin/env bash
# Installs what is missing, builds in build/ (Release) and scores the bundled
# example with the batch scorer (see docs/cli.md and examples/README.md).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
dendrix_install_packages
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DDENDRIX_BUILD_TESTS=OFF -DDENDRIX_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
build/bin/dendrix-score --keep flower examples/iris/model.pmml examples/iris/input.csv
