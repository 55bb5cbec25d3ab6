# Entry points: `make demo` prints a sample photo through the real filter,
# `make test` builds and runs every test, then again under ASan + UBSan, then
# runs each libFuzzer target a few seconds (its own clang tree, build-fuzz).
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
CMAKE_FLAGS ?=

.PHONY: deps build build-asan test test-plain test-asan test-fuzz demo clean

deps:
	@./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV46_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

test-fuzz: deps
	FUZZ_BUILD=$(abspath $(FUZZ_BUILD)) JOBS=$(JOBS) ./tests/fuzz/run-fuzz smoke

test: test-plain test-asan test-fuzz

demo: build
	./tools/demo/run-demo $(BUILD) out/demo

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) out
