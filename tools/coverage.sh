#!/usr/bin/env bash
# Line coverage of the product code (app/, record/, capfile/) by the whole test suite: an
# instrumented build, every test, then a gcovr summary per file and in total.
#
#   tools/coverage.sh [BUILD_DIR]     (default build/coverage; `make coverage` runs this)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}
jobs=$(nproc)

if ! command -v gcovr >/dev/null; then
    echo "Installing gcovr"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq gcovr
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
    -DSPLICETRC_COVERAGE=ON
cmake --build "$build" -j "$jobs"
# Counts of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest --output-on-failure -j "$jobs")

gcovr --root . --object-directory "$build" \
    --filter 'app/' --filter 'record/' --filter 'capfile/' \
    --txt "$build/coverage.txt" --html-details "$build/coverage.html" --print-summary \
    | tee "$build/coverage-summary.txt"
echo "Per-file report: $build/coverage.txt (HTML: $build/coverage.html)"
