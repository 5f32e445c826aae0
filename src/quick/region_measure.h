// Describes a fingertip component by a FingerRegion: box with a one-pixel
// margin, centroid, extent and the direction from its tip band to its base
// band; then converts accepted regions to the caller's pixels.
#ifndef VANTREL_QUICK_REGION_MEASURE_H
#define VANTREL_QUICK_REGION_MEASURE_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// One pixel of a component: column and row.
struct PointXY {
  int32_t x;
  int32_t y;
};

// Measures a component from its pixels in row-major scan order (count >= 1),
// at the working resolution. Leaves the component index, the rejection code
// and the contact flags alone. Returns 0.
int32_t MeasureFingerRegion(int32_t rows, int32_t columns, int32_t count, const PointXY* points,
                            FingerRegion* region);

// Converts n regions in place to caller pixels (single-precision products,
// truncated, clamped to the last column / row); width and height become the
// box's extent. columns, rows: the caller's image size.
void ScaleRegionsToImage(int32_t columns, int32_t rows, FingerRegion* regions, int32_t n,
                         float colFactor, float rowFactor);

}  // namespace vtl

#endif
