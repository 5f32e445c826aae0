#include "separate/region_filter.h"

namespace vtl {

void RejectSmallRegions(int32_t minHeight, int32_t minWidth, FingerRegion* regions, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    FingerRegion& r = regions[i];
    if (r.rejection != 0) {
      r.centerX = 0;
      r.centerY = 0;
      r.width = 0;
      r.height = 0;
    } else if (r.width < minWidth || r.height < minHeight) {
      r.rejection = kRejectedTooSmall;
      r.width = 0;
      r.height = 0;
    }
  }
}

void ScaleSeparatedRegions(int32_t minWidth, int32_t minHeight, FingerRegion* regions,
                           int32_t count, float colFactor, float rowFactor) {
  for (int32_t i = 0; i < count; ++i) {
    FingerRegion& r = regions[i];
    if (r.rejection != 0) {
      r.width = 0;
      r.height = 0;
      continue;
    }
    // Single precision throughout; the 4-pixel shrink is part of the result.
    r.centerX = static_cast<int32_t>(static_cast<float>(r.centerX) * colFactor);
    r.centerY = static_cast<int32_t>(static_cast<float>(r.centerY) * rowFactor);
    r.width = static_cast<int32_t>(static_cast<float>(r.width) * colFactor - 4.0f);
    r.height = static_cast<int32_t>(static_cast<float>(r.height) * rowFactor - 4.0f);
    if (r.width < minWidth) r.width = 0;
    if (r.height < minHeight) r.height = 0;
  }
}

}  // namespace vtl
