# Front door. `make run` builds and runs the intro; `make test` builds and runs
# every test. Both install the system packages they need first.
BUILD ?= build
SANITIZED_BUILD ?= build-asan
CROSS_BUILD ?= build-aarch64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run screenshots test sanitized-build cross-build bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/intro

# PNGs of the real scene at chosen scene times (seconds), rendered under a
# private Xvfb: make screenshots TIMES="1 3.5 20"
TIMES ?=
screenshots: build
	@mkdir -p $(BUILD)/screenshots
	@bash tests/with-xvfb.sh $(BUILD)/bin/intro_screenshots $(BUILD)/screenshots $(TIMES)

# The replayer's unit and corpus tests run again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
sanitized-build: deps
	@cmake -S . -B $(SANITIZED_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLRUN_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZED_BUILD) -j $(JOBS)

# The replayer and modrender for aarch64, run under qemu by the cross test.
cross-build: deps
	@cmake -S . -B $(CROSS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	  -DQUILLRUN_REPLAYER_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(CROSS_BUILD) -j $(JOBS)

test: build sanitized-build cross-build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cd $(SANITIZED_BUILD) && ctest --output-on-failure -j $(JOBS) -L 'unit|corpus'

# Rendering speed against the reference players on the public corpus.
bench: build
	@python3 tools/bench_render.py $(BUILD)/bin/modrender

clean:
	rm -rf $(BUILD) $(SANITIZED_BUILD) $(CROSS_BUILD)

# ---------------------------------------------------------------- fuzzing
# libFuzzer targets of the replayer, built with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer in their own folder. `make fuzz` replays the
# committed regression inputs and fuzzes each target FUZZ_SECONDS seconds:
#   make fuzz FUZZ_SECONDS=3600 FUZZ_TARGETS="load render compact"
# Findings are left in $(FUZZ_BUILD)/fuzz/findings/<target>/. `make test` runs
# a short round of every target (fuzz-ci).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_CI_SECONDS ?= 60
FUZZ_TARGETS ?=

.PHONY: fuzz-build fuzz fuzz-ci

fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLRUN_FUZZ=ON \
	  -DQUILLRUN_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-build
	@bash tests/fuzz/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-ci: fuzz-build
	@bash tests/fuzz/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_CI_SECONDS)

test: fuzz-ci

.PHONY: fuzz-clean
fuzz-clean:
	rm -rf $(FUZZ_BUILD)
clean: fuzz-clean
