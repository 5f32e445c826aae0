// A dry or faint print's ridges break up towards its sides and tip, and the
// ridge mask shrinks with them: its box comes out smaller than the print.
#include "slap/slap_internal.h"

namespace vtl {
namespace slap {

bool WidenThinPrints(const BlockMap& map, TipBox* tips, int32_t n) {
  bool changed = false;
  for (int32_t i = 0; i < n; ++i) {
    const double lack = kThinCover - RidgeCover(map, tips[i]);
    if (lack <= 0) continue;
    tips[i].width *= 1 + kThinWidthGain * lack;
    tips[i].height *= 1 + kThinLengthGain * lack;
    changed = true;
  }
  return changed;
}

}  // namespace slap
}  // namespace vtl
