// Turns the gap lines of the chosen slant into one oriented box per finger.
#ifndef VANTREL_ANALYSIS_FINGER_BOXES_H
#define VANTREL_ANALYSIS_FINGER_BOXES_H

#include <cstdint>

#include "analysis/finger_gaps.h"
#include "interface/finger_region.h"

namespace vtl {

// Both write centre, width, height and angle of regions 0..fingers.found-1
// and return 0. The thumb variant keeps the outer lines' rows at the image
// top and bottom.
int32_t BuildFingerBoxes(double angle, int32_t slant, ProfilePeaks fingers, ProfilePeaks gaps,
                         int32_t columns, int32_t rows, FingerRegion** regions);
int32_t BuildThumbBoxes(double angle, int32_t slant, ProfilePeaks fingers, ProfilePeaks gaps,
                        int32_t columns, int32_t rows, FingerRegion** regions);

}  // namespace vtl

#endif
