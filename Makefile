# SPDX-License-Identifier: GPL-2.0-or-later
# Front door. `make run` builds and runs the intro; `make test` builds and runs
# every test. Both install the system packages they need first.
BUILD ?= build
SANITIZED_BUILD ?= build-asan
CROSS_BUILD ?= build-aarch64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run screenshots test sanitized-build cross-build package bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The intro prints nothing, even when it cannot start; without an X display
# this says why, in one line, before make reports the failure.
run: build
	@$(BUILD)/bin/intro || { status=$$?; \
	  if ! xdpyinfo >/dev/null 2>&1; then \
	    echo "make run: the intro needs an X display and none opens$${DISPLAY:+ at $$DISPLAY}; make screenshots shows the scene without one" >&2; \
	  fi; exit $$status; }

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

# ---- 64-bit Arm build and Debian packages ---------------------------------
# Everything cross-built for aarch64 against the multiarch arm64 libraries;
# the tests run it under qemu-aarch64.
cross-build: deps
	@cmake -S . -B $(CROSS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(CROSS_BUILD) -j $(JOBS)

# quillrun-intro and quillrun-modrender for amd64 and arm64, all in packages/.
PACKAGES = packages
package: build cross-build
	@rm -rf $(PACKAGES)
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@cd $(CROSS_BUILD) && DEB_HOST_ARCH=arm64 cpack -G DEB >/dev/null
	@ls $(PACKAGES)/*.deb
# ---------------------------------------------------------------------------

test: build sanitized-build cross-build package
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cd $(SANITIZED_BUILD) && ctest --output-on-failure -j $(JOBS) -L 'unit|corpus'

# Interpolation quality on two tone modules and rendering speed on the public
# corpus, each beside the reference players, and what a seek costs.
bench: build
	@python3 tools/bench/bench_quality.py $(BUILD)/bin/modrender $(BUILD)/bin/tone_modules
	@python3 tools/bench/bench_render.py $(BUILD)/bin/modrender
	@$(BUILD)/bin/seek_cost 600 "$$(bash scripts/fetch-corpus.sh)"/*

clean:
	rm -rf $(BUILD) $(SANITIZED_BUILD) $(CROSS_BUILD) $(PACKAGES)

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
