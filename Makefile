# The front door: `make run` and `make test`. Everything underneath is CMake presets.
SHELL := /bin/bash
.DEFAULT_GOAL := help

# Debian packages, installed only when missing: what building needs, and what the tests,
# fuzzing, benchmarks and packaging need on top.
BUILD_PACKAGES := cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev \
                  libcpp-httplib-dev nlohmann-json3-dev libbenchmark-dev
TEST_PACKAGES := iproute2 util-linux python3 dpkg-dev file help2man nftables systemd \
                 systemd-container clang clang-format libclang-rt-14-dev llvm-14 valgrind chromium

# Installs the packages named in $(1) that are not installed yet.
install_missing = missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  if [ "$$(id -u)" -ne 0 ]; then SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

.PHONY: help deps test-deps run test test-release test-dev test-fuzz build-release build-dev package bench fuzz soak format clean
SOAK_SECONDS ?= 300

help:
	@echo "make run    build the release server and run it in the foreground"
	@echo "make test   build and run every test, plain and under the sanitizers"
	@echo "make package  build the Debian package into build/release"
	@echo "make bench    build the release tree and run the benchmarks (a few minutes)"
	@echo "make fuzz     run every fuzz target for a minute"
	@echo "make soak     long flood and valgrind memcheck (SOAK_SECONDS=$(SOAK_SECONDS))"

deps:
	@$(call install_missing,$(BUILD_PACKAGES))

test-deps: deps
	@$(call install_missing,$(TEST_PACKAGES))

build-release: deps
	cmake --preset release
	cmake --build --preset release

build-dev: deps
	cmake --preset dev
	cmake --build --preset dev

run: build-release
	./build/release/TavrinServer

test-release: test-deps build-release
	ctest --preset release

test-dev: test-deps build-dev
	ctest --preset dev

# Each fuzz target for a short while, so that a regression in the readings shows in CI too.
test-fuzz: test-deps
	fuzz/run.sh 20

test: test-release test-dev test-fuzz

bench: test-deps
	bench/run.sh

fuzz: test-deps
	fuzz/run.sh 60

soak: test-deps build-release
	tests/hardening/soak.sh build/release $(SOAK_SECONDS)

package: test-deps build-release
	cmake --build --preset release --target package

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
