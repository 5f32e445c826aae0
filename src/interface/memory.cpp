#include "interface/memory.h"

#include <atomic>
#include <cstdlib>

namespace vtl {
namespace {

std::atomic<int64_t> g_count{0};
std::atomic<int64_t> g_failAt{0};

// True when this allocation is the one a test asked to fail.
bool InjectFailure() {
  const int64_t n = g_count.fetch_add(1) + 1;
  const int64_t at = g_failAt.load();
  return at > 0 && n == at;
}

// The size of an array in bytes, or false when it overflows (which still
// counts as an allocation, so that failure points stay numbered alike).
bool ArrayBytes(std::size_t count, std::size_t size, std::size_t* bytes) {
  if (size != 0 && count > SIZE_MAX / size) {
    InjectFailure();
    return false;
  }
  *bytes = count * size;
  return true;
}

}  // namespace

void* Allocate(std::size_t bytes) {
  if (InjectFailure()) return nullptr;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* AllocateArray(std::size_t count, std::size_t size) {
  std::size_t bytes = 0;
  return ArrayBytes(count, size, &bytes) ? Allocate(bytes) : nullptr;
}

void* AllocateUnclearedArray(std::size_t count, std::size_t size) {
  std::size_t bytes = 0;
  if (!ArrayBytes(count, size, &bytes) || InjectFailure()) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void* Reallocate(void* block, std::size_t bytes) {
  if (InjectFailure()) return nullptr;
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void Release(void* block) {
  std::free(block);
}

void FailAllocationAt(int64_t n) {
  g_count.store(0);
  g_failAt.store(n);
}

void ResetAllocationCount() {
  g_count.store(0);
}

int64_t AllocationCount() {
  return g_count.load();
}

}  // namespace vtl
