#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build: first each committed corpus file once (regression),
# then a bounded fuzzing session seeded from the corpus. Any crash, sanitizer report, leak,
# time-out or oversized allocation fails the script and leaves the input under
# BUILD/fuzz-artifacts/; copy it into fuzz/corpus/TARGET/ and add a test for it.
#
#   fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
source=$(cd "$(dirname "$0")" && pwd)
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

# Temporary capture files on a memory file system when there is one: the targets write two or
# three files per input.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
# A 16 MB quarantine still catches a block used soon after it was freed, which is what these
# targets can do; the default 256 MB hands out fresh pages for almost every allocation, and on
# virtual machines page faults cost a third of the time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

declare -A max_len=([reader]=40000 [append]=8192 [records]=16384)
total=0
passed=0
failed=0
summary=""
for target in reader append records; do
    binary=$build/fuzz/fuzz_$target
    corpus=$source/corpus/$target
    log=$build/fuzz-$target.log

    echo "== fuzz_$target: regression run over $(ls "$corpus" | wc -l) corpus files"
    if ! "$binary" -artifact_prefix="$artifacts/$target-" "$corpus"/* > "$log" 2>&1; then
        tail -n 60 "$log"
        summary+="fuzz_$target: FAILED on a committed corpus file (log: $log)"$'\n'
        failed=$((failed + 1))
        continue
    fi

    echo "== fuzz_$target: fuzzing for $seconds s"
    work=$build/fuzz-work/$target
    mkdir -p "$work"
    # The dictionary holds the file formats' words; fuzz_records reads a description instead.
    dict=()
    [ "$target" = records ] || dict=(-dict="$source/capture.dict")
    if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -malloc_limit_mb=64 -max_len="${max_len[$target]}" "${dict[@]}" \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work" "$corpus" \
        >> "$log" 2>&1; then
        tail -n 60 "$log"
        summary+="fuzz_$target: FAILED, input kept as $(ls -t "$artifacts" | head -n 1) (log: $log)"$'\n'
        failed=$((failed + 1))
        continue
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$')
    total=$((total + runs))
    summary+="fuzz_$target: $runs executions in $seconds s, $((runs / seconds)) a second"$'\n'
    passed=$((passed + 1))
done
printf '%s' "$summary"
echo "fuzzing total: $total executions"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
