// Cuts every separated finger out of the caller's image, upright along its
// oriented box.
#ifndef VANTREL_ANALYSIS_FINGER_EXTRACTION_H
#define VANTREL_ANALYSIS_FINGER_EXTRACTION_H

#include <cstdint>

#include "interface/finger_region.h"
#include "vantrel.h"

namespace vtl {

constexpr int kMaxExtractedFingers = 5;

// Gives fingers[i].image a height x width picture of region i (regions in
// caller pixels), white outside the image. Returns 0, or 19 with every image
// of this call released.
int32_t ExtractFingerImages(const uint8_t* pixels, int32_t columns, int32_t rows,
                            const FingerRegion* regions, int32_t count, SegmentedFinger* fingers);

}  // namespace vtl

#endif
