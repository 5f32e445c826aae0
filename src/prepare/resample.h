// Nearest-sample decimation of the caller's image to the working resolution.
#ifndef VANTREL_PREPARE_RESAMPLE_H
#define VANTREL_PREPARE_RESAMPLE_H

#include <cstdint>

namespace vtl {

// The caller's image at the working resolution; pixels null when empty.
struct WorkImage {
  uint8_t* pixels;
  int32_t rows;
  int32_t columns;
};

// Output size = trunc(rows / rowFactor) x trunc(columns / colFactor), stored
// in outRows/outColumns before anything is allocated. Output pixel (i, j) is
// input pixel (trunc(i * rowFactor), trunc(j * colFactor)). Returns 0, or 19
// with *outPixels null when the output passes the working limits or an
// allocation fails. An empty output is not a failure: *outPixels stays null
// and nothing is allocated.
int32_t ResampleToWorkingResolution(const uint8_t* pixels, int32_t rows, int32_t columns,
                                    float colFactor, float rowFactor, uint8_t** outPixels,
                                    int32_t* outRows, int32_t* outColumns);

}  // namespace vtl

#endif
