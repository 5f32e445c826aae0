// Size filter of the separated finger boxes and their conversion to the
// caller's pixels.
#ifndef VANTREL_SEPARATE_REGION_FILTER_H
#define VANTREL_SEPARATE_REGION_FILTER_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// Rejection code given to a box smaller than the limits (the box refinement
// uses 1 to 5).
constexpr int32_t kRejectedTooSmall = 6;

// A region already rejected loses centre and size; one narrower than
// minWidth or shorter than minHeight is rejected and loses its size (the
// centre stays). Equal to a limit passes.
void RejectSmallRegions(int32_t minHeight, int32_t minWidth, FingerRegion* regions, int32_t count);

// Working pixels -> caller pixels in single precision, truncating: the centre
// times the factors, width and height times the factors minus 4. A rejected
// region gets size 0; a converted size below its limit (minWidth, minHeight,
// working-resolution values) becomes 0.
void ScaleSeparatedRegions(int32_t minWidth, int32_t minHeight, FingerRegion* regions,
                           int32_t count, float colFactor, float rowFactor);

}  // namespace vtl

#endif
