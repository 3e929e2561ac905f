# Thin wrapper: each target installs what is missing, configures and builds.
#   make demo   send a sample image to the simulated board and capture its boot log
#   make test   the whole suite, under AddressSanitizer and UndefinedBehaviorSanitizer
#   make bench  throughput against devsim, beside lrzsz and stm32flash; draws docs/images/bench.png
#               (make bench mcu: the bootloader part alone)
#   make soak   hundreds of small downloads through devsim's faulty line, by outcome
#   make screenshots  flashpanel's pictures in the README, taken on Xvfb
#   make fuzz   each fuzz target for FUZZ_SECONDS from its seed corpus (clang, libFuzzer)
#   make package  the Debian package flashkit_<version>_<arch>.deb in build-package/
#   make windows  linkxfer.exe and flashkit.exe in build-windows/bin, cross-built with MinGW-w64
#   make windows-zip  those two with the README and license as flashkit-<version>-win64.zip

JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := build-test
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))
PACKAGE_BUILD := build-package
WINDOWS_BUILD := build-windows
# The Windows programs and unit tests that make test runs under Wine.
WINDOWS_TEST_BUILD := build-windows-test
# The package's version is its changelog's newest entry.
DEB := $(CURDIR)/$(PACKAGE_BUILD)/flashkit_$(shell awk -F'[()]' 'NR == 1 { print $$2 }' packaging/changelog)_$(shell dpkg --print-architecture).deb

.PHONY: all deps build test-build fuzz-build demo test bench screenshots fuzz package clean \
	windows windows-zip windows-test-build

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test-build: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFLASHKIT_SANITIZE=ON -DFLASHKIT_WERROR=ON \
		-DFLASHKIT_FUZZ_BIN=$(CURDIR)/$(FUZZ_BUILD)/bin -DFLASHKIT_DEB=$(DEB) \
		-DFLASHKIT_WINDOWS_BIN=$(CURDIR)/$(WINDOWS_TEST_BUILD)/bin >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)/bin

# The fuzz targets are built with clang in a tree of their own.
fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
		-DFLASHKIT_FUZZ=ON -DFLASHKIT_WERROR=ON -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

# The test suite runs each fuzz target briefly, checks the package and runs
# the Windows programs and unit tests under Wine, so it builds them too.
test: test-build fuzz-build package windows-test-build
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 170

# `make bench mcu` (or lines, usb, adapter, rack, wine) runs one part, without the chart.
BENCH_PARTS := lines mcu usb adapter rack wine
BENCH_PART := $(firstword $(filter $(BENCH_PARTS),$(MAKECMDGOALS)))
# The Wine row needs the Windows build; the other parts do not.
bench: build $(if $(filter-out wine,$(BENCH_PART)),,windows)
	@BENCH_WINDOWS_BIN=$(CURDIR)/$(WINDOWS_BUILD)/bin \
		scripts/bench $(BUILD)/bin $(or $(BENCH_PART),all) $(if $(BENCH_PART),,docs/images/bench.png)
ifneq ($(filter bench,$(MAKECMDGOALS)),)
.PHONY: $(BENCH_PARTS)
$(BENCH_PARTS): bench
	@:
endif

# About 20 minutes; scripts/soak --short is the part the suite runs.
.PHONY: soak
soak: build
	@scripts/soak $(BUILD)/bin

screenshots: test-build
	@scripts/screenshots $(TEST_BUILD)/bin docs/images

fuzz: fuzz-build
	@status=0; for target in $(FUZZ_TARGETS); do \
		echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
		scripts/fuzz-smoke $$target $(FUZZ_SECONDS) $(FUZZ_BUILD)/bin || status=1; \
	done; exit $$status

# A release build with Debian's hardening flags, packed by cpack; binaries
# are stripped in the package.
package: deps
	@export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHKIT_TESTS=OFF \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack -G DEB >/dev/null
	@echo "package: $(DEB)"

# Windows' console programs from the same sources, with MinGW-w64; the C++
# runtime is linked in, so they need no DLL beyond the system's.
windows: deps
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

windows-zip: windows
	@scripts/windows-zip $(WINDOWS_BUILD)/bin $(WINDOWS_BUILD)

windows-test-build: deps
	@cmake -S . -B $(WINDOWS_TEST_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DCMAKE_BUILD_TYPE=Debug -DFLASHKIT_WERROR=ON >/dev/null
	@cmake --build $(WINDOWS_TEST_BUILD) -j $(JOBS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) $(WINDOWS_BUILD) $(WINDOWS_TEST_BUILD)
