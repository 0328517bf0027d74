# Wraps CMake. `make` builds everything into build/; `make test` runs every
# test; `make install PREFIX=P` builds only what it installs (both backends)
# and lays out P/kx_core_mex; `make demo` builds only what it needs, records
# from the simulated headset into a BDF+ file and plots it.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all build deps fuzz-deps test demo bench soak fuzz install clean

all: build

deps:
	@./scripts/ensure-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) -LE bench

# Only what the demo needs: the Octave MEX file and the file MEX.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target kx_core_mex_octave kx_edf_mex_octave -j$(JOBS)
	cd examples && octave-cli --no-gui --norc --no-history --quiet --eval "addpath('$(CURDIR)/matlab', '$(CURDIR)/$(BUILD)/octave'); kx_demo"

bench: build
	cmake --build $(BUILD) --target bench -j$(JOBS)
	rm -f $(BUILD)/bench/results-*.txt
	ctest --test-dir $(BUILD) -L bench --output-on-failure
	@./bench/tally.sh $(BUILD)/bench/results-*.txt

# make soak SECONDS=N: the soak for N seconds (default 300); its last line is
# "soak: S streams, P chunks produced, U unaccounted".
soak: SECONDS ?= 300
soak: build
	@KX_SOAK_SECONDS=$(SECONDS) $(BUILD)/tests/cpp/kx_soak --gtest_brief=1 > $(BUILD)/soak.log 2>&1; \
	status=$$?; grep -v '^soak: [0-9]* streams' $(BUILD)/soak.log; grep '^soak: [0-9]* streams' $(BUILD)/soak.log; exit $$status

# make fuzz SECONDS=N: the libFuzzer target for N seconds (default 120), half
# on each backend, built with clang, AddressSanitizer and UBSan in its own
# folder; its last line is "fuzz: E executions, C crashes".
FUZZ_BUILD ?= build-fuzz
fuzz-deps:
	@./scripts/ensure-deps.sh fuzz

$(FUZZ_BUILD)/CMakeCache.txt: | fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKX_SANITIZE=address,undefined -DKX_BUILD_FUZZ=ON -DKX_BUILD_OCTAVE=OFF -DKX_BUILD_MATLAB=OFF -DKX_BUILD_BENCH=OFF

fuzz: SECONDS ?= 120
fuzz: fuzz-deps $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) --target kx_fuzz -j$(JOBS)
	@./tests/fuzz/run.sh $(FUZZ_BUILD) $(SECONDS)

# Only what is installed: both backends' MEX files, the file MEX and the SDK.
install: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target toolbox -j$(JOBS)
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
