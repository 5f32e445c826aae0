// Drives a call once per allocation it makes, failing that allocation, so
// every failure path runs. The sanitizer build reports anything leaked.
#ifndef VANTREL_TESTS_ALLOC_FAILURE_H
#define VANTREL_TESTS_ALLOC_FAILURE_H

#include <cstdint>
#include <functional>

#include "interface/memory.h"

namespace vtl::testing {

// Runs `call` with no failure to count its allocations, then once more for
// each allocation n = 1..count with the n-th failing, handing n to `check`.
// Returns the number of failure points exercised.
inline int64_t ForEachAllocationFailure(const std::function<void()>& call,
                                        const std::function<void(int64_t)>& check) {
  FailAllocationAt(0);
  call();
  const int64_t count = AllocationCount();
  for (int64_t n = 1; n <= count; ++n) {
    FailAllocationAt(n);
    call();
    FailAllocationAt(0);
    check(n);
  }
  return count;
}

}  // namespace vtl::testing

#endif
