# The two commands a newcomer needs; both install what is missing first.
#   make demo   build, then run the tool on the shipped data and sample text
#   make test   build everything and run every test: native (the Writer
#               extension in the real office included), under sanitizers,
#               each fuzz target briefly, the Linux package (built, checked,
#               and as root installed, used and purged), and both Windows
#               DLLs under Wine (32- and 64-bit)
# Also:
#   make oxt    build the Writer extension build/Varnoke.oxt
#   make dll    build Varnoke.dll (and varnoke.exe) for 32- and 64-bit Windows
#   make msi    the installer packages build-msi/Varnoke-x86.msi and Varnoke-x64.msi
#   make deb    the Linux package build-deb/varnoke_VERSION_amd64.deb
#   make bench  the recognizer benchmark against the per-entry search and Hyperscan
#   make test32 the i686 DLL's Windows suites alone, under 32-bit Wine
#   make format rewrite the C++ sources in .clang-format's shape (make test checks it)
#   make fuzz   every fuzz target for FUZZ_SECONDS (default 600) each, keeping
#               the inputs that reach new coverage in fuzz/corpus/

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
BUILD_TSAN ?= build-tsan
BUILD_W32  ?= build-win32
BUILD_W64  ?= build-win64
BUILD_BENCH ?= build-bench
BUILD_MSI  ?= build-msi
BUILD_DEB  ?= build-deb
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 600

.PHONY: all format setup setup-windows setup-writer oxt build build-sanitize build-tsan dll msi deb demo test test-native test-sanitize test-tsan test-windows test-fuzz test-deb test32 bench fuzz clean

all: build

setup:
	@scripts/setup.sh native

setup-windows:
	@scripts/setup.sh windows

setup-writer:
	@scripts/setup.sh native writer

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The Writer extension, in the native build (its tests run with test-native).
oxt: setup-writer
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOKE_WRITER=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target oxt

# The matcher's tests run each case under every kernel the CPU runs, so
# the sanitized suite checks the vector kernels' reads too.
build-sanitize: setup
	@cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DVARNOKE_SANITIZE=ON -DVARNOKE_WRITER=OFF \
		-DCMAKE_CXX_FLAGS= >/dev/null
	@cmake --build $(BUILD_SAN) -j $(JOBS)

# The matcher's tests alone, under ThreadSanitizer.
build-tsan: setup
	@cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNOKE_TSAN=ON -DVARNOKE_WRITER=OFF >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS) --target varnoke_matcher_tests

dll: setup-windows
	@cmake -S . -B $(BUILD_W32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD_W32) -j $(JOBS)
	@cmake -S . -B $(BUILD_W64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD_W64) -j $(JOBS)

# From the Release builds of dll, with wixl.
msi: dll
	@BUILD_W32=$(BUILD_W32) BUILD_W64=$(BUILD_W64) scripts/msi.sh $(BUILD_MSI)

demo: build
	@scripts/demo.sh $(BUILD)/bin/varnoke data/sample.txt

test: test-native test-sanitize test-tsan test-fuzz test-deb test-windows

test-native: oxt build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitize: build-sanitize
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(BUILD_SAN) --output-on-failure -j $(JOBS)

test-tsan: build-tsan
	@TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD_TSAN) --output-on-failure

# The Linux package, from a native build of its own.
deb:
	@BUILD_DEB=$(BUILD_DEB) JOBS=$(JOBS) scripts/deb.sh

# Its files, fields and lintian's verdict; as root it is installed, used
# (the tool, Writer with the bundled extension) and purged.
test-deb: deb
	@tests/deb_test.sh $(BUILD_DEB)

# Each fuzz target briefly, from the corpus in the tree.
test-fuzz:
	@scripts/fuzz.sh 30

fuzz:
	@scripts/fuzz.sh $(FUZZ_SECONDS) --keep

# Each build's suites in a session of its own (one wineserver and one virtual
# display for the phase): the i686 build under 32-bit Wine in its own prefix,
# natively or, where the kernel runs no 32-bit code, a subset through qemu
# (scripts/test32.sh); then the
# x86_64 build under 64-bit Wine. The package tests install each build's
# package from build-msi.
test-windows: msi test32
	@scripts/wine-session.sh ctest --test-dir $(BUILD_W64) --output-on-failure

# The i686 phase alone.
test32: msi
	@scripts/test32.sh $(BUILD_W32)

# Not part of test: it measures against Hyperscan and takes a few minutes.
bench:
	@BUILD_BENCH=$(BUILD_BENCH) JOBS=$(JOBS) scripts/bench.sh

format:
	@scripts/lint.sh --fix

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_TSAN) $(BUILD_W32) $(BUILD_W64) $(BUILD_BENCH) $(BUILD_MSI) $(BUILD_DEB) build-fuzz build-wine
