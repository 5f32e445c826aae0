// Cuts every separated finger out of the caller's image, upright along its
// oriented box.
#ifndef VANTREL_ANALYSIS_FINGER_EXTRACTION_H
#define VANTREL_ANALYSIS_FINGER_EXTRACTION_H

#include <cstdint>

#include "interface/finger_region.h"
#include "vantrel.h"

namespace vtl {

constexpr int kMaxExtractedFingers = 5;

// Largest picture made, in bytes: a finger's width x height must fit the
// signed 32-bit sizes the picture record is described with.
constexpr int64_t kMaxFingerImageBytes = INT32_MAX;

// Gives fingers[i].image a height x width picture of region i (regions in
// caller pixels), white outside the image; a box with a side below 1 gets no
// picture. Only the first kMaxExtractedFingers fingers are cut; later ones
// keep a null image. Returns 0, or 19 (allocation failed, or a box larger
// than kMaxFingerImageBytes) with every image of this call released.
int32_t ExtractFingerImages(const uint8_t* pixels, int32_t columns, int32_t rows,
                            const FingerRegion* regions, int32_t count, SegmentedFinger* fingers);

}  // namespace vtl

#endif
