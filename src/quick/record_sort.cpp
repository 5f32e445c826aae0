#include "quick/record_sort.h"

#include <cstdio>
#include <cstring>

#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {

int32_t SortRecords(void* base, std::size_t recordSize, int32_t count, std::size_t keyOffset,
                    int32_t direction) {
  if (count <= 0) return VANTREL_OK;
  auto* records = static_cast<uint8_t*>(base);
  const auto n = static_cast<std::size_t>(count);
  auto* index = AllocateZeroed<int32_t>(n);
  auto* key = index == nullptr ? nullptr : AllocateZeroed<int32_t>(n);
  if (index == nullptr || key == nullptr) {
    ReleaseAndClear(index);
    return VANTREL_OUT_OF_MEMORY;
  }
  for (int32_t i = 0; i < count; ++i) {
    index[i] = i;
    std::memcpy(&key[i], records + static_cast<std::size_t>(i) * recordSize + keyOffset,
                sizeof(int32_t));
  }

  // A key equal to earlier ones lands after them: ascending order is stable.
  for (int32_t i = 1; i < count; ++i) {
    const int32_t k = key[i];
    const int32_t moving = index[i];
    int32_t lo = 0;
    int32_t hi = i - 1;
    while (lo <= hi) {
      const int32_t mid = (lo + hi) / 2;
      if (k < key[mid]) {
        hi = mid - 1;
      } else {
        lo = mid + 1;
      }
    }
    const auto shifted = static_cast<std::size_t>(i - lo);
    std::memmove(&key[lo + 1], &key[lo], shifted * sizeof(int32_t));
    std::memmove(&index[lo + 1], &index[lo], shifted * sizeof(int32_t));
    key[lo] = k;
    index[lo] = moving;
  }
  Release(key);

  auto* scratch = static_cast<uint8_t*>(AllocateArray(n, recordSize));
  if (scratch == nullptr) {
    std::fputs("\nInsufficient Memory!\n", stdout);
    Release(index);
    return VANTREL_OUT_OF_MEMORY;
  }
  std::memcpy(scratch, records, n * recordSize);
  for (int32_t k = 0; k < count; ++k) {
    const int32_t place = direction == kSortAscending ? k : count - 1 - k;
    std::memcpy(records + static_cast<std::size_t>(place) * recordSize,
                scratch + static_cast<std::size_t>(index[k]) * recordSize, recordSize);
  }
  Release(scratch);
  Release(index);
  return VANTREL_OK;
}

}  // namespace vtl
