#!/usr/bin/env bash
# Installs what is missing, builds in build/ with the tests on and runs every
# test through ctest; finding no test is a failure (a build/ configured by
# run.sh has them off until this script turns them on).
# Extra arguments go to cmake's configure step (e.g. -DDENDRIX_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh
dendrix_install_packages
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DDENDRIX_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j"$(nproc)"
