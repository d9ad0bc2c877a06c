#!/usr/bin/env bash
# Line coverage of the product code (splicetrc/, record/, capfile/) by the whole test suite: the
# coverage preset's instrumented build, every test, then a gcovr summary per file and in total.
#
#   tools/coverage.sh [PRESET]     (default coverage, which builds in build/coverage;
#                                   `make coverage` runs this)
# A preset of another name must inherit from coverage; its build folder is build/PRESET.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-coverage}
build=build/$preset
jobs=$(nproc)

tools/ensure-deps.sh coverage
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$jobs"
# Counts of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
ctest --preset "$preset" -j "$jobs"

# CMake's own compiler checks are compiled with the preset's flags too; they are not ours.
gcovr --root . --object-directory "$build" --exclude-directories '.*/CMakeFiles/(_CMake|[0-9])' \
    --filter 'splicetrc/' --filter 'record/' --filter 'capfile/' \
    --txt "$build/coverage.txt" --html-details "$build/coverage.html" --print-summary \
    | tee "$build/coverage-summary.txt"
echo "Per-file report: $build/coverage.txt (HTML: $build/coverage.html)"
