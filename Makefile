# make run   installs what is missing, builds, opens the viewer on the sample study folder
# make test  installs what is missing, builds, runs every test
# make package  builds, then the Debian package build/dorvanelle_VERSION_ARCH.deb
BUILD ?= build
CMAKE_ARGS ?=
SAMPLE = $(BUILD)/Images/series-study

.PHONY: all deps build test run package bench fuzz clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

run: build
	$(BUILD)/bin/dorvanelle $(SAMPLE)

package: build
	cmake --build $(BUILD) --target package

bench: build
	@scripts/install-deps --bench
	bench/run-benchmarks $(BUILD)

fuzz:
	@scripts/install-deps
	scripts/fuzz-build build-fuzz
	@echo "fuzzers are in build-fuzz/bin (see README)"

clean:
	rm -rf $(BUILD) build-asan build-fuzz
