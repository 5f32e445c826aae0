// Cuts each accepted finger's box out of the caller's image, whitening the
// pixels of the one neighbour finger that overlaps it.
#ifndef VANTREL_QUICK_FINGER_IMAGES_H
#define VANTREL_QUICK_FINGER_IMAGES_H

#include <cstdint>

#include "interface/finger_region.h"
#include "quick/labelling.h"
#include "vantrel.h"

namespace vtl {

// For each of the m regions (left to right, caller pixels, each with its
// component index into table) gives records[i].image a buffer of
// (boxHeight + 1) x (boxWidth + 1) bytes set to 255 whose first boxHeight x
// boxWidth bytes (row stride boxWidth) hold the caller's pixels inside the
// box. Pixels whose working label (labels: workRows x workColumns, reached
// through caller-to-working lookup tables) is the right neighbour's, or for
// the last finger the left neighbour's, stay 255. Returns 0, or 19 with every
// image of the call released.
int32_t CutFingerImages(int32_t rows, int32_t columns, const uint8_t* image, int32_t workRows,
                        int32_t workColumns, const int32_t* labels, const ComponentRecord* table,
                        int32_t m, float colFactor, float rowFactor, const FingerRegion* regions,
                        SegmentedFinger* records);

}  // namespace vtl

#endif
