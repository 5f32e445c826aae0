#include "quick/finger_images.h"

#include <cstring>

#include "interface/limits.h"
#include "interface/memory.h"

namespace vtl {
namespace {

// Caller index -> working index, trunc(i * step). The clamp only guards the
// label image: boxes scaled from working pixels never map past its edge.
void FillLookup(int32_t* table, int32_t size, float step, int32_t workSize) {
  for (int32_t i = 0; i < size; ++i) {
    const auto w = static_cast<int32_t>(static_cast<float>(i) * step);
    table[i] = w < workSize ? w : workSize - 1;
  }
}

void ReleaseFingerImages(SegmentedFinger* records, int32_t m) {
  for (int32_t i = 0; i < m; ++i) ReleaseAndClear(records[i].image);
}

}  // namespace

int32_t CutFingerImages(int32_t rows, int32_t columns, const uint8_t* image, int32_t workRows,
                        int32_t workColumns, const int32_t* labels, const ComponentRecord* table,
                        int32_t m, float colFactor, float rowFactor, const FingerRegion* regions,
                        SegmentedFinger* records) {
  auto* rowTable = AllocateZeroed<int32_t>(static_cast<std::size_t>(rows));
  auto* colTable =
      rowTable == nullptr ? nullptr : AllocateZeroed<int32_t>(static_cast<std::size_t>(columns));
  if (rowTable == nullptr || colTable == nullptr) {
    ReleaseAndClear(rowTable);
    return VANTREL_OUT_OF_MEMORY;
  }
  const float rowStep = 1.0f / rowFactor;
  const float colStep = 1.0f / colFactor;
  FillLookup(rowTable, rows, rowStep, workRows);
  FillLookup(colTable, columns, colStep, workColumns);

  for (int32_t i = 0; i < m; ++i) {
    SegmentedFinger& record = records[i];
    const FingerRegion& region = regions[i];
    const std::size_t bytes = static_cast<std::size_t>(record.boxHeight + 1) *
                              static_cast<std::size_t>(record.boxWidth + 1);
    // A picture past the 32-bit size of its record is memory that cannot be
    // had.
    record.image = bytes <= static_cast<std::size_t>(kMaxFingerPictureBytes)
                       ? AllocateZeroed<uint8_t>(bytes)
                       : nullptr;
    if (record.image == nullptr) {
      ReleaseFingerImages(records, m);
      Release(rowTable);
      Release(colTable);
      return VANTREL_OUT_OF_MEMORY;
    }
    std::memset(record.image, 255, bytes);

    // Only one neighbour is cleaned away: the right one, or for the last
    // finger the left one.
    bool exclude = false;
    int32_t excluded = 0;
    if (i < m - 1) {
      exclude = true;
      excluded = table[regions[i + 1].componentIndex].label;
    } else if (i >= 1) {
      exclude = true;
      excluded = table[regions[i - 1].componentIndex].label;
    }

    const int64_t stride = record.boxWidth;
    for (int32_t y = region.top; y <= region.bottom; ++y) {
      const int32_t* labelRow = labels + static_cast<int64_t>(rowTable[y]) * workColumns;
      const uint8_t* source = image + static_cast<int64_t>(y) * columns;
      uint8_t* target = record.image + static_cast<int64_t>(y - region.top) * stride;
      for (int32_t x = region.left; x <= region.right; ++x) {
        if (exclude && labelRow[colTable[x]] == excluded) continue;
        target[x - region.left] = source[x];
      }
    }
  }
  Release(rowTable);
  Release(colTable);
  return VANTREL_OK;
}

}  // namespace vtl
