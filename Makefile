# Wraps CMake. `make` builds everything into build/; `make test` runs every
# test; `make demo` records from the simulated headset and plots it.
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all build deps test demo bench install clean

all: build

deps:
	@./scripts/ensure-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) -LE bench

demo: build
	cd examples && octave-cli --no-gui --norc --no-history --quiet --eval "addpath('$(CURDIR)/matlab', '$(CURDIR)/$(BUILD)/octave'); kx_demo"

bench: build
	cmake --build $(BUILD) --target bench -j$(JOBS)
	rm -f $(BUILD)/bench/results-*.txt
	ctest --test-dir $(BUILD) -L bench --output-on-failure
	@./bench/tally.sh $(BUILD)/bench/results-*.txt

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
