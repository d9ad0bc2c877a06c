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

test-asan: build-asan
	cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

test: test-release test-asan

clean:
	rm -rf build

# Not part of `make test`: minutes long and over a gigabyte of generated input.
bench: build-release
	python3 bench/bench.py --build build/release --data build/bench-data
