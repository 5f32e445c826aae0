// Refines each finger's rough oriented box by a small rotation search over
// the foreground mask (0 = foreground). Every attempt cuts the box out of the
// mask, measures the finger's extent from its row and column profiles, moves
// the centre onto the finger and is scored; the best attempt is written back.
#ifndef VANTREL_GEOMETRY_BOX_REFINEMENT_H
#define VANTREL_GEOMETRY_BOX_REFINEMENT_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// Rejection codes set by the refinement.
constexpr int32_t kRejectEmptyBox = 1;    // no size or no scratch buffer
constexpr int32_t kRejectNoWidth = 2;     // width not positive
constexpr int32_t kRejectNoHeight = 3;    // height not positive
constexpr int32_t kRejectSidesTouch = 4;  // no attempt kept the long sides free
constexpr int32_t kRejectNoMask = 5;      // mask missing or of no size

// Returns 0, or 19 when the shared scratch box cannot be allocated. With
// handCode 15 regions 0 and 1 are refined as thumbs (a further region as a
// finger).
int32_t RefineFingerRegions(int32_t handCode, int32_t maxLength, const uint8_t* mask,
                            int32_t columns, int32_t rows, FingerRegion* regions, int32_t count);

// One finger (every code but 15): an attempt is scored by the foreground
// along the box's long sides. `scratch` holds scratchSize bytes; an attempt
// whose box would not fit ends the search. Returns 0, or 19 when the profile
// cannot be allocated (the region then keeps its width increased by 2).
int32_t RefineFingerBox(int32_t columns, int32_t rows, const uint8_t* mask, uint8_t* scratch,
                        int64_t scratchSize, int32_t columnWindow, int32_t rowWindow,
                        int32_t maxLength, FingerRegion* region);

// One thumb (thumbIndex 0 or 1): prefers the most elongated box and turns a
// thumb lying across its box by a quarter turn (-pi/2 for thumb 0, +pi/2 for
// thumb 1), setting *turned to 1; *turned is 0 otherwise. Returns as
// RefineFingerBox.
int32_t RefineThumbBox(int32_t thumbIndex, int32_t columns, int32_t rows, const uint8_t* mask,
                       uint8_t* scratch, int64_t scratchSize, int32_t columnWindow,
                       int32_t rowWindow, FingerRegion* region, int32_t* turned);

// Smooths profile[0..n) in place with a window of `window` samples (clipped
// at the ends) and stores the first index of the maximum in *peak. Returns 0,
// or 19 when the working copy cannot be allocated (profile unchanged, *peak
// 0). A window below 2 leaves the values as they are.
int32_t SmoothProfileAndFindPeak(int32_t* profile, int32_t n, int32_t window, int32_t* peak);

}  // namespace vtl

#endif
