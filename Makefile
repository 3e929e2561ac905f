# Thin wrapper: each target installs what is missing, configures and builds.
#   make demo   send a sample image to the simulated board and capture its boot log
#   make test   the whole suite, under AddressSanitizer and UndefinedBehaviorSanitizer
#   make bench  throughput figures against the simulated board and lrzsz
#   make screenshots  flashpanel's pictures in the README, taken on Xvfb

JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := build-test

.PHONY: all deps build test-build demo test bench screenshots clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLASHKIT_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test-build: deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFLASHKIT_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)/bin

test: test-build
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 170

bench: build
	@scripts/bench $(BUILD)/bin

screenshots: test-build
	@scripts/screenshots $(TEST_BUILD)/bin docs/images

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
