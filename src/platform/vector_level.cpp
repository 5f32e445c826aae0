#include "platform/vector_level.h"

#include <atomic>

namespace vtl {
namespace {

// -1: no forced level.
std::atomic<int32_t> g_forced{-1};

VectorLevel Detect() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq")) {
    return VectorLevel::kAvx512;
  }
  if (__builtin_cpu_supports("avx2")) return VectorLevel::kAvx2;
#endif
  return VectorLevel::kBaseline;
}

}  // namespace

VectorLevel SupportedVectorLevel() {
  static const VectorLevel supported = Detect();
  return supported;
}

VectorLevel ActiveVectorLevel() {
  const int32_t forced = g_forced.load(std::memory_order_relaxed);
  return forced < 0 ? SupportedVectorLevel() : static_cast<VectorLevel>(forced);
}

bool ForceVectorLevel(VectorLevel level) {
  const auto wanted = static_cast<int32_t>(level);
  if (wanted < 0 || wanted > static_cast<int32_t>(SupportedVectorLevel())) return false;
  g_forced.store(wanted, std::memory_order_relaxed);
  return true;
}

void ResetVectorLevel() {
  g_forced.store(-1, std::memory_order_relaxed);
}

}  // namespace vtl
