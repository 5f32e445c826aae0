// How far each fingertip found can be trusted: its ridge evidence, lowered
// where the box disagrees with the others of the impression or with a
// fingertip's shape, or covers little ridge.
#include <algorithm>
#include <cmath>

#include "slap/slap_internal.h"

namespace vtl {
namespace slap {

double RidgeCover(const BlockMap& map, const TipBox& t) {
  const BoxAxes box(t);
  int32_t on = 0, all = 0;
  for (int32_t a = -4; a <= 4; ++a) {
    for (int32_t b = -4; b <= 4; ++b) {
      const double across = a / 9.0 * t.width, up = b / 9.0 * t.height;
      const double x = box.X(across, up), y = box.Y(across, up);
      ++all;
      const int64_t k = BlockIndexAt(map, x, y);
      if (k >= 0) on += map.score[k] > kRidgeBlock ? 1 : 0;
    }
  }
  return static_cast<double>(on) / all;
}

namespace {

double Square(double v) {
  return v * v;
}

}  // namespace

void RateFingers(const WorkingImage& work, const BlockMap& map, TipBox* tips, int32_t n) {
  const double length = n > 0 ? Median(tips, n, &TipBox::height) : 0;
  const double width = n > 0 ? Median(tips, n, &TipBox::width) : 0;
  const double tilt = n > 0 ? Median(tips, n, &TipBox::tilt) : 0;
  const double mmPerPixel = kMmPerInch / work.ppi;
  for (int32_t i = 0; i < n; ++i) {
    TipBox& t = tips[i];
    // Each term is 1 where the box turns doubtful on its own account.
    double doubt = 0;
    if (n >= 2) {
      doubt += Square(std::log(t.height / length) / kLengthDoubt);
      doubt += Square(std::log(t.width / width) / kWidthDoubt);
      doubt += Square((t.tilt - tilt) / Radians(kTiltDoubtDeg));
    }
    const double aspect = t.height / t.width;
    doubt += Square(std::max(
        {0.0, (kLowAspect - aspect) / kAspectDoubt, (aspect - kHighAspect) / kAspectDoubt}));
    doubt += Square(std::max(0.0, (kFullCover - RidgeCover(map, t)) / kCoverDoubt));
    const double widthMm = t.width * mmPerPixel;
    doubt += Square(std::max(0.0, (kNarrowTipMm - widthMm) / kNarrowTipMm * 4));
    t.confidence = std::pow(std::clamp(t.confidence, 0.0, 1.0) * std::exp(-kDoubtWeight * doubt),
                            kConfidencePower);
  }
}

}  // namespace slap
}  // namespace vtl
