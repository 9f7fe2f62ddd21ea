# Two commands do everything on a fresh Debian 12 machine:
#   make run   installs what is missing, builds, starts Lectern
#   make test  installs what is missing, builds, runs the whole suite (then again under ASan + UBSan)
# For Windows, cross-built here (scripts/windows/build.sh):
#   make windows       the portable zip and the installer in dist/
#   make test-windows  the same, then the suites and the end-to-end pass under Wine
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD ?= build
SAN_BUILD ?= build-asan
CTEST_FLAGS ?= --output-on-failure -j$(JOBS)

.PHONY: run test setup build build-sanitize test-main test-sanitize format windows test-windows

setup:
	@bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLECTERN_WERROR=ON
	cmake --build $(BUILD) -j$(JOBS)

build-sanitize: setup
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLECTERN_WERROR=ON -DLECTERN_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j$(JOBS)

run: build
	./$(BUILD)/src/app/lectern

test-main: build
	ctest --test-dir $(BUILD) $(CTEST_FLAGS)

test-sanitize: build-sanitize
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(SAN_BUILD) $(CTEST_FLAGS)

test: test-main test-sanitize

format: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) --target format

windows:
	JOBS=$(JOBS) bash scripts/windows/build.sh

test-windows:
	JOBS=$(JOBS) bash scripts/windows/build.sh --test
