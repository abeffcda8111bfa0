# The two commands: `make run` (the intro) and `make test` (every suite, plain and sanitized).
# Both install what a fresh Debian 12 machine lacks, configure and build first.

JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: all setup build build-asan run test test-asan clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS)

build-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)

run: build
	build/bin/brackenfold $(ARGS)

test: build build-asan
	ctest --preset default
	ctest --preset asan

clean:
	rm -rf build build-asan
