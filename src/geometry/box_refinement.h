// Refines each finger's rough oriented box by a small rotation search over
// the foreground mask.
#ifndef VANTREL_GEOMETRY_BOX_REFINEMENT_H
#define VANTREL_GEOMETRY_BOX_REFINEMENT_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// Returns 0, or 19 when the shared scratch box cannot be allocated.
int32_t RefineFingerRegions(int32_t handCode, int32_t maxLength, const uint8_t* mask,
                            int32_t columns, int32_t rows, FingerRegion* regions, int32_t count);

// Smooths profile[0..n) in place with a window of `window` samples (clipped
// at the ends) and stores the first index of the maximum in *peak. Returns 0,
// or 19 when the working copy cannot be allocated (profile unchanged).
int32_t SmoothProfileAndFindPeak(int32_t* profile, int32_t n, int32_t window, int32_t* peak);

}  // namespace vtl

#endif
