// Every heap block of the library comes from here, so that tests can make the
// N-th allocation fail and check each failure path.
#ifndef VANTREL_INTERFACE_MEMORY_H
#define VANTREL_INTERFACE_MEMORY_H

#include <cstddef>
#include <cstdint>

namespace vtl {

// Zero-filled block of `bytes` bytes, or null (also for a failure injected by
// a test). A request of 0 bytes returns a valid 1-byte block.
void* Allocate(std::size_t bytes);

// Zero-filled array of `count` elements of `size` bytes; null when the product
// overflows or the heap cannot supply it.
void* AllocateArray(std::size_t count, std::size_t size);

// Array of `count` elements of `size` bytes whose contents are unspecified
// (the caller writes every byte it reads); null as for AllocateArray. For
// large scratch tables that are filled anyway.
void* AllocateUnclearedArray(std::size_t count, std::size_t size);

// Resizes `block` (null: a new block) like realloc; the added bytes are not
// cleared. Returns null on failure, leaving `block` untouched.
void* Reallocate(void* block, std::size_t bytes);

void Release(void* block);

// Test hooks. FailAllocationAt(n) makes the n-th allocation from now fail
// (1-based); 0 switches injection off. AllocationCount() counts the
// allocations attempted since the last FailAllocationAt/ResetAllocationCount;
// LargestRequest() and RequestedBytes() are the largest block and the sum of
// the blocks asked for over the same span (an overflowing array asks for
// SIZE_MAX), so that a test can bound what a call would have taken.
void FailAllocationAt(int64_t n);
void ResetAllocationCount();
int64_t AllocationCount();
std::size_t LargestRequest();
std::size_t RequestedBytes();

// Absent pointers are null or carry the debug heap fill pattern.
inline bool IsAbsent(const void* p) {
  const auto v = reinterpret_cast<std::uintptr_t>(p);
  return v == 0 || v == 0xCCCCCCCCu || v == static_cast<std::uintptr_t>(0xCCCCCCCCCCCCCCCCull);
}

// Releases *p when present and nulls it.
template <typename T>
inline void ReleaseAndClear(T*& p) {
  if (!IsAbsent(p)) Release(const_cast<void*>(static_cast<const void*>(p)));
  p = nullptr;
}

template <typename T>
inline T* AllocateZeroed(std::size_t count) {
  return static_cast<T*>(AllocateArray(count, sizeof(T)));
}

}  // namespace vtl

#endif
