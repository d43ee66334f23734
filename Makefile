# Tessaro: the two commands a newcomer needs are `make demo` and `make test`.
# Both install what is missing (Debian/Ubuntu), build, and run.

BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test sanitize tsan check clean package nohid fuzz memcheck

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

# The tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) --no-print-directory test BUILD=build-asan \
	    CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=address,undefined"

# The tests under ThreadSanitizer (the stress test above all).
tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan \
	    CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=thread"

# The unit, simulator, fault, reading and gateway-engine tests under valgrind:
# no memory error, no leak.
memcheck: build
	@scripts/install-deps valgrind
	@for t in unit_tests sim_tests fault_tests reading_tests gateway_unit_tests; do \
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

# What CI runs.
check: test nohid package sanitize tsan memcheck fuzz

clean:
	rm -rf build build-asan build-tsan build-nohid build-fuzz
