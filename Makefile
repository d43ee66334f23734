# Tessaro: the two commands a newcomer needs are `make demo` and `make test`.
# Both install what is missing (Debian/Ubuntu), build, and run.

BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test bench llrp-bench sanitize tsan check clean package nohid fuzz memcheck windows test-windows windows-package test-csharp mutate

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

# The Debian packages tessaro, tessaro-dev and python3-tessaro, built by
# CPack into $(BUILD) and checked by lintian.
package: build
	@scripts/install-deps lintian
	@cmake --build $(BUILD) --target package
	lintian --fail-on error $(BUILD)/tessaro_*.deb $(BUILD)/tessaro-dev_*.deb \
	    $(BUILD)/python3-tessaro_*.deb

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
# mingw-w64 for 64-bit (x64) and 32-bit (x86) Windows, one build folder each:
# $(WINDOWS_BUILD)/x64/bin and $(WINDOWS_BUILD)/x86/bin.
WINDOWS_BUILD ?= build-windows
WINDOWS_ARCHES ?= x64 x86
WINDOWS_DEPS = g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest
# Both builds run their tests in one wine prefix (a 64-bit prefix runs 32-bit
# programs too); making it takes a few seconds, once.
WINEPREFIX_WINDOWS = $(CURDIR)/$(WINDOWS_BUILD)/wine
windows:
	@scripts/install-deps $(WINDOWS_DEPS)
	@for arch in $(WINDOWS_ARCHES); do \
	    case $$arch in x64) target=x86_64;; x86) target=i686;; *) echo "no Windows arch $$arch"; exit 1;; esac; \
	    cmake -S . -B $(WINDOWS_BUILD)/$$arch -G Ninja \
	        -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-$$target.cmake \
	        -DTESSARO_WINEPREFIX=$(WINEPREFIX_WINDOWS) $(CMAKE_FLAGS) >/dev/null && \
	    cmake --build $(WINDOWS_BUILD)/$$arch -j $(JOBS) || exit 1; \
	done

# The tests of both Windows builds, run under wine (wine32 runs the 32-bit
# programs: scripts/install-deps adds Debian's i386 architecture for it).
test-windows:
	@scripts/install-deps $(WINDOWS_DEPS) wine wine64 wine32:i386
	@$(MAKE) --no-print-directory windows
	@[ -f $(WINEPREFIX_WINDOWS)/system.reg ] || \
	    WINEPREFIX=$(WINEPREFIX_WINDOWS) WINEDEBUG=-all wineboot -i >/dev/null 2>&1
	@for arch in $(WINDOWS_ARCHES); do \
	    echo "test-windows: $$arch"; \
	    ctest --test-dir $(WINDOWS_BUILD)/$$arch --output-on-failure -j $(JOBS) || exit 1; \
	done
	@for library in Tessaro TessaroSim; do \
	    [ -f $(WINDOWS_BUILD)/x64/bin/$$library.def ] && [ -f $(WINDOWS_BUILD)/x86/bin/$$library.def ] || continue; \
	    sed 's/ @.*//' $(WINDOWS_BUILD)/x64/bin/$$library.def > $(WINDOWS_BUILD)/$$library-x64.names; \
	    sed 's/ @.*//' $(WINDOWS_BUILD)/x86/bin/$$library.def | \
	        diff -u $(WINDOWS_BUILD)/$$library-x64.names - || exit 1; \
	    echo "test-windows: $$library.dll exports the same names on x64 and x86"; \
	done

# The two Windows downloads, tessaro-VERSION-windows-x64.zip and -x86.zip
# (each build makes its own), side by side in $(WINDOWS_BUILD).
windows-package: windows
	@for arch in $(WINDOWS_ARCHES); do \
	    cp $(WINDOWS_BUILD)/$$arch/tessaro-*-windows-$$arch.zip $(WINDOWS_BUILD)/ || exit 1; \
	done
	@ls -1 $(WINDOWS_BUILD)/*.zip

# The C# declarations of docs/windows.md, compiled with mcs and run on Mono
# against libTessaro.so and the simulated reader.
test-csharp:
	@scripts/install-deps mono-mcs mono-runtime
	@$(MAKE) --no-print-directory build
	ctest --test-dir $(BUILD) --output-on-failure -L csharp

# Mutation testing: the checked-in mutations of tests/mutations/ applied one
# at a time, in a copy of the tree built in build-mutate/, each against the
# tests of its area (docs/testing.md). Minutes per area, so neither `make
# check` nor CI runs it. AREA=cli runs one area.
AREA ?=
mutate: deps
	@scripts/install-deps lintian
	@/usr/bin/python3 scripts/mutate $(AREA)

# What CI runs.
check: test test-csharp package test-windows sanitize tsan memcheck fuzz

clean:
	rm -rf build build-asan build-tsan build-nohid build-fuzz build-mutate $(WINDOWS_BUILD)
