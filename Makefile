# Thin wrapper over the CMake presets (CMakePresets.json) so that a fresh machine needs exactly
# two commands:
#   make demo   builds the programs and runs each on the sample captures in examples/
#   make test   builds and runs every test, plain and under the sanitizers
# Each preset builds in build/PRESET: build/release, build/asan, build/fuzz, build/coverage.
JOBS ?= $(shell nproc)

.PHONY: demo test bench check-wireshark deps build-release build-dev build-asan test-release test-dev test-asan clean

# The dependency script runs once, and again only when it changes: a stamp remembers it.
DEPS_STAMP := build/.deps-installed
deps: $(DEPS_STAMP)

$(DEPS_STAMP): tools/ensure-deps.sh
	@tools/ensure-deps.sh
	@mkdir -p build && touch $@

build-release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

# The quick loop while editing: a debug build without link-time optimisation, and its tests.
build-dev: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

test-dev: build-dev
	ctest --preset dev -j $(JOBS)

demo: build-release
	@tools/demo.sh build/release

test-release: build-release
	ctest --preset release -j $(JOBS)
	@# The benchmark itself is too long for a test run; this checks that it still works.
	python3 bench/bench.py --build build/release --data build/bench-data --smoke

test-asan: build-asan
	ctest --preset asan -j $(JOBS)

test: test-release test-asan

clean:
	rm -rf build

# Not part of `make test`: minutes long and over a gigabyte of generated input.
bench: build-release
	python3 bench/bench.py --build build/release --data build/bench-data

# Every case of the damaged-input catalogue read through the Wireshark reader by tshark, against
# trc2pcap's export of it (`make test` reads a fixed sample of them): minutes long.
check-wireshark: build-release
	python3 tests/wireshark/check_reader.py --build build/release --catalogue --all

# --- Fuzzing and coverage ---
# `make fuzz` needs clang (libFuzzer); each target fuzzes for FUZZ_SECONDS after a regression
# run over its committed corpus. `make coverage` reports the test suite's line coverage.
FUZZ_SECONDS ?= 60
.PHONY: build-fuzz fuzz coverage

build-fuzz: deps
	@command -v clang++ >/dev/null || { echo "make fuzz needs clang++ and its libFuzzer"; exit 1; }
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)

fuzz: build-fuzz
	fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

coverage: deps
	tools/coverage.sh
