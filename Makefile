# Thin front end over the CMake presets. `make test` and `make demo` set up a
# fresh Debian machine first (as root they install what is missing).
.PHONY: all deps native windows test test-native test-windows demo clean

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

test-windows: windows
	tools/wine-tests

test: test-native test-windows

demo: windows
	tools/demo

clean:
	rm -rf build
