#include "prepare/resample.h"

#include "interface/limits.h"
#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {

int32_t ResampleToWorkingResolution(const uint8_t* pixels, int32_t rows, int32_t columns,
                                    float colFactor, float rowFactor, uint8_t** outPixels,
                                    int32_t* outRows, int32_t* outColumns) {
  const int32_t outR = static_cast<int32_t>(static_cast<float>(rows) / rowFactor);
  const int32_t outC = static_cast<int32_t>(static_cast<float>(columns) / colFactor);
  *outRows = outR;
  *outColumns = outC;
  *outPixels = nullptr;

  // An empty working image is reported by the next stage; an absurd one is
  // refused. Either way nothing is allocated: one side may be empty while
  // the other holds hundreds of millions of sampling positions.
  if (outR < 1 || outC < 1) return VANTREL_OK;
  if (WorkingImageTooLarge(outR, outC)) return VANTREL_OUT_OF_MEMORY;
  auto* buffer = AllocateZeroed<uint8_t>(static_cast<size_t>(outR) * static_cast<size_t>(outC));
  auto* rowTable = buffer == nullptr ? nullptr : AllocateZeroed<int32_t>(static_cast<size_t>(outR));
  auto* colTable =
      rowTable == nullptr ? nullptr : AllocateZeroed<int32_t>(static_cast<size_t>(outC));
  if (colTable == nullptr) {
    ReleaseAndClear(buffer);
    ReleaseAndClear(rowTable);
    return VANTREL_OUT_OF_MEMORY;
  }
  for (int32_t i = 0; i < outR; ++i)
    rowTable[i] = static_cast<int32_t>(static_cast<float>(i) * rowFactor);
  for (int32_t j = 0; j < outC; ++j)
    colTable[j] = static_cast<int32_t>(static_cast<float>(j) * colFactor);

  // 64-bit offsets: rows x columns of the caller's image may exceed 2^31.
  const int64_t stride = columns;
  for (int32_t i = 0; i < outR; ++i) {
    const uint8_t* src = pixels + static_cast<int64_t>(rowTable[i]) * stride;
    uint8_t* dst = buffer + static_cast<int64_t>(i) * outC;
    for (int32_t j = 0; j < outC; ++j) dst[j] = src[colTable[j]];
  }
  Release(rowTable);
  Release(colTable);
  *outPixels = buffer;
  return VANTREL_OK;
}

}  // namespace vtl
