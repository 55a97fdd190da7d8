# The user's door to the project. Every target first makes sure the machine
# has what the build needs (tools/bootstrap.sh), then drives CMake.

BUILD_DIR := build
SANITIZE_DIR := build-sanitize
THREAD_DIR := build-thread
FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60
# The folders the fuzzers start from, which the suite's replays read too.
FUZZ_INPUTS := $(shell cat fuzz/inputs.txt)
# Every fuzz/*.cpp but the replays' main is a fuzz target of the same name.
FUZZ_TARGETS := $(filter-out ReplayMain,$(basename $(notdir $(wildcard fuzz/*.cpp))))
# The targets that read whole documents start from every input folder; each of the others
# from its own seeds (fuzz/seeds/<target>), as documents would only slow it down.
FUZZ_DOCUMENT_TARGETS := feed feed_view xml_repair
# The temporary folder of the fuzz targets: in memory where the system has one, as the copy
# file target writes a file for every input.
FUZZ_TEMP ?= $(if $(wildcard /dev/shm),/dev/shm,/tmp)
WINDOWS_DIR := build-win64
WINDOWS32_DIR := build-win32
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Where "make install" puts the program, the plug-in and the systemd user unit.
PREFIX ?= /usr/local
USER_UNIT_DIR ?= $(PREFIX)/lib/systemd/user
DESTDIR ?=

.PHONY: all bootstrap build test test-plain test-sanitize test-thread fuzz windows test-windows test-windows-plugin run bench bench-windows clean format install uninstall

all: build

bootstrap:
	@./tools/bootstrap.sh

build: bootstrap
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: test-plain test-sanitize test-thread test-windows test-windows-plugin

test-plain: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: bootstrap
	@cmake -S . -B $(SANITIZE_DIR) -DQUILLBOX_SANITIZE=ON -DQUILLBOX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS)
	@cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

test-thread: bootstrap
	@cmake -S . -B $(THREAD_DIR) -DQUILLBOX_THREAD_SANITIZE=ON -DQUILLBOX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(THREAD_DIR) -j $(JOBS)
	@cd $(THREAD_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(abspath tools/tsan-suppressions.txt) ctest --output-on-failure -j $(JOBS)

# Runs each fuzz target for FUZZ_SECONDS, starting from its inputs (FUZZ_DOCUMENT_TARGETS) and
# what earlier runs found (kept in $(FUZZ_DIR)/corpus). TinyXML is compiled in, so that its
# reads are checked and its branches guide the search. A crash input lands in
# $(FUZZ_DIR)/crashes; once fixed, keep it in fuzz/regressions/ so the suite replays it.
fuzz: bootstrap
	@./tools/bootstrap.sh --source tinyxml $(FUZZ_DIR)/source
	@CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DQUILLBOX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUILLBOX_TINYXML_SOURCE=$(abspath $(FUZZ_DIR))/source/tinyxml $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@for target in $(FUZZ_TARGETS); do \
		dictionary=fuzz/dictionaries/$$target.dict; \
		[ -f $$dictionary ] || dictionary=fuzz/dictionaries/xml.dict; \
		inputs="$(FUZZ_INPUTS)"; \
		case " $(FUZZ_DOCUMENT_TARGETS) " in *" $$target "*) ;; *) inputs="fuzz/seeds/$$target";; esac; \
		mkdir -p $(FUZZ_DIR)/corpus/$$target $(FUZZ_DIR)/crashes; \
		echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
		TMPDIR=$(FUZZ_TEMP) $(FUZZ_DIR)/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -dict=$$dictionary \
			-artifact_prefix=$(FUZZ_DIR)/crashes/$$target- -print_final_stats=1 \
			$(FUZZ_DIR)/corpus/$$target $$inputs || exit 1; \
	done

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
		echo "The host program was not built: see the build's output above."; \
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
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(THREAD_DIR) $(FUZZ_DIR) $(WINDOWS_DIR) $(WINDOWS32_DIR)
