// Rasterises a straight line into point lists held in growable int arrays.
#ifndef VANTREL_SEPARATE_LINE_PIXELS_H
#define VANTREL_SEPARATE_LINE_PIXELS_H

#include <cstdint>

namespace vtl {

// Resizes *array (null: a new block) to `length` values; the added values are
// not cleared. On failure the old block is released, *array becomes null,
// "ERROR: ReallocateIntArray: <what>" goes to stderr and 19 is returned.
int32_t ReallocateIntArray(int32_t** array, int32_t length, const char* what);

// Points from (x0, y0) to (x1, y1), one per step along the longer axis; the
// position along the shorter axis is accumulated in single precision and
// truncated toward zero. *count = max(|dx|, |dy|) + 1 is stored first. Returns
// 0, or 19 with both lists released and null (also when the line is too long
// to count in 32 bits).
int32_t GetLinePixelBetweenTwoPoints(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                     int32_t** pointX, int32_t** pointY, int32_t* count);

}  // namespace vtl

#endif
