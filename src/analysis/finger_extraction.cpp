#include "analysis/finger_extraction.h"

#include <algorithm>

#include "geometry/oriented_box.h"
#include "interface/memory.h"
#include "vantrel.h"

namespace vtl {

int32_t ExtractFingerImages(const uint8_t* pixels, int32_t columns, int32_t rows,
                            const FingerRegion* regions, int32_t count, SegmentedFinger* fingers) {
  if (count < 1) return VANTREL_OK;
  // The size table has room for five fingers; any further finger keeps a
  // null image rather than being written past it.
  const int32_t handled = std::min<int32_t>(count, kMaxExtractedFingers);
  int64_t sizes[kMaxExtractedFingers] = {};

  for (int32_t i = 0; i < handled; ++i) {
    const FingerRegion& r = regions[i];
    // 64-bit, so that a large box cannot wrap into a small or negative size.
    sizes[i] = r.width > 0 && r.height > 0 ? int64_t{r.width} * r.height : 0;
    if (sizes[i] < 1) continue;
    // A box beyond the 32-bit size of the picture record is refused as
    // memory that cannot be had.
    uint8_t* image = sizes[i] <= kMaxFingerImageBytes
                         ? static_cast<uint8_t*>(Allocate(static_cast<std::size_t>(sizes[i])))
                         : nullptr;
    if (image == nullptr) {
      for (int32_t k = 0; k < i; ++k) {
        if (sizes[k] >= 1) ReleaseAndClear(fingers[k].image);
      }
      return VANTREL_OUT_OF_MEMORY;
    }
    fingers[i].image = image;
  }

  for (int32_t i = 0; i < handled; ++i) {
    if (sizes[i] < 1) continue;
    const FingerRegion& r = regions[i];
    SampleOrientedBoxTruncated(pixels, columns, rows, fingers[i].image, r.width, r.height,
                               r.centerX, r.centerY, r.angle, 255);
  }
  return VANTREL_OK;
}

}  // namespace vtl
