# Front door. `make test` installs what is missing, builds natively and for Windows
# (32-bit, the product, and 64-bit, a second target), and runs the tests: natively,
# and under Wine for every Windows architecture this host can run.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
# Warnings in our code fail the build; WERROR=OFF turns that off while experimenting.
WERROR ?= ON
NATIVE := build/native
# Debug information: line tables and function names (-g1), which is what backtraces and
# sanitizer reports need; full information (DEBUG_INFO=-g) makes every build about a
# fifth slower and its objects three times larger.
DEBUG_INFO ?= -g1
CMAKE_COMMON := -DCMAKE_BUILD_TYPE=RelWithDebInfo -G "Unix Makefiles" -DORVANE_WERROR=$(WERROR) \
                -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 $(DEBUG_INFO) -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 $(DEBUG_INFO) -DNDEBUG"
NATIVE_CONFIGURE = cmake -S . -B $(NATIVE) $(CMAKE_COMMON) -DORVANE_SANITIZE=ON
TOOLCHAIN_win32 := cmake/mingw-i686.cmake
TOOLCHAIN_win64 := cmake/mingw-x86_64.cmake

.PHONY: all setup check native win win32 win64 win-for-tests test test-native test-win run dist fuzz bench clean

all: native win

setup:
	@scripts/setup

# The checks CI runs beside the tests: the formatter (scripts/check --fix formats what is
# off), the layers of the includes, and clang-tidy on the natively built code, which reads
# the native tree's compile commands (configured here; nothing is built). Each runs even
# when one before it failed; clang-tidy runs JOBS processes at once.
check: setup
	@$(NATIVE_CONFIGURE) >/dev/null
	@rc=0; scripts/check || rc=1; scripts/check-layers || rc=1; \
	 JOBS=$(JOBS) scripts/check-tidy || rc=1; exit $$rc

native: setup
	$(NATIVE_CONFIGURE) >/dev/null
	cmake --build $(NATIVE) -j $(JOBS)

win: win32 win64

# TARGETS limits the build to those targets (all of them by default).
win32 win64: setup
	cmake -S . -B build/$@ $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/$(TOOLCHAIN_$@) >/dev/null
	cmake --build build/$@ -j $(JOBS) $(if $(TARGETS),--target $(TARGETS))

# For the tests: a Windows tree whose suite cannot run on this host builds only its
# programs (they must still compile), not tests that would never run.
win-for-tests: setup
	@for arch in win32 win64; do \
	   if scripts/wine-arch --all | grep -qx $$arch; then $(MAKE) --no-print-directory $$arch || exit 1; \
	   else $(MAKE) --no-print-directory $$arch TARGETS="OrvaneDemo server orvane" || exit 1; fi; \
	 done

test-native: native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS) --timeout 300

# ORVANE_WINE_ARCH=win32 or win64 runs that suite alone.
test-win: win-for-tests
	JOBS=$(JOBS) scripts/test-windows

# Both sets run even when the first fails; the target fails if either did.
test: native win-for-tests
	@rc=0; $(MAKE) --no-print-directory test-native || rc=1; \
	 $(MAKE) --no-print-directory test-win || rc=1; \
	 if [ $$rc = 0 ]; then echo "make test: all test sets passed"; else echo "make test: FAILED"; fi; exit $$rc

# The programs of the architecture the host runs (32-bit where it can).
run: native
	@arch=$$(scripts/wine-arch) && $(MAKE) --no-print-directory $$arch && ORVANE_WINE_ARCH=$$arch scripts/run-demo

dist: win
	scripts/make-dist

fuzz: setup
	scripts/setup clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_FUZZ=ON -DORVANE_WERROR=$(WERROR) >/dev/null
	cmake --build build/fuzz -j $(JOBS)
	scripts/run-fuzzers build/fuzz

bench: native win
	scripts/setup ffmpeg
	scripts/run-benchmarks

clean:
	rm -rf build out
