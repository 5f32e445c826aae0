// Which vector instructions the kernels with processor-specific variants
// (slant row sums and line batches, peak marks, box sampling) use. Every
// variant gives the same results; the level is detected once, and tests can
// lower it to run each variant the processor offers.
#ifndef VANTREL_PLATFORM_VECTOR_LEVEL_H
#define VANTREL_PLATFORM_VECTOR_LEVEL_H

#include <cstdint>

namespace vtl {

// kAvx512 stands for AVX-512 F, BW, VL and DQ together; kBaseline is what
// every processor of the architecture runs (SSE2 on x86-64).
enum class VectorLevel : int32_t { kBaseline = 0, kAvx2 = 1, kAvx512 = 2 };

// The widest level this processor runs.
VectorLevel SupportedVectorLevel();

// The level the kernels use: the supported one unless a test lowered it.
VectorLevel ActiveVectorLevel();

// Test hook: the kernels use `level` from now on. Refused (false, nothing
// changed) when the processor cannot run it. Not for concurrent calls.
bool ForceVectorLevel(VectorLevel level);

// Back to the supported level.
void ResetVectorLevel();

}  // namespace vtl

#endif
