# Thin front end over the CMake presets. `make test` and `make demo` set up a
# fresh Debian machine first (as root they install what is missing).
.PHONY: all deps native windows native-asan native-tsan test test-native test-asan test-tsan \
        test-windows demo measure fuzz fuzz-build fuzz-corpus mutate test-budget clean

all: native windows

deps:
	@tools/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows

test-native: native
	ctest --preset native

# The native suite and native conformance again, under AddressSanitizer with
# UndefinedBehaviorSanitizer (leaks included) and under ThreadSanitizer; the
# test presets set the sanitizers' options.
native-asan native-tsan: deps
	cmake --preset $@ >/dev/null
	cmake --build --preset $@

test-asan: native-asan
	ctest --preset native-asan

test-tsan: native-tsan
	ctest --preset native-tsan

test-windows: windows
	tools/wine-tests

test: test-native test-asan test-tsan test-windows

demo: windows
	tools/demo

# Fuzzing is a separate clang build (build/fuzz), kept out of `make test`:
# building it takes minutes. `make fuzz` runs each target for FUZZ_SECONDS;
# `make fuzz-corpus` only replays the seed corpora.
FUZZ_SECONDS ?= 60

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz

fuzz: fuzz-build
	tools/fuzz $(FUZZ_SECONDS)

fuzz-corpus: fuzz-build
	ctest --preset fuzz

# Plants faults in the plug-in's sources one at a time (tools/mutate) and lists
# the ones the native suite and native conformance miss. Not part of `make test`:
# every mutant is a rebuild. MUTATE_PATH narrows it to a file or folder.
MUTATE_PATH ?= src

mutate: deps
	tools/mutate $(MUTATE_PATH)

# Test code against the rest of the code; fails above the budget.
test-budget:
	tools/test-budget

# Builds only the measurement program of each platform, then runs both.
measure: deps
	cmake --preset native >/dev/null
	cmake --build --preset native --target nxmeasure
	cmake --preset windows >/dev/null
	cmake --build --preset windows --target nxmeasure
	tools/measure

clean:
	rm -rf build
