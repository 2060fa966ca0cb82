# Front door. `make run` builds and runs the intro; `make test` builds and runs
# every test. Both install the system packages they need first.
BUILD ?= build
SANITIZED_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run screenshots test sanitized-build clean

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

test: build sanitized-build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cd $(SANITIZED_BUILD) && ctest --output-on-failure -j $(JOBS) -L 'unit|corpus'

clean:
	rm -rf $(BUILD) $(SANITIZED_BUILD)
