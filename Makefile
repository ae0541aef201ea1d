# The two commands of the README: `make test` and `make run`. Both set up a fresh Debian machine
# (scripts/bootstrap.sh), configure and build. CI also runs `make test-sanitize` (built without the
# windows) and `make test-sanitize-windows` (the disc window's write); `make test-nogui` and
# `make fuzz` are on demand.
BUILD ?= build
# Optimised, without debug information: debug information makes every compile about a third slower,
# and the two commands (and CI) build everything from scratch. For a debugger:
# make BUILD_TYPE=-DCMAKE_BUILD_TYPE=RelWithDebInfo
BUILD_TYPE ?= -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG"
JOBS ?= $(shell nproc)
# Our builds make every compiler warning an error; a packager's plain cmake does not (QOB_WERROR
# is off unless asked for). CI builds with BUILD_TYPE=-DCMAKE_BUILD_TYPE=Release, the packager's
# flags (-O3), so what GCC says only at -O3 fails CI too.
WERROR ?= -DQOB_WERROR=ON

# The core tests once more with AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder
# of their own. Any report fails the test that caused it; the one leak inside libzip that is not
# ours is suppressed by name in tests/sanitizer/lsan.supp. It is built without the windows
# (QOB_BUILD_GUI=OFF), so the same build proves that the core never needs Qt (see test-nogui) and
# CI compiles the code twice, not three times.
SANITIZE_BUILD ?= build-asan
# -O1 and line tables only: what the sanitizers need for exact reports, and much quicker to compile
# than -O2 -g, which keeps CI within its time.
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1 -g1 -DNDEBUG
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0

# The core alone, without the windows (QOB_BUILD_GUI=OFF), in a build folder of its own: Qt is not
# even looked for, so a core file that included a Qt header would not compile, and every test that
# does not need the windows runs. CI's sanitizer build is built the same way.
NOGUI_BUILD ?= build-nogui

# Every libFuzzer harness (clang) for FUZZ_SECONDS each, one after the other.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all bootstrap configure build test test-sanitize test-sanitize-windows test-nogui run deb install bench fuzz \
	clean format format-check windows test-windows

all: build

bootstrap:
	@bash scripts/bootstrap.sh

configure: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja $(BUILD_TYPE) $(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j 2 --timeout 600

test-sanitize: bootstrap
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None -DQOB_WERROR=OFF -DQOB_BUILD_GUI=OFF \
		"-DCMAKE_C_FLAGS=$(SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)" \
		"-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE_FLAGS)" >/dev/null
	@env $(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && env $(SANITIZE_ENV) ctest --output-on-failure -j 2 --timeout 900

# The disc window's whole write (tests/gui/tst_discwrite.cpp) under the same sanitizers: its
# reports arrive while message boxes run their own event loops, where a freed object is easily
# used. It reuses test-sanitize's folder with the windows switched on and builds that one test,
# so only the windows and the test are compiled anew. Run after test-sanitize, as CI does.
test-sanitize-windows: bootstrap
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None -DQOB_WERROR=OFF -DQOB_BUILD_GUI=ON \
		"-DCMAKE_C_FLAGS=$(SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)" \
		"-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE_FLAGS)" >/dev/null
	@env $(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target tst_discwrite
	@cd $(SANITIZE_BUILD) && env $(SANITIZE_ENV) ctest --output-on-failure -R '^gui_tst_discwrite$$' --timeout 600

test-nogui: bootstrap
	@cmake -S . -B $(NOGUI_BUILD) -G Ninja $(BUILD_TYPE) $(WERROR) -DQOB_BUILD_GUI=OFF >/dev/null
	@cmake --build $(NOGUI_BUILD) -j $(JOBS)
	@cd $(NOGUI_BUILD) && ctest --output-on-failure -j 2 --timeout 600

run: build
	@bash scripts/run-main-job.sh $(BUILD)

# The Debian package, from what the build made: $(BUILD)/quire-outlook-backup_<version>_<arch>.deb
deb: build
	@cd $(BUILD) && cpack -G DEB

# Installs into PREFIX (default /usr/local; DESTDIR is honoured as usual).
PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

bench: configure
	@cmake -S . -B $(BUILD) -DQOB_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

fuzz: bootstrap
	@bash bench/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Every C and C++ file of the tree in the style of .clang-format: format-check fails naming the
# files and lines that differ (CI runs it), format rewrites them.
FORMAT_FILES = { git ls-files -z -- '*.c' '*.cpp' '*.h' '*.hpp' 2>/dev/null || \
	find src tests bench \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print0; }
format-check: bootstrap
	@$(FORMAT_FILES) | xargs -0 clang-format --dry-run -Werror

format: bootstrap
	@$(FORMAT_FILES) | xargs -0 clang-format -i

# The Windows programs (qob.exe, quiremail.exe) and their release zip, cross-built with mingw-w64;
# the libraries Debian does not ship for mingw are built once from Debian's sources into the
# build folder (scripts/win64-deps.sh). test-windows runs the Windows tests under Wine.
WIN64_BUILD ?= build-win64
windows: bootstrap
	@bash scripts/win64-deps.sh $(WIN64_BUILD)/deps
	@cmake -S . -B $(WIN64_BUILD) -G Ninja $(BUILD_TYPE) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DQOB_WIN64_DEPS_PREFIX=$(CURDIR)/$(WIN64_BUILD)/deps/prefix -DQOB_BUILD_GUI=OFF \
		-DQOB_LINUX_QOB=$(CURDIR)/$(BUILD)/qob >/dev/null
	@cmake --build $(WIN64_BUILD) -j $(JOBS)

test-windows: windows
	@cd $(WIN64_BUILD) && ctest --output-on-failure -j 2 --timeout 600

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(NOGUI_BUILD) $(FUZZ_BUILD) $(WIN64_BUILD)
