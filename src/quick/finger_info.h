// Plain integer form of a quick segmenter's record for VantrelCent2.
#ifndef VANTREL_QUICK_FINGER_INFO_H
#define VANTREL_QUICK_FINGER_INFO_H

#include <cstdint>

#include "vantrel.h"

namespace vtl {

// Finger angle (radians) in units of 2 degrees: trunc(float(angle * 180) /
// (2 pi)), the product in single precision, the rest in double.
int32_t AngleInTwoDegrees(float angle);

// Centre, angle, box size, position and the four box corners of a record.
FingerInfo ToFingerInfo(const SegmentedFinger& finger);

}  // namespace vtl

#endif
