// The per-finger working record shared by both segmenters. Coordinates are
// working-image pixels until a segmenter's final scaling, caller pixels after.
#ifndef VANTREL_INTERFACE_FINGER_REGION_H
#define VANTREL_INTERFACE_FINGER_REGION_H

#include <cstddef>
#include <cstdint>

namespace vtl {

struct FingerRegion {
  int32_t top;
  int32_t left;
  int32_t bottom;
  int32_t right;
  int32_t centerX;
  int32_t centerY;
  float angle;
  int32_t width;
  int32_t height;
  int32_t secondWidth;    // quick path: always equal to width
  int32_t secondHeight;   // quick path: always equal to height
  int32_t rejection;      // 0 while accepted
  int32_t topContact;     // box refinement: foreground along the box's top row
  int32_t bottomContact;
  int32_t leftContact;
  int32_t rightContact;
  int32_t componentIndex;  // quick path: entry in the component table
};

static_assert(sizeof(FingerRegion) == 17 * 4, "FingerRegion is seventeen 32-bit fields");

}  // namespace vtl

#endif
