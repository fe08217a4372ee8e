# The two set-up commands: `make run` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
SAMPLE ?= samples/floorplan.jwc
# ccache, where installed, makes rebuilds in other checkouts of the same sources cheap.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: all run test deps deps-programs programs release asan tsan fuzz fuzz-build bench clean

all: release

deps:
	@bash scripts/install-deps.sh

# Only what building and running the two programs needs.
deps-programs:
	@bash scripts/install-deps.sh programs

# The two programs alone, in the release tree (no tests or benchmarks configured).
programs: deps-programs
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON \
	  -DPELMORA_TESTS=OFF $(LAUNCHER) >/dev/null
	@cmake --build build/release -j $(JOBS) --target pelmora pelmora-convert

release: deps
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON \
	  -DPELMORA_TESTS=ON $(LAUNCHER) >/dev/null
	@cmake --build build/release -j $(JOBS)

asan: deps
	@cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DPELMORA_SANITIZE=ON -DPELMORA_WERROR=ON $(LAUNCHER) >/dev/null
	@cmake --build build/asan -j $(JOBS)

# The banded render's threads under ThreadSanitizer.
tsan: deps
	@cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DPELMORA_TSAN=ON -DPELMORA_GUI=OFF $(LAUNCHER) >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target pelmora_unit_tests
	@env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 QT_QPA_PLATFORM=offscreen \
	  XDG_CONFIG_HOME=$(CURDIR)/build/tsan/test-config \
	  build/tsan/tests/pelmora_unit_tests --gtest_filter='DrawBands*:ParallelDeflate*:CompressedEncoders*:FontRasterizer.RasterizersOnTwoThreads*'

fuzz-build: deps
	@cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DPELMORA_FUZZ=ON -DPELMORA_WERROR=ON $(LAUNCHER) >/dev/null
	@cmake --build build/fuzz -j $(JOBS)

# make fuzz FUZZ_SECONDS=3600
fuzz: fuzz-build
	@bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

run: programs
	@bash scripts/run.sh build/release $(SAMPLE)

test: asan fuzz-build
	@bash scripts/run-fuzz.sh build/fuzz 60
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

bench: release
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
