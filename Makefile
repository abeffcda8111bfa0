# The two commands: `make run` (the intro) and `make test` (every suite: plain, under ASan and
# UBSan, and the threaded ones under TSan). Both install what a fresh Debian 12 machine lacks,
# configure and build first. `make fuzz` runs the fuzzers for FUZZ_SECONDS each.

JOBS ?= $(shell nproc)
ARGS ?=
FUZZ_SECONDS ?= 60
SHARED_XM := ../shared/testdata/xm
SHARED_MOD := ../shared/testdata/mod-songs
SHARED_S3M := ../shared/testdata/s3m-songs
SHARED_IT := ../shared/testdata/it-songs

.PHONY: all setup build build-asan build-tsan run test bench fuzz clean assets setup-windows windows windows-tests test-windows release release-check setup-web web test-web

all: build

setup:
	@bash scripts/setup.sh

build: setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS)

build-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)

build-tsan: setup
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)

run: build
	build/bin/brackenfold $(ARGS)

test: build build-asan build-tsan
	ctest --preset default
	ctest --preset asan
	ctest --preset tsan

bench: build
	@bash scripts/setup.sh bench
	build/bin/xm_bench
	build/bin/wko_bench

fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@mkdir -p build-fuzz/corpus/modules build-fuzz/artifacts
	build-fuzz/bin/xmseeds build-fuzz/corpus/modules
	@if [ -d $(SHARED_XM) ]; then cp $(SHARED_XM)/*.xm build-fuzz/corpus/modules/; \
	  else echo "fuzz: no $(SHARED_XM); seeding with written modules only"; fi
	@if [ -d $(SHARED_MOD) ]; then cp $(SHARED_MOD)/*.mod build-fuzz/corpus/modules/; \
	  else echo "fuzz: no $(SHARED_MOD); seeding with written MOD modules only"; fi
	@if [ -d $(SHARED_S3M) ]; then cp $(SHARED_S3M)/*.s3m build-fuzz/corpus/modules/; \
	  else echo "fuzz: no $(SHARED_S3M); seeding with written S3M modules only"; fi
	@if [ -d $(SHARED_IT) ]; then cp $(SHARED_IT)/*.it build-fuzz/corpus/modules/; \
	  else echo "fuzz: no $(SHARED_IT); seeding with the other formats' modules only"; fi
	build-fuzz/bin/module_fuzzer -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -timeout=20 \
	  -artifact_prefix=build-fuzz/artifacts/ build-fuzz/corpus/modules
	@mkdir -p build-fuzz/corpus/sequencer
	build-fuzz/bin/sequencer_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -rss_limit_mb=4096 -timeout=20 \
	  -artifact_prefix=build-fuzz/artifacts/ build-fuzz/corpus/sequencer build-fuzz/corpus/modules
	@mkdir -p build-fuzz/corpus/image
	build-fuzz/bin/wkoseeds build-fuzz/corpus/image
	@printf '\000\210\012\057\000' > build-fuzz/corpus/image/four-by-four.wko
	@printf '\017\015\013\007\002\000\000\000\002\000\000\000\001\002\003\004' > build-fuzz/corpus/image/raw.bin
	@# A 4096 x 4096 x 3 header is legal and takes about 10 s to decode under the sanitizers; the
	@# target passes over streams beyond 64 x 64 x 3 padded samples (WkoReaderTest decodes the largest).
	build-fuzz/bin/image_fuzzer -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -timeout=120 \
	  -artifact_prefix=build-fuzz/artifacts/ build-fuzz/corpus/image

# Remakes every asset under resources/ from its source, byte for byte the files committed there
# (the build embeds those, so it needs none of this). ASSETS_BUILD: where the generators build.
ASSETS_BUILD ?= build
FONT_DIR ?= /usr/share/fonts/truetype/dejavu

assets: setup
	@cmake -S . -B $(ASSETS_BUILD) >/dev/null
	@cmake --build $(ASSETS_BUILD) -j $(JOBS) --target fontsheet logogen texgen xmcompose
	$(ASSETS_BUILD)/bin/fontsheet $(FONT_DIR)/DejaVuSansMono-Bold.ttf resources/font197.raw
	$(ASSETS_BUILD)/bin/logogen $(FONT_DIR)/DejaVuSans-Bold.ttf resources
	$(ASSETS_BUILD)/bin/texgen resources
	$(ASSETS_BUILD)/bin/xmcompose resources/music/intro.txt resources/intro.xm

# The Windows programs, cross-built with mingw-w64: build-win32/bin/brackenfold.exe (32-bit) and
# build-win64/bin/brackenfold.exe. `make test-windows` builds the suites that run under Wine
# (build-win64-tests/, with the posix thread model their cases need), checks both programs' headers
# and runs the suites and the 64-bit program under Wine (scripts/test-windows.sh); it compares the
# music with the Linux bfrender, which it builds.
setup-windows:
	@bash scripts/setup-windows.sh

windows: setup-windows
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 -j $(JOBS)

windows-tests: setup-windows
	@cmake --preset win64-tests >/dev/null
	@cmake --build --preset win64-tests -j $(JOBS)

test-windows: windows windows-tests setup
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS) --target bfrender
	bash scripts/test-windows.sh

# The release as it is uploaded, in dist/: brackenfold-win32.zip and brackenfold-win64.zip (the
# program, brackenfold.nfo and file_id.diz), brackenfold-web.zip (the page, ready to be served,
# with the same texts) and brackenfold-src.tar.gz (the checked-out commit), with SHA256SUMS. The
# programs are the release build (MinSizeRel) of the win32, win64 and web presets; the same commit
# gives the same bytes (scripts/release.py). `make release-check` builds the release twice from
# empty build folders and compares the digests.
release: windows web
	python3 scripts/release.py dist

release-check: setup-windows setup-web
	bash scripts/release-check.sh

# The intro on a web page, built with Debian's emscripten: build-web/brackenfold.html with its
# .js and .wasm (serve the folder, e.g. `python3 -m http.server -d build-web`, and open the page).
# `make test-web` runs it in headless Chromium: ?autostart, a screenshot of the scene, the console's
# audio report, Escape (scripts/webcheck.py). Both install emscripten and Chromium first
# (scripts/setup-web.sh); the Linux targets never do.
# The module player for pages is built beside it: build-web/player/ (the worklet's one file,
# brackenfold-worklet.js, and the ES module), build-web/player.html (the page). `make test-web`
# checks it too (scripts/playercheck.py): the worklet's frames equal the native library's (the
# first PLAYER_SECONDS of every module of ../shared/testdata), 30 s live with a busy page, the
# reason for a file that is not a module, the page.
PLAYER_SECONDS ?= 3
TSC ?= $(shell command -v tsc)
setup-web:
	@bash scripts/setup-web.sh

web: setup-web
	@cmake --preset web >/dev/null
	@cmake --build --preset web -j $(JOBS)

test-web: web setup
	python3 scripts/webcheck.py build-web build-web/test-web
	@cmake --preset default >/dev/null
	@cmake --build --preset default -j $(JOBS) --target nativeframes
	python3 scripts/playercheck.py build-web build/bin/nativeframes build-web/test-player $(PLAYER_SECONDS)
	@if [ -n "$(TSC)" ]; then $(TSC) --strict --noEmit --target es2022 --module es2022 --moduleResolution node \
	  --lib es2022,dom tests/web/usage.ts && echo "test-web: the package's types check (tests/web/usage.ts)"; \
	  else echo "test-web: no TypeScript compiler (TSC=path/to/tsc): the package's types not checked"; fi

clean:
	rm -rf build build-asan build-tsan build-fuzz build-win32 build-win64 build-win64-tests build-web dist
