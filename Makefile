# The two commands a newcomer needs; both install what is missing first.
#   make demo   build, then run the tool on the shipped data and sample text
#   make test   build everything and run every test, then again under sanitizers

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all setup build build-sanitize demo test test-native test-sanitize clean

all: build

setup:
	@scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-sanitize: setup
	@cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DVARNOKE_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)/bin/varnoke data/sample.txt

test: test-native test-sanitize

test-native: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(BUILD_SAN) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
