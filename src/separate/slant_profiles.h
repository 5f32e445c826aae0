// Foreground counts along a family of parallel slanted lines over the mask,
// the profiles in which the separator looks for fingers and gaps.
#ifndef VANTREL_SEPARATE_SLANT_PROFILES_H
#define VANTREL_SEPARATE_SLANT_PROFILES_H

#include <cstdint>

namespace vtl {

// Line k of slant s runs from the top row to the bottom row, moving s columns
// sideways on the way; k = 0 .. *n - 1 with *n = columns + |s|, from left to
// right, so that every line meeting the image has a position. total[k] counts
// the line's pixels inside the image, dark[k] those whose mask byte equals
// `value`. Both profiles (room for *n values each) are then smoothed with
// SmoothRunningSum at the parameter block's RunningSumRadius. Returns 0, or
// 19 when memory runs out (profile contents then undefined).
int32_t BuildSlantProfiles(const uint8_t* mask, int32_t columns, int32_t rows, int32_t* dark,
                           int32_t* total, int32_t* n, int32_t s, uint8_t value);

// Replaces profile[k] by the sum of the raw values k - radius .. k + radius,
// clipped to the profile, divided (truncating) by the full window
// 2 * radius + 1, also where the window is clipped. A negative radius counts
// as 0. The working copy goes into `scratch` (room for n values) when given,
// else into a block of its own. Returns 0, or 19 when it cannot be allocated.
int32_t SmoothRunningSum(int32_t* profile, int32_t n, int32_t radius, int32_t* scratch = nullptr);

}  // namespace vtl

#endif
