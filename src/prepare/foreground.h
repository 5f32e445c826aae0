// Turns the working image into a two-valued foreground mask: a 16 x 16 box
// blur cut at a threshold derived from the mean grey level.
#ifndef VANTREL_PREPARE_FOREGROUND_H
#define VANTREL_PREPARE_FOREGROUND_H

#include <cstdint>

namespace vtl {

constexpr uint8_t kForeground = 0;
constexpr uint8_t kBackground = 255;

// Releases whatever *mask holds and replaces it with the mask of workPixels:
// 0 where the blurred image lies below the threshold, 255 elsewhere.
// *backgroundCount receives the number of 255 pixels. Returns 0; 8 when
// workPixels is absent; 19 when memory runs out; otherwise the threshold
// stage's status. On failure *mask is null and *backgroundCount 0.
int32_t FindForegroundMask(int32_t rows, int32_t columns, const uint8_t* workPixels,
                           uint8_t** mask, int32_t* backgroundCount);

// Separable 16-sample moving average (vertical pass first, each pass
// truncating its sum / 16). Rows (columns) within 8 of the top/left or the
// last 8 keep the other pass's values. An image with fewer than 16 rows
// (columns) skips the vertical (horizontal) pass, so nothing outside the image
// is read. Returns 0, or 19 when the scratch row cannot be allocated.
int32_t SmoothImageBox16(int32_t rows, int32_t columns, const uint8_t* source,
                         uint8_t* destination);

// Chooses the threshold from the mean grey level and binarises in place.
// Returns 7 (pixels absent), 8 (columns < 1), 9 (rows < 1) or BinarizeImage's
// status.
int32_t ThresholdAtMeanGrey(int32_t rows, int32_t columns, uint8_t* pixels,
                            int32_t* backgroundCount);

// Pixels below `threshold` become 0, the others 255. Returns 7, 8, 9 as above
// or 10 when the threshold lies outside 0..255.
int32_t BinarizeImage(int32_t rows, int32_t columns, uint8_t* pixels, int32_t threshold,
                      int32_t* backgroundCount);

}  // namespace vtl

#endif
