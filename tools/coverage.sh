#!/usr/bin/env bash
# Line and branch coverage of the product code (the library, cli/, flow/ and every program) by
# the whole test suite: the coverage preset's instrumented build, every test, then a gcovr
# summary per file and per folder, and in total. Branches the compiler adds for exceptions
# and for code it proved unreachable are not counted: no test can take them.
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
# Notes of sources that were moved or removed stay in the build folder; they are not code.
find "$build" -name '*.gcno' | while read -r notes; do
    folder=${notes%%/CMakeFiles/*}
    source=.${folder#"$build"}/${notes#*.dir/}
    [ -e "${source%.gcno}" ] || rm -f "$notes"
done
ctest --preset "$preset" -j "$jobs"

folders=(record capfile/common capfile/read capfile/write cli flow splicetrc trc2pcap trcinfo trcedit)
filters=()
for folder in "${folders[@]}"; do
    filters+=(--filter "$folder/")
done
# CMake's own compiler checks are compiled with the preset's flags too; they are not ours.
# The build folder is where the counts are searched: other builds' counts under the checkout
# are not this run's.
gcovr --root . --object-directory "$build" --exclude-directories '.*/CMakeFiles/(_CMake|[0-9])' \
    "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
    --txt "$build/coverage.txt" --html-details "$build/coverage.html" --print-summary \
    "$build" | tee "$build/coverage-summary.txt"
# Per folder: each is held to the same bar.
for folder in "${folders[@]}"; do
    printf '%-16s' "$folder"
    gcovr --root . --object-directory "$build" --exclude-directories '.*/CMakeFiles/(_CMake|[0-9])' \
        --filter "$folder/" --exclude-throw-branches --exclude-unreachable-branches \
        --print-summary --txt "$build/coverage-folder.txt" "$build" 2>/dev/null | awk '/^lines:|^branches:/ {printf "  %s %s", $1, $2} END {print ""}'
done | tee -a "$build/coverage-summary.txt"
echo "Per-file report: $build/coverage.txt (HTML: $build/coverage.html)"
