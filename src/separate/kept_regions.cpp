#include "separate/kept_regions.h"

#include <cmath>

#include "vantrel.h"

namespace vtl {

int32_t CollectKeptRegions(FingerRegion* regions, int32_t found) {
  int32_t kept = 0;
  for (int32_t i = 0; i < found; ++i) {
    if (regions[i].height > 0 && regions[i].width > 0) {
      if (i != kept) regions[kept] = regions[i];
      ++kept;
    }
  }
  return kept;
}

int32_t RecogniseHand(const FingerRegion* regions, float angle) {
  const double c = std::cos(static_cast<double>(angle));
  const double sn = std::sin(static_cast<double>(angle));
  const FingerRegion& one = regions[1];
  int32_t tip[4];
  for (int k = 0; k < 4; ++k) {
    if (k == 1) {
      tip[k] = one.top;
      continue;
    }
    const double along = static_cast<double>(regions[k].centerX - one.centerX) * sn +
                         static_cast<double>(regions[k].top - one.top) * c;
    tip[k] = one.top + static_cast<int32_t>(along);
  }
  if (tip[0] > tip[1] && tip[1] > tip[2]) return VANTREL_HAND_LEFT;
  if (tip[1] < tip[2] && tip[2] < tip[3]) return VANTREL_HAND_RIGHT;
  return VANTREL_HAND_UNKNOWN;
}

}  // namespace vtl
