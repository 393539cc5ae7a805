# One command each: set up, build and run a program; set up, build and run every test.
JOBS ?= $(shell nproc)
# The suites' longest tests (the soaks, the fault cases, the end-to-end runs, the screenshots)
# mostly wait on programs and X servers, so they run twice as many tests at once as there are
# cores.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) * 2 )))
PREFIX ?= /usr/local
PORT ?= 8080
FUZZ_SECONDS ?= 60

.PHONY: setup setup-clang build zentavor trabolix demo test test-asan test-tsan bench fuzz \
	format check-format build-werror clean
.PHONY: programs install uninstall package screenshots web serve-web

setup:
	@scripts/setup

build-%: setup
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)

build: build-default

# The run commands install and build only what the programs need (build/no-tests), one line a
# stage; ARGS go to the program, as in `make trabolix ARGS="--scale 2"`.
zentavor trabolix:
	@JOBS=$(JOBS) scripts/play $@ $(ARGS)

# The graphics library's demo, one of everything it draws: revision 2, then revision 1.
demo: build-default
	@scripts/run build/default/graph/graph_demo_zentavor 6
	@scripts/run build/default/graph/graph_demo_trabolix 6

# The browser tests (web_zentavor, web_trabolix) play the pages of build/web in headless Chromium.
test: build-default web
	ctest --preset default -j $(TEST_JOBS)

test-asan: build-asan
	ctest --preset asan -j $(TEST_JOBS)

test-tsan: build-tsan
	ctest --preset tsan -j $(TEST_JOBS)

bench: build-default web
	cmake --build --preset default --target run_benchmarks

# The two programs alone, for install, package and screenshots. An existing build directory is
# not configured again, so `sudo make install` after a build writes nothing into it.
programs: setup
	@test -f build/default/CMakeCache.txt || cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS) --target zentavor trabolix

install: programs
	DESTDIR="$(DESTDIR)" cmake --install build/default --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=build/default/install_manifest.txt -P cmake/Uninstall.cmake

package: programs
	cd build/default && cpack -G DEB

# The README's pictures, each program under a private X server and Trabolix's browser page in
# headless Chromium, in build/screenshots; with OUT=docs/img they replace the README's own.
screenshots: programs web
	scripts/screenshots $(if $(OUT),--out $(OUT))

# The browser pages in build/web: both programs built by emcc (Debian's emscripten, whose acorn
# module is on Debian's node path), with the terminal library from npm (package-lock.json). A
# user who cannot write emscripten's system cache gets one in build/emcache (its C and C++
# libraries are built there once, which takes a few minutes).
EMCC_ENV = NODE_PATH="$${NODE_PATH:+$$NODE_PATH:}/usr/share/nodejs" \
	$$(test -w /usr/share/emscripten/cache || echo EM_CACHE="$(CURDIR)/build/emcache")
web:
	@scripts/setup --web
	@test -f build/wasm/CMakeCache.txt || \
	  env $(EMCC_ENV) emcmake cmake -S . -B build/wasm -DCMAKE_BUILD_TYPE=Release >/dev/null
	env $(EMCC_ENV) cmake --build build/wasm -j $(JOBS) --target web

# Serves build/web on http://127.0.0.1:$(PORT)/ with the headers that give a page threads, until
# stopped with Ctrl+C.
serve-web: web
	@scripts/serve-web --port $(PORT) --dir build/web

fuzz: build-fuzz
	@scripts/fuzz $(FUZZ_SECONDS)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

setup-clang: setup
	@scripts/setup clang clang-format

# Fails when a source file is not formatted as .clang-format says.
check-format: setup-clang
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

# Everything (programs, tests, benchmarks) built with warnings as errors by g++ and by clang.
build-werror: setup-clang build-werror-gcc build-werror-clang

clean:
	rm -rf build
