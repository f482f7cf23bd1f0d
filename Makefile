# The two everyday commands:
#   make run [FILE=path]   build and open FILE (default: the bundled sample)
#   make test              build and run every test
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FILE       ?= tests/fixtures/bin/gui.exe
FUZZ_SECONDS ?= 30
JOBS       ?= $(shell nproc)

.PHONY: deps build run test asan-test tsan-test fuzz fuzz-smoke bench fixtures clean

deps:
	@tools/setup-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-program "$(BUILD)" "$(FILE)"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Core tests under AddressSanitizer + UndefinedBehaviorSanitizer.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOXU_SANITIZE=ON \
	  -DOXU_BUILD_APP=OFF -DOXU_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests labelled tsan (worker threads beside the user-interface thread)
# under ThreadSanitizer; only their programs are built.
TSAN_TARGETS = analysis_concurrency_test analysis_scanner_concurrency_test analysis_workers_test
tsan-test: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXU_TSAN=ON \
	  -DOXU_BUILD_APP=OFF -DOXU_BUILD_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L tsan

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOXU_FUZZ=ON -DOXU_BUILD_APP=OFF

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on its seed corpus; a crash fails the run.
fuzz-smoke: fuzz
	@tools/fuzz-smoke "$(FUZZ_BUILD)" "$(FUZZ_SECONDS)"

bench: build
	@tools/run-bench "$(BUILD)"

# Rebuilds the committed fixture binaries from their sources.
fixtures: deps
	tests/fixtures/build.sh

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
