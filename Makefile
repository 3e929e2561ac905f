# Thin wrapper: each target installs what is missing, configures and builds.
#   make demo   send a sample image to the simulated board and capture its boot log
#   make test   the whole suite, under AddressSanitizer and UndefinedBehaviorSanitizer
#   make bench  throughput figures against the simulated board and lrzsz
#   make soak   hundreds of small downloads through devsim's faulty line, by outcome
#   make screenshots  flashpanel's pictures in the README, taken on Xvfb
#   make fuzz   each fuzz target for FUZZ_SECONDS from its seed corpus (clang, libFuzzer)

JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := build-test
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))

.PHONY: all deps build test-build fuzz-build demo test bench screenshots fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test-build: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFLASHKIT_SANITIZE=ON \
		-DFLASHKIT_FUZZ_BIN=$(CURDIR)/$(FUZZ_BUILD)/bin >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)/bin

# The fuzz targets are built with clang in a tree of their own.
fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
		-DFLASHKIT_FUZZ=ON -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

# The test suite runs each fuzz target briefly, so it builds them too.
test: test-build fuzz-build
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 170

bench: build
	@scripts/bench $(BUILD)/bin

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

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD)
