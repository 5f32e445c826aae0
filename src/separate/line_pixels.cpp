#include "separate/line_pixels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {
namespace {

// Truncation toward zero that stays defined for positions accumulated past
// the 32-bit range on absurdly long lines.
int32_t TruncateToInt32(float v) {
  if (v >= 2147483648.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

int32_t ReallocateIntArray(int32_t** array, int32_t length, const char* what) {
  void* grown = nullptr;
  if (length >= 0) {
    grown = Reallocate(IsAbsent(*array) ? nullptr : *array,
                       static_cast<std::size_t>(length) * sizeof(int32_t));
  }
  if (grown == nullptr) {
    // The heap keeps the old block on failure; release it so that a failed
    // resize never strands it behind a null pointer.
    ReleaseAndClear(*array);
    std::fprintf(stderr, "ERROR: ReallocateIntArray: %s\n", what);
    return VANTREL_OUT_OF_MEMORY;
  }
  *array = static_cast<int32_t*>(grown);
  return VANTREL_OK;
}

int32_t GetLinePixelBetweenTwoPoints(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                     int32_t** pointX, int32_t** pointY, int32_t* count) {
  const int64_t ax = std::llabs(static_cast<int64_t>(x0) - x1);
  const int64_t ay = std::llabs(static_cast<int64_t>(y0) - y1);
  const int64_t points = (ax > ay ? ax : ay) + 1;
  if (points > INT32_MAX) {
    *count = INT32_MAX;
    ReleaseAndClear(*pointX);
    ReleaseAndClear(*pointY);
    return VANTREL_OUT_OF_MEMORY;
  }
  *count = static_cast<int32_t>(points);
  if (ReallocateIntArray(pointX, *count, "GetLinePixelBetweenTwoPoints PointX") != VANTREL_OK ||
      ReallocateIntArray(pointY, *count, "GetLinePixelBetweenTwoPoints PointY") != VANTREL_OK) {
    ReleaseAndClear(*pointX);
    ReleaseAndClear(*pointY);
    return VANTREL_OUT_OF_MEMORY;
  }

  float stepX;
  float stepY;
  if (ax > ay) {
    stepX = x0 > x1 ? -1.0f : 1.0f;
    stepY = static_cast<float>(ay) / static_cast<float>(ax);
    if (y0 > y1) stepY = -stepY;
  } else {
    stepY = y0 > y1 ? -1.0f : (y0 < y1 ? 1.0f : 0.0f);
    stepX = ay >= 1 ? static_cast<float>(ax) / static_cast<float>(ay) : 0.0f;
    if (x0 > x1) stepX = -stepX;
  }

  // The position is accumulated, not recomputed per point: the points depend
  // on the rounding of these single-precision sums.
  float fx = static_cast<float>(x0);
  float fy = static_cast<float>(y0);
  int32_t* xs = *pointX;
  int32_t* ys = *pointY;
  for (int32_t i = 0; i < *count; ++i) {
    xs[i] = TruncateToInt32(fx);
    ys[i] = TruncateToInt32(fy);
    fx += stepX;
    fy += stepY;
  }
  return VANTREL_OK;
}

}  // namespace vtl
