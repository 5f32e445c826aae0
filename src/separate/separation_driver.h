// The full separator's driver: finds one oriented box per finger of a slap
// from the slanted gap lines that separate the fingers best.
#ifndef VANTREL_SEPARATE_SEPARATION_DRIVER_H
#define VANTREL_SEPARATE_SEPARATION_DRIVER_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// The gap records hold six gaps, so at most five fingers can be sought; a
// larger fingerCount is treated as five.
constexpr int32_t kMaxSoughtFingers = 5;

// Fingers sought for a call: two for the thumbs (15) whatever fingerCount
// says, otherwise fingerCount limited to 1 .. kMaxSoughtFingers.
int32_t SoughtFingerCount(int32_t fingerCount, int32_t handCode);

// Note the order: columns before rows. *regions null: an array of the sought
// count is allocated; otherwise the array it holds is reused (room for the
// sought count needed). On success *regions holds the array with the
// *regionCount kept regions first, left to right, in caller pixels; when
// *handCode was 0 and four regions are kept, the recognised hand (13 or 14)
// is written into it. With one finger sought the whole working image is the
// starting box and the finger's centre is where the box refinement moved it.
// Returns 0; 19 out of memory; 23 no finger found; or the status of the
// resampling or mask stage (8: no pixel left at the working resolution). On
// failure the array is released, *regions is null and *regionCount unchanged.
int32_t LocateFingerRegions(int32_t xres, int32_t yres, const uint8_t* pixels, int32_t columns,
                            int32_t rows, int32_t fingerCount, int32_t* regionCount,
                            FingerRegion** regions, int32_t* handCode);

}  // namespace vtl

#endif
