# The two everyday commands:
#   make run [FILE=path]   build and open FILE (default: the bundled sample)
#   make test              build and run every test
# Installing: make install [PREFIX=/usr/local] [DESTDIR=...]; make package (a .deb).
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
COVERAGE_BUILD ?= build-coverage
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

.PHONY: deps build run test asan-test tsan-test coverage count-lines fuzz fuzz-smoke bench fixtures install package clean \
        check-layers format

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

# Line and branch coverage of the core folders by the whole test suite (gcovr),
# and the size of the tests beside the code they test.
CORE_FOLDERS = base image disasm analysis tracer persist listing asm document
coverage: deps
	cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOXU_COVERAGE=ON \
	  -DOXU_BUILD_BENCH=OFF $(DEV_FLAGS)
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@# Counters of objects that no longer exist (a renamed or removed source) would not merge.
	ninja -C $(COVERAGE_BUILD) -t cleandead > /dev/null
	find $(COVERAGE_BUILD) -name '*.gcno' | while read -r n; do [ -e "$${n%.gcno}.o" ] || rm -f "$$n"; done
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	@# A test that fails here (a timing-bound one under the slow gcov build) still leaves its counts.
	cd $(COVERAGE_BUILD) && (ctest -j $(JOBS) -E '_fuzz' > ctest.log || tail -n 20 ctest.log)
	gcovr -r . $(COVERAGE_BUILD) -j $(JOBS) $(foreach f,$(CORE_FOLDERS),-f '$(f)/') \
	  --exclude-unreachable-branches --exclude-throw-branches --print-summary -o $(COVERAGE_BUILD)/coverage.txt
	@tools/count-lines

count-lines:
	@tools/count-lines

bench: build
	@tools/run-bench "$(BUILD)"

# Includes and library links follow the layer graph (docs/ARCHITECTURE.md).
check-layers:
	@tools/check-layers

# Rewrites every C++ file in the style of .clang-format; the sample programs'
# sources stay as they are, so that the committed fixtures still match them.
CLANG_FORMAT ?= clang-format
format: deps
	git ls-files -z '*.cpp' '*.h' ':!tests/fixtures/src' | xargs -0 $(CLANG_FORMAT) -i

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
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(COVERAGE_BUILD) $(INSTALL_BUILD) $(PACKAGE_BUILD)
