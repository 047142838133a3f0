# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
# Release build in build/, sanitizer-instrumented Debug build for the tests in build/debug/.

JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build
DEBUG_DIR   := build/debug
GENERATOR   := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Rebuilds across several checkouts share their objects when ccache is there; never required.
LAUNCHER    := $(shell command -v ccache >/dev/null 2>&1 && echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")

.PHONY: run test deps release debug bench screenshots lint fuzz clean

deps:
	@./tools/install-deps.sh

release: deps
	@cmake -S . -B $(RELEASE_DIR) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

debug: deps
	@cmake -S . -B $(DEBUG_DIR) $(GENERATOR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON >/dev/null
	@cmake --build $(DEBUG_DIR) -j $(JOBS)

run: release
	./$(RELEASE_DIR)/bin/tessaro

test: debug
	@cd $(DEBUG_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

bench: release
	./$(RELEASE_DIR)/bin/tessaro-bench $(BENCH_ARGS)

screenshots: release
	@cmake --build $(RELEASE_DIR) --target screenshots

lint: debug
	@cppcheck --quiet --enable=warning,performance --std=c++20 --inline-suppr \
	  --suppress=missingIncludeSystem -I . \
	  core crypto notes app controls tools

# Fuzzes the restore path for FUZZ_SECONDS (default 180) with libFuzzer; needs clang and
# libclang-rt (tools/install-deps.sh does not install them: apt-get install clang libclang-rt-14-dev).
# `make fuzz FUZZ_TARGET=catalogue` fuzzes the catalogue reader instead, `FUZZ_TARGET=rtf`
# the notes' RTF reader, and `FUZZ_TARGET=journal` the repair with hostile journals and
# catalogue records.
FUZZ_DIR     := build/fuzz
FUZZ_SECONDS ?= 180
FUZZ_TARGET  ?= restore
FUZZ_CORPUS_restore   := $(FUZZ_DIR)/corpus
FUZZ_SEEDS_restore    := tests/fixtures/stored
FUZZ_CORPUS_catalogue := $(FUZZ_DIR)/corpus-catalogue
FUZZ_SEEDS_catalogue  := tests/fixtures/catalogue
FUZZ_CORPUS_rtf       := $(FUZZ_DIR)/corpus-rtf
FUZZ_SEEDS_rtf        := tests/fixtures/notes
FUZZ_CORPUS_journal   := $(FUZZ_DIR)/corpus-journal
FUZZ_SEEDS_journal    := fuzz/journal-seeds
fuzz:
	@./tools/install-deps.sh clang libclang-rt-14-dev
	@cmake -S . -B $(FUZZ_DIR) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DTESSARO_FUZZ=ON -DTESSARO_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target tessaro-$(FUZZ_TARGET)-fuzzer
	@mkdir -p $(FUZZ_CORPUS_$(FUZZ_TARGET))
	./$(FUZZ_DIR)/bin/tessaro-$(FUZZ_TARGET)-fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  $(FUZZ_CORPUS_$(FUZZ_TARGET)) $(FUZZ_SEEDS_$(FUZZ_TARGET))

clean:
	rm -rf build
