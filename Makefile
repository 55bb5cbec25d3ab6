# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# Entry points: `make demo` prints a sample photo through the real filter
# (it installs and builds only the programs it runs: no tests, benchmarks,
# monitor, fuzz tree or ARM toolchains),
# `make test` builds and runs every test, then again under ASan + UBSan, then
# the monitor's tests on Qt 6 (build-qt6), then runs each libFuzzer target a
# few seconds (its own clang tree, build-fuzz), then builds for arm64 and armhf
# and runs those builds' tests under qemu-user (build-cross), each tree built
# while the tests before it run;
# `make deb` builds the Debian packages into out/deb/.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
QT6_BUILD ?= build-qt6
CMAKE_FLAGS ?=

# Every tree compiles through ccache when it is installed, into a cache of
# this clone's own: a second tree or a second run reuses what compiles the
# same, a fresh clone starts from nothing. `make clean` keeps it.
export CCACHE_DIR ?= $(CURDIR)/build-ccache
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
LAUNCHER = $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: deps build build-asan build-qt6 build-fuzz build-cross build-behind test test-plain \
  test-asan test-qt6 test-fuzz cross-test demo demo-configure deb clean

# The tree builds its tests and benchmarks too, so it needs the test toolchain.
deps:
	@./scripts/install-deps --test

# Turns a tree that `make demo` configured into the whole one.
build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -UQV46_MODULES \
	  $(LAUNCHER) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Only the test programs and what they run: the plain tree shows that the
# benchmarks, demos and tools build, and no test runs them.
build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV46_SANITIZE=ON -DQV46_BENCHMARKS=OFF \
	  $(LAUNCHER) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target test-programs

CTEST_ARGS = --output-on-failure -j $(JOBS)
RUN_PLAIN = cd $(BUILD) && ctest $(CTEST_ARGS)

test-plain: build
	$(RUN_PLAIN)

# The plain tree alone runs what does not depend on how our code was
# compiled: the style checks read the sources, the packaging checks the
# install rules and scripts, and the IPP conformance run the app's answers
# (the app's requests under the sanitizers are the other printer-app tests').
ASAN_SKIP = -LE '^(style|packaging)$$' -E '^printer-app\.Conformance\.'

RUN_ASAN = cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_ARGS) $(ASAN_SKIP)

test-asan: build-asan
	$(RUN_ASAN)

# The monitor alone on Qt 6, with the backend its CUPS test hands cupsd.
build-qt6: deps
	cmake -S . -B $(QT6_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV46_QT=6 \
	  -DQV46_MODULES="common;monitor;backend" -DQV46_BENCHMARKS=OFF $(LAUNCHER) \
	  $(CMAKE_FLAGS) >/dev/null
	cmake --build $(QT6_BUILD) -j $(JOBS) --target monitor_tests valdren-zelbackend

test-qt6: build-qt6
	cd $(QT6_BUILD) && ctest $(CTEST_ARGS) -L monitor

FUZZ = FUZZ_BUILD=$(abspath $(FUZZ_BUILD)) JOBS=$(JOBS) ./tests/fuzz/run-fuzz

build-fuzz: deps
	$(FUZZ) build

test-fuzz: deps
	$(FUZZ) smoke

# The filter, image library, qv46-stream and daemon logic for arm64 and armhf:
# warning-free, their tests green under qemu-user, the demo's streams the
# same bytes as here.
CROSS = BUILD=$(BUILD) JOBS=$(JOBS) ./scripts/cross-test

build-cross: deps
	$(CROSS) --build

cross-test: deps
	$(CROSS)

# The trees `make test` builds while the ASan tree's tests run.
build-behind: build-qt6 build-fuzz build-cross

# Each tree's tests run while the next trees build behind them at the lowest
# priority (nice 19): the tests wait on servers and printers more than they
# compute, so they keep the cores they want and the builds take the rest.
# A build behind shows its output when it fails; a step that fails stops
# `make test` once the build behind it is done. The steps after the ASan
# tree's tests find their trees built.
BEHIND = nice -n 19 $(MAKE) --no-print-directory
LOGS = build-logs

test: build
	@mkdir -p $(LOGS)
	@echo "== The plain tree's tests; the ASan tree builds behind them ($(LOGS)/asan.log)"
	@$(BEHIND) build-asan >$(LOGS)/asan.log 2>&1 & behind=$$!; \
	  ($(RUN_PLAIN)); tested=$$?; \
	  wait $$behind || { cat $(LOGS)/asan.log; exit 1; }; exit $$tested
	@echo "== The ASan tree's tests; the Qt 6, fuzz and ARM trees build behind them ($(LOGS)/behind.log)"
	@$(BEHIND) build-behind >$(LOGS)/behind.log 2>&1 & behind=$$!; \
	  ($(RUN_ASAN)); tested=$$?; \
	  wait $$behind || { cat $(LOGS)/behind.log; exit 1; }; exit $$tested
	@$(MAKE) --no-print-directory test-qt6 test-fuzz cross-test

# A fresh tree is configured without the tests; a tree that `make test` has
# configured is used as it is. Either way only the demo's programs are built.
DEMO_MODULES = common;imglib;filter;daemon;backend;printer-app;packaging;tools
DEMO_FLAGS = -DBUILD_TESTING=OFF -DQV46_DEMO=ON -DQV46_MODULES=$(DEMO_MODULES)

demo:
	@./scripts/install-deps --demo
	@$(MAKE) --no-print-directory demo-configure
	cmake --build $(BUILD) -j $(JOBS) --target demo-programs
	./tools/demo/run-demo $(BUILD) out/demo

# (packaging.demo_configuration checks this step.)
demo-configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) \
	  $$([ -f $(BUILD)/CMakeCache.txt ] || echo '$(DEMO_FLAGS)') $(CMAKE_FLAGS) >/dev/null

# Builds from a clean copy of the committed tree, so local build folders
# and edits never leak into the packages.
deb:
	@./scripts/install-deps --deb
	./scripts/make-deb out/deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(QT6_BUILD) $(FUZZ_BUILD) build-cross $(LOGS) out
