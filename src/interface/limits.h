// Size limits past which a call is refused (19, memory that cannot be had;
// VantrelSegmentSlap's working image 25) instead of attempting an absurd
// allocation.
#ifndef VANTREL_INTERFACE_LIMITS_H
#define VANTREL_INTERFACE_LIMITS_H

#include <cstdint>

namespace vtl {

// The caller's image brought to a segmenter's working resolution. 2^24
// pixels at 62 ppi is more than five feet square; the side limit keeps the
// tables sized by the longer side (the labelling's component table) small.
constexpr int64_t kMaxWorkingPixels = int64_t{1} << 24;
constexpr int64_t kMaxWorkingSide = int64_t{1} << 16;

inline bool WorkingImageTooLarge(int64_t rows, int64_t columns) {
  return rows > kMaxWorkingSide || columns > kMaxWorkingSide || rows * columns > kMaxWorkingPixels;
}

// A finger picture: its height x width must fit the signed 32-bit sizes it
// is described with.
constexpr int64_t kMaxFingerPictureBytes = INT32_MAX;

}  // namespace vtl

#endif
