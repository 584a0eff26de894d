# Front door. `make test` installs what is missing, builds natively and for Windows,
# and runs both test sets (the Windows one under Wine).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
WIN := build/win
CMAKE_COMMON := -DCMAKE_BUILD_TYPE=RelWithDebInfo -G "Unix Makefiles"

.PHONY: all setup native win test test-native test-win run dist fuzz bench clean

all: native win

setup:
	@scripts/setup

native: setup
	cmake -S . -B $(NATIVE) $(CMAKE_COMMON) -DORVANE_SANITIZE=ON >/dev/null
	cmake --build $(NATIVE) -j $(JOBS)

win: setup
	cmake -S . -B $(WIN) $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	cmake --build $(WIN) -j $(JOBS)

test-native: native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS) --timeout 300

test-win: win
	scripts/wine-session bash -c 'cd $(WIN) && ctest --output-on-failure -j $(JOBS) --timeout 300'

# Both sets run even when the first fails; the target fails if either did.
test: native win
	@rc=0; $(MAKE) --no-print-directory test-native || rc=1; \
	 $(MAKE) --no-print-directory test-win || rc=1; \
	 if [ $$rc = 0 ]; then echo "make test: all test sets passed"; else echo "make test: FAILED"; fi; exit $$rc

run: win native
	scripts/run-demo

dist: win
	scripts/make-dist

fuzz: setup
	scripts/setup clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_FUZZ=ON >/dev/null
	cmake --build build/fuzz -j $(JOBS)
	scripts/run-fuzzers build/fuzz

bench: native win
	scripts/setup ffmpeg
	scripts/run-benchmarks

clean:
	rm -rf build out
