// Finger-position codes of the fingers of an impression counted from the
// image's left.
#ifndef VANTREL_INTERFACE_FINGER_POSITION_H
#define VANTREL_INTERFACE_FINGER_POSITION_H

#include <cstdint>

#include "vantrel.h"

namespace vtl {

// Code of the finger in `slot` (0 = leftmost) of an impression of `handCode`:
// a left hand runs little (10) to index (7), thumbs left (6) then right (1),
// anything else as a right hand, index (2) to little (5).
inline int32_t FingerPosition(int32_t handCode, int32_t slot) {
  if (handCode == VANTREL_HAND_LEFT) return 10 - slot;
  if (handCode == VANTREL_HAND_THUMBS) return slot == 0 ? 6 : 1;
  return 2 + slot;
}

}  // namespace vtl

#endif
