# One command each: set up, build and run a program; set up, build and run every test.
JOBS ?= $(shell nproc)

.PHONY: setup build zentavor trabolix test test-asan test-tsan bench format clean

setup:
	@scripts/setup

build-%: setup
	cmake --preset $* >/dev/null
	cmake --build --preset $* -j $(JOBS)

build: build-default

zentavor: build-default
	@scripts/run build/default/planets/zentavor

trabolix: build-default
	@scripts/run build/default/shooter/trabolix

test: build-default
	ctest --preset default -j $(JOBS)

test-asan: build-asan
	ctest --preset asan -j $(JOBS)

test-tsan: build-tsan
	ctest --preset tsan -j $(JOBS)

bench: build-default
	cmake --build --preset default --target run_benchmarks

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build
