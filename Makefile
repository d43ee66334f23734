# Tessaro: the two commands a newcomer needs are `make demo` and `make test`.
# Both install what is missing (Debian/Ubuntu), build, and run.

BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test bench llrp-bench sanitize tsan check clean package nohid fuzz memcheck windows test-windows mutate

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The command-line tool on the simulated reader, with the real clock: the
# reader's information in words, then the sample shelf's tags. Builds the tool
# and the libraries it needs, nothing else.
# (Without --sim the same commands talk to the first reader on the USB bus.)
demo: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target tessaro
	$(BUILD)/bin/tessaro --sim info
	$(BUILD)/bin/tessaro --sim inventory

# Every test, on virtual time: finishes in seconds.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Host cost per call of representative commands against an instantly
# answering reader (docs/performance.md). Not a test: figures, not verdicts.
# BENCH_ARGS passes Google Benchmark options, e.g. --benchmark_filter=Inventory.
BENCH_ARGS ?=
bench:
	@scripts/install-deps libbenchmark-dev
	@$(MAKE) --no-print-directory build
	$(BUILD)/bin/tessaro_bench $(BENCH_ARGS)
	@[ ! -x $(BUILD)/bin/tessaro_journal_bench ] || (cd $(BUILD) && bin/tessaro_journal_bench)

# The LLRP server's latency and reports per second (docs/performance.md).
LLRP_BENCH_SECONDS ?= 10
llrp-bench: build
	$(BUILD)/bin/llrp_bench $(LLRP_BENCH_SECONDS)

# The Debian packages tessaro and tessaro-dev, built by CPack into $(BUILD)
# and checked by lintian.
package: build
	@scripts/install-deps lintian
	@cmake --build $(BUILD) --target package
	lintian --fail-on error $(BUILD)/tessaro_*.deb $(BUILD)/tessaro-dev_*.deb

# Every test of a build without the platform HID transport (no hidapi).
nohid:
	@$(MAKE) --no-print-directory test BUILD=build-nohid \
	    CMAKE_FLAGS="$(CMAKE_FLAGS) -DTESSARO_PLATFORM_TRANSPORT=OFF"

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer. This build
# leaves out the platform HID transport, so it also shows that every test that
# does not need hidapi passes without it (what `make nohid` shows on its own).
sanitize:
	@$(MAKE) --no-print-directory test BUILD=build-asan \
	    CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=address,undefined -DTESSARO_PLATFORM_TRANSPORT=OFF"

# The tests under ThreadSanitizer (the stress test above all).
tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan \
	    CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=thread"

# The unit, simulator, fault, reading and gateway-engine tests under valgrind:
# no memory error, no leak.
memcheck: build
	@scripts/install-deps valgrind
	@for t in unit_tests sim_tests fault_tests reading_tests gateway_unit_tests llrp_tests; do \
	    echo "memcheck: $$t"; \
	    valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
	        --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect -q \
	        $(BUILD)/bin/$$t --gtest_brief=1 >/dev/null || exit 1; \
	done

# Every fuzz target for FUZZ_SECONDS seconds each (clang's libFuzzer, with the
# address and undefined-behaviour checks), in its own build folder.
FUZZ_SECONDS ?= 30
FUZZ_BUILD ?= build-fuzz
fuzz:
	@scripts/install-deps clang-14 libclang-rt-14-dev python3
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	    -DTESSARO_FUZZ=ON -DTESSARO_BUILD_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@fuzz/run $(FUZZ_BUILD)/bin $(FUZZ_SECONDS)

# Windows: Tessaro.dll, TessaroSim.dll and the programs, cross-compiled with
# mingw-w64 into $(WINDOWS_BUILD)/bin.
WINDOWS_BUILD ?= build-windows
WINDOWS_DEPS = g++-mingw-w64-x86-64-posix googletest
windows:
	@scripts/install-deps $(WINDOWS_DEPS)
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The tests of the Windows build, run under wine. The wine prefix lives in
# the build folder; making it takes a few seconds, once.
test-windows:
	@scripts/install-deps $(WINDOWS_DEPS) wine wine64
	@$(MAKE) --no-print-directory windows
	@[ -f $(WINDOWS_BUILD)/wine/system.reg ] || \
	    WINEPREFIX=$(CURDIR)/$(WINDOWS_BUILD)/wine WINEDEBUG=-all wineboot -i >/dev/null 2>&1
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j $(JOBS)

# Mutation testing: the checked-in mutations of tests/mutations/ applied one
# at a time, in a copy of the tree built in build-mutate/, each against the
# tests of its area (docs/testing.md). Minutes per area, so neither `make
# check` nor CI runs it. AREA=cli runs one area.
AREA ?=
mutate: deps
	@scripts/install-deps lintian
	@/usr/bin/python3 scripts/mutate $(AREA)

# What CI runs.
check: test package test-windows sanitize tsan memcheck fuzz

clean:
	rm -rf build build-asan build-tsan build-nohid build-fuzz build-mutate $(WINDOWS_BUILD)
