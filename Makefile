# The two everyday commands:
#   make run [FILE=path]   build and open FILE (default: the bundled sample)
#   make test              build and run every test
# Installing: make install [PREFIX=/usr/local] [DESTDIR=...]; make package (a .deb).
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
INSTALL_BUILD ?= build-install
PACKAGE_BUILD ?= build-package
FILE       ?= tests/fixtures/bin/gui.exe
FUZZ_SECONDS ?= 30
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

# Our own builds stop on warnings; a packager's plain cmake build only reports them.
DEV_FLAGS  = -DOXU_WERROR=ON
# What is installed: the programs and their files, without tests and benchmarks.
RELEASE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXU_BUILD_TESTS=OFF -DOXU_BUILD_BENCH=OFF

.PHONY: deps build run test asan-test tsan-test fuzz fuzz-smoke bench fixtures install package clean

deps:
	@tools/setup-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEV_FLAGS)

# A build tree made before warnings became an option is switched to them too.
build: deps $(BUILD)/build.ninja
	@grep -q '^OXU_WERROR:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(DEV_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-program "$(BUILD)" "$(FILE)"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Core tests under AddressSanitizer + UndefinedBehaviorSanitizer.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOXU_SANITIZE=ON \
	  -DOXU_BUILD_APP=OFF -DOXU_BUILD_BENCH=OFF $(DEV_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests labelled tsan (worker threads beside the user-interface thread)
# under ThreadSanitizer; only their programs are built.
TSAN_TARGETS = analysis_concurrency_test analysis_scanner_concurrency_test document_workers_test
tsan-test: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXU_TSAN=ON \
	  -DOXU_BUILD_APP=OFF -DOXU_BUILD_BENCH=OFF $(DEV_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L tsan

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOXU_FUZZ=ON -DOXU_BUILD_APP=OFF $(DEV_FLAGS)

fuzz: deps $(FUZZ_BUILD)/build.ninja
	@grep -q '^OXU_WERROR:BOOL=ON' $(FUZZ_BUILD)/CMakeCache.txt || cmake -S . -B $(FUZZ_BUILD) $(DEV_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on its seed corpus; a crash fails the run.
fuzz-smoke: fuzz
	@tools/fuzz-smoke "$(FUZZ_BUILD)" "$(FUZZ_SECONDS)"

bench: build
	@tools/run-bench "$(BUILD)"

# Rebuilds the committed fixture binaries from their sources.
fixtures: deps
	tests/fixtures/build.sh

# A Release build installed under PREFIX (DESTDIR, when given, is put before it).
install: deps
	cmake -S . -B $(INSTALL_BUILD) $(RELEASE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(INSTALL_BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(INSTALL_BUILD)

# The Debian package of a Release build for /usr; its dependencies come from
# dpkg-shlibdeps. The .deb is left in $(PACKAGE_BUILD).
package: deps
	cmake -S . -B $(PACKAGE_BUILD) $(RELEASE_FLAGS) -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
	@ls $(PACKAGE_BUILD)/*.deb

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(INSTALL_BUILD) $(PACKAGE_BUILD)
