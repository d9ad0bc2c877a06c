# Thin wrapper over CMake so that a fresh machine needs exactly two commands:
#   make demo   builds splicetrc and merges the sample captures in examples/
#   make test   builds and runs every test, plain and under the sanitizers
GENERATOR := Ninja
JOBS ?= $(shell nproc)

.PHONY: demo test bench deps build-release build-asan test-release test-asan clean

deps:
	@tools/ensure-deps.sh

build-release: deps
	cmake -S . -B build/release -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DSPLICETRC_WERROR=ON
	cmake --build build/release -j $(JOBS)

build-asan: deps
	cmake -S . -B build/asan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DSPLICETRC_WERROR=ON -DSPLICETRC_SANITIZE=ON
	cmake --build build/asan -j $(JOBS)

demo: build-release
	@tools/demo.sh build/release

test-release: build-release
	cd build/release && ctest --output-on-failure -j $(JOBS)
	@# The benchmark itself is too long for a test run; this checks that it still works.
	python3 bench/bench.py --build build/release --data build/bench-data --smoke

test-asan: build-asan
	cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

test: test-release test-asan

clean:
	rm -rf build

# Not part of `make test`: minutes long and over a gigabyte of generated input.
bench: build-release
	python3 bench/bench.py --build build/release --data build/bench-data

# --- Fuzzing and coverage ---
# `make fuzz` needs clang (libFuzzer); each target fuzzes for FUZZ_SECONDS after a regression
# run over its committed corpus. `make coverage` reports the test suite's line coverage.
FUZZ_SECONDS ?= 60
.PHONY: build-fuzz fuzz coverage

build-fuzz: deps
	cmake -S . -B build/fuzz -G $(GENERATOR) -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPLICETRC_WERROR=ON -DSPLICETRC_FUZZ=ON \
		-DSPLICETRC_BUILD_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS) --target fuzz_reader fuzz_append

fuzz: build-fuzz
	fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

coverage: deps
	tools/coverage.sh build/coverage
