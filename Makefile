# Set-up, build and test in one command each. Every target first installs what is missing.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SAMPLES_DIR ?= samples
OUTPUT_DIR ?= $(BUILD_DIR)/samples-vdb

.PHONY: all deps configure build test run asan clean farm-test

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	bash scripts/convert-samples.sh $(BUILD_DIR)/converter/orvconvert $(SAMPLES_DIR) $(OUTPUT_DIR)

# The render-farm example of the README on a one-node Slurm cluster (installs slurm-wlm and munge
# when missing; needs root).
farm-test: build
	bash scripts/farm-test.sh $(BUILD_DIR)/converter/orv $(SAMPLES_DIR)

asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DORV_SANITIZE=ON -DORV_BUILD_BENCH=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)

# Short libFuzzer run of every harness (clang build in build-fuzz); not part of CI.
FUZZ_SMOKE_SECONDS ?= 15
.PHONY: fuzz-smoke
fuzz-smoke:
	for target in $$(bash scripts/fuzz.sh list); do bash scripts/fuzz.sh $$target $(FUZZ_SMOKE_SECONDS) || exit 1; done
