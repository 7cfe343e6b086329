// The matcher's filter kernels, for the tests and the benchmark: which ones
// this build has and this CPU runs, and a way to make every scan use one.
// Each kernel gives the same matches; they differ in speed only.
#pragma once

#include <vector>

namespace varnoke::matcher_kernels {

enum class Kernel { portable, sse2, avx2, avx512 };

const char* Name(Kernel kernel);

// This build's kernels that this CPU runs, portable first, the widest last.
std::vector<Kernel> Available();

// The kernel scans use now: at start the widest available.
Kernel Chosen();

// Every scan from now on uses `kernel` (one of Available()). For tests and
// the benchmark: no scan may run on another thread meanwhile.
void Use(Kernel kernel);

}  // namespace varnoke::matcher_kernels
