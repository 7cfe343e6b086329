#!/usr/bin/env bash
# make bench: builds the recognizer benchmark in its own release tree and
# runs it once. Installs what it needs first, and nothing when all is there.
# Not part of make test: it measures, and takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_BENCH:-build-bench}
fortunes=/usr/share/games/fortunes

scripts/setup.sh native windows bench

# The 64-bit DLL's kernel: the core library configured as make dll
# configures build-win64 (toolchain, build type, flags), in a tree of its
# own, linked into the benchmark driver and run under Wine, where x86-64
# code runs natively.
cmake -S . -B "$build-win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DVARNOKE_BENCH=ON -DVARNOKE_TESTS=OFF >/dev/null
cmake --build "$build-win64" --target dll_bench -j "${JOBS:-$(nproc)}"
# Its AVX2 kernel too, which most processors without AVX-512 run.
dll=(--dll "x86-64 DLL=scripts/wine.sh $build-win64/bin/dll_bench.exe"
     --dll "x86-64 DLL (avx2)=scripts/wine.sh $build-win64/bin/dll_bench.exe --use avx2")
# The i686 DLL's, under 32-bit Wine where this kernel runs 32-bit code;
# under qemu's user-mode emulation a timing would measure the emulator.
# shellcheck source=SCRIPTDIR/i386.sh
. scripts/i386.sh
if runs_i386; then
    cmake -S . -B "$build-win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
          -DVARNOKE_BENCH=ON -DVARNOKE_TESTS=OFF >/dev/null
    cmake --build "$build-win32" --target dll_bench -j "${JOBS:-$(nproc)}"
    dll+=(--dll "i686 DLL=VARNOKE_WINE_ARCH=win32 scripts/wine.sh $build-win32/bin/dll_bench.exe")
else
    dll+=(--dll-not-run "i686 DLL=not comparable here (emulated): this kernel cannot run 32-bit code, and under qemu's user-mode emulation a timing measures the emulator, not the kernel")
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DVARNOKE_BENCH=ON -DVARNOKE_TESTS=OFF >/dev/null
cmake --build "$build" --target recognizer_bench -j "${JOBS:-$(nproc)}"
"$build/bin/recognizer_bench" "${dll[@]}" "$build/bench-data" \
    "$fortunes/chinese" "$fortunes/tang300" "$fortunes/song100"
