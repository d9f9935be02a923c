# The front door: `make run` and `make test`. Everything underneath is CMake presets.
SHELL := /bin/bash
.DEFAULT_GOAL := help

# Debian packages the build and the tests need; installed only when missing.
PACKAGES := cmake ninja-build g++ googletest libgtest-dev libgmock-dev iproute2 util-linux python3 \
            dpkg-dev file help2man nftables systemd systemd-container \
            clang libclang-rt-14-dev llvm-14 valgrind \
            pkg-config libcpp-httplib-dev nlohmann-json3-dev chromium libbenchmark-dev
DEPS_STAMP := build/.deps-$(shell echo $(PACKAGES) | md5sum | cut -c1-8)

.PHONY: help deps run test test-release test-dev test-fuzz build-release build-dev package bench fuzz soak format clean
SOAK_SECONDS ?= 300

help:
	@echo "make run    build the release server and run it in the foreground"
	@echo "make test   build and run every test, plain and under the sanitizers"
	@echo "make package  build the Debian package into build/release"
	@echo "make bench    build the release tree and run the benchmarks (a few minutes)"
	@echo "make fuzz     run every fuzz target for a minute"
	@echo "make soak     long flood and valgrind memcheck (SOAK_SECONDS=$(SOAK_SECONDS))"

$(DEPS_STAMP):
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  if [ "$$(id -u)" -ne 0 ]; then SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi
	@mkdir -p build && touch $@

deps: $(DEPS_STAMP)

build-release: deps
	cmake --preset release
	cmake --build --preset release

build-dev: deps
	cmake --preset dev
	cmake --build --preset dev

run: build-release
	./build/release/TavrinServer

test-release: build-release
	ctest --preset release

test-dev: build-dev
	ctest --preset dev

# Each fuzz target for a short while, so that a regression in the readings shows in CI too.
test-fuzz: deps
	fuzz/run.sh 20

test: test-release test-dev test-fuzz

bench: deps
	bench/run.sh

fuzz: deps
	fuzz/run.sh 60

soak: build-release
	tests/hardening/soak.sh build/release $(SOAK_SECONDS)

package: build-release
	cmake --build --preset release --target package

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
