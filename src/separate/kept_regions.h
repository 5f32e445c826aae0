// The separator's surviving finger boxes: compaction and hand recognition.
#ifndef VANTREL_SEPARATE_KEPT_REGIONS_H
#define VANTREL_SEPARATE_KEPT_REGIONS_H

#include <cstdint>

#include "interface/finger_region.h"

namespace vtl {

// Moves the regions of regions[0..found) whose width and height are both
// above 0 to the front, order preserved; returns how many there are.
int32_t CollectKeptRegions(FingerRegion* regions, int32_t found);

// From four kept regions (left to right, working pixels) and the slant angle:
// each finger's top projected onto the finger direction relative to finger 1
// (larger = lower in the image). Tips climbing strictly over fingers 0, 1, 2
// (little, ring, middle of a left hand) give 14; tips dropping strictly over
// fingers 1, 2, 3 (middle, ring, little of a right hand) give 13; anything
// else 0.
int32_t RecogniseHand(const FingerRegion* regions, float angle);

}  // namespace vtl

#endif
