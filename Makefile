# The user's door to the project. Every target first makes sure the machine
# has what the build needs (tools/bootstrap.sh), then drives CMake.

BUILD_DIR := build
SANITIZE_DIR := build-sanitize
WINDOWS_DIR := build-win64
WINDOWS32_DIR := build-win32
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Where "make install" puts the program, the plug-in and the systemd user unit.
PREFIX ?= /usr/local
USER_UNIT_DIR ?= $(PREFIX)/lib/systemd/user
DESTDIR ?=

.PHONY: all bootstrap build test test-plain test-sanitize windows test-windows test-windows-plugin run bench bench-windows clean format install uninstall

all: build

bootstrap:
	@./tools/bootstrap.sh

build: bootstrap
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: test-plain test-sanitize test-windows test-windows-plugin

test-plain: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: bootstrap
	@cmake -S . -B $(SANITIZE_DIR) -DQUILLBOX_SANITIZE=ON -DQUILLBOX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# The Windows build: cross-built with MinGW-w64, TinyXML from Debian's source package.
windows: bootstrap
	@./tools/bootstrap.sh --source tinyxml $(WINDOWS_DIR)/source
	@cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DQUILLBOX_TINYXML_SOURCE=$(abspath $(WINDOWS_DIR))/source/tinyxml -DQUILLBOX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)
	@# The 32-bit plug-in, for 32-bit mail clients, with its host program and its tests.
	@cmake -S . -B $(WINDOWS32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DQUILLBOX_TINYXML_SOURCE=$(abspath $(WINDOWS_DIR))/source/tinyxml -DQUILLBOX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(WINDOWS32_DIR) -j $(JOBS) --target quillbox_plugin quillbox quillbox_plugin_tests

# The Windows plug-in under Wine, and the Windows host program with Linux clients.
test-windows-plugin: windows build
	@./tools/run-windows-plugin-tests.sh $(BUILD_DIR) $(WINDOWS_DIR) $(WINDOWS32_DIR)

# The Windows test program under Wine, and the test feeds rendered on both systems alike.
test-windows: windows build
	@./tools/run-windows-tests.sh $(WINDOWS_DIR)
	@./tools/compare-rendering.sh $(BUILD_DIR) $(WINDOWS_DIR)

run: build
	@if [ -x $(BUILD_DIR)/quillbox ]; then \
		./tools/install-settings.sh && exec $(BUILD_DIR)/quillbox; \
	else \
		echo "The host program is not built yet: only the libraries and tests exist so far."; \
	fi

install: build
	@PREFIX="$(PREFIX)" USER_UNIT_DIR="$(USER_UNIT_DIR)" DESTDIR="$(DESTDIR)" \
		./tools/install.sh install $(BUILD_DIR)

uninstall:
	@PREFIX="$(PREFIX)" USER_UNIT_DIR="$(USER_UNIT_DIR)" DESTDIR="$(DESTDIR)" \
		./tools/install.sh uninstall

bench: build
	@cmake --build $(BUILD_DIR) --target run_benchmarks

# The benchmarks of the Windows build, under Wine.
bench-windows: windows
	@cmake -S . -B $(WINDOWS_DIR) -DQUILLBOX_BENCH=ON >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)
	@./tools/run-windows-benchmarks.sh $(WINDOWS_DIR)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(WINDOWS_DIR) $(WINDOWS32_DIR)
