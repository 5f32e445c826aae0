// Stable sort of fixed-size records by one signed 32-bit field.
#ifndef VANTREL_QUICK_RECORD_SORT_H
#define VANTREL_QUICK_RECORD_SORT_H

#include <cstddef>
#include <cstdint>

namespace vtl {

constexpr int32_t kSortAscending = 1;
constexpr int32_t kSortDescending = 0;

// Orders count records of recordSize bytes at base by the int32 key at
// keyOffset: ascending (direction 1) keeps equal keys in their order,
// descending (any other direction) reverses it. Binary insertion moves only
// keys and indices; each record is copied twice. Returns 0, or 19 with the
// records untouched when memory runs out ("\nInsufficient Memory!\n" goes to
// standard output when the scratch copy cannot be had). count <= 0: no-op.
int32_t SortRecords(void* base, std::size_t recordSize, int32_t count, std::size_t keyOffset,
                    int32_t direction);

}  // namespace vtl

#endif
