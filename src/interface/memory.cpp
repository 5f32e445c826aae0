#include "interface/memory.h"

#include <atomic>
#include <cstdlib>

namespace vtl {
namespace {

std::atomic<int64_t> g_count{0};
std::atomic<int64_t> g_failAt{0};
std::atomic<std::size_t> g_largest{0};
std::atomic<std::size_t> g_requested{0};

void Reset() {
  g_count.store(0);
  g_largest.store(0);
  g_requested.store(0);
}

// Counts a request of `bytes`; true when this allocation is the one a test
// asked to fail.
bool InjectFailure(std::size_t bytes) {
  std::size_t largest = g_largest.load();
  while (bytes > largest && !g_largest.compare_exchange_weak(largest, bytes)) {
  }
  std::size_t sum = g_requested.load();  // saturates at SIZE_MAX
  while (!g_requested.compare_exchange_weak(sum, bytes > SIZE_MAX - sum ? SIZE_MAX : sum + bytes)) {
  }
  const int64_t n = g_count.fetch_add(1) + 1;
  const int64_t at = g_failAt.load();
  return at > 0 && n == at;
}

// The size of an array in bytes, or false when it overflows (which still
// counts as an allocation, so that failure points stay numbered alike).
bool ArrayBytes(std::size_t count, std::size_t size, std::size_t* bytes) {
  if (size != 0 && count > SIZE_MAX / size) {
    InjectFailure(SIZE_MAX);
    return false;
  }
  *bytes = count * size;
  return true;
}

}  // namespace

void* Allocate(std::size_t bytes) {
  if (InjectFailure(bytes)) return nullptr;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* AllocateArray(std::size_t count, std::size_t size) {
  std::size_t bytes = 0;
  return ArrayBytes(count, size, &bytes) ? Allocate(bytes) : nullptr;
}

void* AllocateUnclearedArray(std::size_t count, std::size_t size) {
  std::size_t bytes = 0;
  if (!ArrayBytes(count, size, &bytes) || InjectFailure(bytes)) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void* Reallocate(void* block, std::size_t bytes) {
  if (InjectFailure(bytes)) return nullptr;
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void Release(void* block) {
  std::free(block);
}

void FailAllocationAt(int64_t n) {
  Reset();
  g_failAt.store(n);
}

void ResetAllocationCount() {
  Reset();
}

int64_t AllocationCount() {
  return g_count.load();
}

std::size_t LargestRequest() {
  return g_largest.load();
}

std::size_t RequestedBytes() {
  return g_requested.load();
}

}  // namespace vtl
